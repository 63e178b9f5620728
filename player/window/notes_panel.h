// player/window: the notes panel, framNotes, under the waveform strip and
// beside the player block: what reviewers wrote about the grid's current
// row -- its note, its tags, its bookmarks and its hold -- changed through
// the notes' store (player/core/notes/notes_store.h), every change an act
// of the audit trail.
//
// A note is saved when the operator leaves the field, presses Ctrl+S, or
// chooses another row. A note that cannot be saved (the index or the audit
// trail refuses) is never dropped: the panel keeps it as unsaved, shows it
// again when its row comes back and tries again at the next save; the
// status bar and the run log say why. Tags are typed as words separated by
// blanks, completed from the tags in use; what differs from the stored
// tags is added or removed when the field is left. A bookmark is added at
// the play position (Ctrl+B in the window), named "Bookmark" until its
// label is typed in place; a click on one plays from there.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "player/core/notes/notes_store.h"

class QStringListModel;

namespace player {

class NotesPanel : public QGroupBox {
public:
    explicit NotesPanel(QWidget* parent = nullptr);

    // Shows what is written about `path`; "" (no row) empties and disables
    // the panel. The note typed for the recording shown before is saved first.
    void ShowRecording(const std::string& path);
    const std::string& Recording() const { return path_; }
    // Saves the note when it differs from the stored one; false when it
    // could not be (it is kept as unsaved).
    bool SaveNote();
    // Adds a bookmark at `second` and opens its label for typing.
    void AddBookmarkAt(std::int64_t second);
    // Notes not yet saved, by recording.
    const std::map<std::string, QString>& Unsaved() const { return unsaved_; }

    // Play the shown recording from `second` (a bookmark was clicked).
    std::function<void(std::int64_t second)> PlayFrom;
    // Something about `path` was stored: the grid's marks, the waveform's bookmarks.
    std::function<void(const std::string& path)> Changed;

    QPlainTextEdit* txtNote;
    QLineEdit* txtTags;
    QListWidget* lstBookmarks;
    QLineEdit* txtHoldReason;
    QPushButton* cmdHold;
    QLabel* lblHold;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Reload();
    void Refresh();
    void Draw();
    void SaveTags();
    void RenameBookmark(QListWidgetItem* item);
    void RemoveSelectedBookmark();
    void OnHold();
    // Runs `change` on the shown recording; false, with the reason in the
    // status bar and the run log, when it throws.
    bool Try(const char* what, const std::function<void()>& change);

    std::string path_;
    Annotations shown_;
    std::map<std::string, QString> unsaved_;
    QStringListModel* tagWords_;
    bool drawing_ = false;  // the panel fills its fields: their signals are not edits
};

}  // namespace player
