// Typing into the date and time pickers: see picker_typing.h.
#include "picker_typing.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace player {
namespace {

bool OpensCalendar(const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    return (key.key() == Qt::Key_F4 && mods == Qt::NoModifier) ||
           (key.key() == Qt::Key_Down && mods == Qt::AltModifier);
}

// The picker opens its calendar for a press on its arrow, and has no other
// way to be asked: the press is given to it.
void OpenCalendar(QDateTimeEdit& picker) {
    QStyleOptionComboBox option;
    option.initFrom(&picker);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QPoint arrow =
        picker.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, &picker).center();
    QMouseEvent press(QEvent::MouseButtonPress, arrow, picker.mapToGlobal(arrow), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&picker, &press);
}

bool WholeTextSelected(const QDateTimeEdit& picker) {
    const auto* line = picker.findChild<QLineEdit*>();
    return line && line->hasSelectedText() && line->selectedText() == line->text();
}

bool IsSeparator(QChar c) { return c == '-' || c == ':' || c == '/' || c == '.' || c == ' '; }

}  // namespace

bool PickerTyping::eventFilter(QObject* watched, QEvent* event) {
    auto* picker = qobject_cast<QDateTimeEdit*>(watched);
    if (!picker || event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto& key = *static_cast<QKeyEvent*>(event);
    if (picker->calendarPopup() && OpensCalendar(key)) {
        OpenCalendar(*picker);
        return true;
    }
    const QString text = key.text();
    const bool digit = text.size() == 1 && text[0].isDigit();
    if (text.size() == 1 && IsSeparator(text[0]) && picker == digitPicker_ &&
        digitSection_ != QDateTimeEdit::NoSection && picker->currentSection() != digitSection_) {
        digitSection_ = QDateTimeEdit::NoSection;  // the section moved on by itself already
        return true;
    }
    if (digit && WholeTextSelected(*picker)) picker->setSelectedSection(picker->sectionAt(0));
    digitPicker_ = picker;
    digitSection_ = digit ? picker->currentSection() : QDateTimeEdit::NoSection;
    return false;
}

}  // namespace player
