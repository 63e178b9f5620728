// The main window's side of the notes: the panel follows the grid's current
// row, a change it stores redraws the grid's marks, the waveform's
// bookmarks and the "Tag" choices, a bookmark clicked plays from there, and
// the window does not close over a note that could not be saved without
// asking.
#include "frm_main.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"

#include <cmath>

namespace player {

void frmMain::ConnectNotes() {
    const auto follow = [this] { framNotes->ShowRecording(DataGrid1->Model()->FileOf(DataGrid1->View()->currentIndex().row())); };
    const QAbstractItemModel* rows = DataGrid1->Model();
    connect(rows, &QAbstractItemModel::modelReset, framNotes, follow);
    connect(rows, &QAbstractItemModel::rowsRemoved, framNotes, follow);
    connect(DataGrid1->View()->selectionModel(), &QItemSelectionModel::currentRowChanged, framNotes, follow);
    framNotes->Changed = [this](const std::string& path) {
        DataGrid1->Model()->ForgetMarks();
        if (path == Process().CurrentRecordFile) picWaveform->ReloadBookmarks();
        FillTagChoices();
    };
    framNotes->PlayFrom = [this](std::int64_t second) {
        const PlayerProcess& p = Process();
        if (!(p.IsPlaying && p.CurrentRecordFile == framNotes->Recording())) {
            cmdPlayRecordFile->click();  // the current row, which the panel shows
            if (!(p.IsPlaying && p.CurrentRecordFile == framNotes->Recording())) return;
        }
        PlayFrom(static_cast<std::int32_t>(std::min<std::int64_t>(second, p.CurrentDuration) * 1000));
        DrawPlayerBlock();
    };
    FillTagChoices();
}

// The tags in use, kept as typed when the list changes under it.
void frmMain::FillTagChoices() {
    const QString typed = cmbTag->currentText();
    QStringList tags{QString()};
    if (!Process().IsExiting) try {
        for (const std::string& tag : TagsInUse()) tags << QString::fromStdString(tag);
    } catch (const std::exception& e) {
        WriteRunLog("!TagsInUse " + Describe(e));
    }
    cmbTag->blockSignals(true);
    cmbTag->clear();
    cmbTag->addItems(tags);
    cmbTag->setCurrentText(typed);
    cmbTag->blockSignals(false);
}

// Ctrl+B: a bookmark at the play position, on the recording that plays.
void frmMain::BookmarkHere() {
    const PlayerProcess& p = Process();
    if (!p.IsPlaying) return;
    const auto second = static_cast<std::int64_t>(std::lround(p.CurrentPosition));
    if (p.CurrentRecordFile == framNotes->Recording()) {
        framNotes->AddBookmarkAt(second);
        return;
    }
    try {
        AddBookmark(p.CurrentRecordFile, second, "Bookmark");
        if (framNotes->Changed) framNotes->Changed(p.CurrentRecordFile);
    } catch (const std::exception& e) {
        WriteRunLog("!AddBookmark [" + p.CurrentRecordFile + "] " + Describe(e));
    }
}

bool frmMain::NotesSavedOrGivenUp() {
    framNotes->SaveNote();
    const auto& unsaved = framNotes->Unsaved();
    if (unsaved.empty()) return true;
    return Process().dialogs->Question(std::to_string(unsaved.size()) + (unsaved.size() == 1 ? " note" : " notes") +
                                       " could not be saved (the run log says why), the first on [" +
                                       unsaved.begin()->first + "]. Exit and lose " +
                                       (unsaved.size() == 1 ? "it?" : "them?"));
}

}  // namespace player
