// player/window: typing into the date and time pickers.
//
// A picker takes typed digits section by section, and two of its habits
// lose what an operator types. With the whole text selected (Ctrl+A) the
// first digits are refused until a separator moves on, so "2024-03-07"
// typed over "2006-01-01" keeps the year; and a section that fills up
// moves on by itself, so the separator typed after it skips the next
// section ("2024-03-07" typed into the selected year gave 2024-01-03).
// PickerTyping watches the pickers' keys: a digit typed over the whole
// text starts in the first section, and a separator that follows such a
// move is dropped, so a whole date or time typed with or without its
// separators replaces the whole value. F4 and Alt+Down open a date
// picker's calendar, as they open a list.
#pragma once

#include <QDateTimeEdit>
#include <QObject>

namespace player {

class PickerTyping : public QObject {
public:
    explicit PickerTyping(QObject* parent) : QObject(parent) {}
    void Watch(QDateTimeEdit* picker) { picker->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The picker and section the last key typed a digit into (NoSection:
    // the last key was no digit).
    const QDateTimeEdit* digitPicker_ = nullptr;
    QDateTimeEdit::Section digitSection_ = QDateTimeEdit::NoSection;
};

}  // namespace player
