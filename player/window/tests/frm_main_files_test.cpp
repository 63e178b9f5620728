// The file commands as an operator meets them: "Pickup All" with its
// progress window, its Cancel and a close in the middle of it; "Delete" and
// "DeleteAll" with their questions, read-only files and files that cannot
// be deleted; ".." filling the main folder box.
//
// A file nobody can delete, root included, is /proc/version: the kernel
// refuses to unlink anything under /proc whoever asks, so the same test
// holds as root (as CI runs) and as an ordinary user.
#include <QApplication>
#include <QDir>
#include <QCompleter>
#include <QTableView>
#include <QTest>

#include <fstream>
#include <string>
#include <vector>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "platform/sqlstore/server_session.h"
#include "platform/sqlstore/testing/test_server.h"
#include "player/core/convert/convert_file.h"
#include "player/core/files/delete_files.h"
#include "player/core/index/site_file.h"
#include "player/core/process_state.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/notes/notes_store.h"
#include "window_fixture.h"

// The system's font configuration library keeps a cache for the life of the
// process, which the leak checker of the sanitizer build would report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace fs = std::filesystem;
using namespace player;
using namespace player::window_testing;

namespace {

constexpr const char* kUndeletable = "/proc/version";
const std::string kDeleteQuestion = "are you sure you want to delete current voice file?";
const std::string kDeleteAllQuestion = "are you sure you want to delete all of the voice file?";

// Index rows for these files on `channel`, a minute apart, in this order;
// files under `calls` are written with `bytes` first.
void IndexCalls(const std::vector<fs::path>& files, const std::string& channel = "0001") {
    int minute = 0;
    for (const fs::path& f : files) {
        char at[32];
        std::snprintf(at, sizeof at, "2024-05-06 09:%02d:00", minute++);
        InsertFileInfo(Row(f.string(), at, channel, "1", "00:00:02", "IN"));
    }
}

void Write(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

void StageConverter(WindowUnderTest& t) {
    for (const char* library : {"VelkCodec.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
        t.Staged().StageLibrary(library);
}

// Seconds of G.729 frames (20 bytes each 20 ms) as a recorder writes them.
std::string G729Bytes(int seconds) { return std::string(std::size_t(seconds) * 50 * 20, '\x5a'); }

QString ListedFiles(const fs::path& folder) {
    QStringList names;
    for (const auto& entry : fs::directory_iterator(folder)) names << QString::fromStdString(entry.path().filename());
    names.sort();
    return names.join(", ");
}

std::vector<std::string> ErrorLines(WindowUnderTest& t) {
    std::vector<std::string> lines;
    for (const std::string& line : t.Staged().LogMessages())
        if (line.rfind("!", 0) == 0 || line.find("] Error!") != std::string::npos) lines.push_back(line);
    return lines;
}

void ShowChannel(WindowUnderTest& t, int channel) {
    t.Window().cmbChannelNo->setCurrentIndex(channel);
    t.Click(t.Window().cmdShowResult);
}

}  // namespace

class FileCommands : public QObject {
    Q_OBJECT
private slots:
    void pickUpAllCancelledDuringTheThirdFileFinishesItAndStartsNoMore();
    void exportsSayWhatTheySavedAndGetWaveFileOpensWhereTheLastWent();
    void closingDuringPickUpAllStopsTheBatchAndTheConverter();
    void deleteRemovesTheFileWithItsRowOrSaysWhyNot();
    void deleteAllKeepsTheRowsOfFilesItCannotDelete();
    void chooseMainFolderPutsOnlyAFolderInTheBox();
    void whatAReviewerWritesStaysWithItsRowFindsItAndHoldsItAgainstDelete();
    void aNoteTheAuditTrailCannotRecordIsKeptUntilItIsSaved();
    void aLoginWithoutTheDeleteRightHasDeleteDeleteAllAndHoldOffSayingWhy();
};

// Five rows, the third a G.729 recording of ten minutes, long enough that
// window events run while it converts: during it the progress window
// counts two, the grid shows the third row, the commands that would
// disturb the batch are disabled and the window will not close; Cancel
// answered No goes on, answered Yes lets the third file finish and starts
// no fourth.
void FileCommands::pickUpAllCancelledDuringTheThirdFileFinishesItAndStartsNoMore() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    StageConverter(t);
    const fs::path calls = t.Folder("calls"), out = t.Folder("out");
    for (const char* name : {"a.WAV", "b.WAV", "d.WAV", "e.WAV"}) Write(calls / name, name);
    Write(calls / "c.NTC", G729Bytes(600));
    IndexCalls({calls / "a.WAV", calls / "b.WAV", calls / "c.NTC", calls / "d.WAV", calls / "e.WAV"});
    t.Click(w.cmdRefreshRecord);
    t.Dialogs().folderAnswer = out.string();

    frmConvertProcess* progress = w.ConvertWindow();
    QString labelDuring;
    int rowDuring = -1, pumps = 0;
    bool held = false, closeRefused = false, goesOnAfterNo = false;
    Process().PumpEvents = [&] {
        if (Process().ConvertingType != "NTC") return;
        if (pumps == 0) {
            labelDuring = progress->lblCount->text();
            rowDuring = w.DataGrid1->View()->currentIndex().row();
            held = !w.cmdPickUpAll->isEnabled() && !w.cmdDelFile->isEnabled() && !w.cmdDelAllFile->isEnabled() &&
                   !w.cmdPlay->isEnabled() && !w.cmdShowResult->isEnabled() && !w.cmdGetFileInfo->isEnabled();
            t.Dialogs().answers = {false};
            t.Click(progress->cmdCancel);
            goesOnAfterNo = Process().IsBatchConverting;
        } else if (pumps == 1) {
            progress->close();
            closeRefused = progress->isVisible();
            t.Dialogs().answers = {true};
            t.Click(progress->cmdCancel);
        }
        ++pumps;
    };
    t.Click(w.cmdPickUpAll);

    QVERIFY2(pumps > 1, "the G.729 conversion never let window events run");
    EXPECT_SEEN(labelDuring, QString("2 / 5"), "the progress window while the third file converted");
    EXPECT_SEEN(rowDuring, 2, "the grid's row while the third file converted");
    QVERIFY2(held, "a command that disturbs the batch (delete, search, play, rebuild) could be clicked during it");
    QVERIFY2(closeRefused, "the progress window closed while the batch ran");
    QVERIFY2(goesOnAfterNo, "Cancel answered No stopped the batch");
    EXPECT_SEEN(t.Dialogs().questions, (std::vector<std::string>{"Cancel Convert?", "Cancel Convert?"}),
                "the questions asked");
    QVERIFY2(t.Dialogs().questionIcons == std::vector<bool>({true, true}), "\"Cancel Convert?\" lacks the question icon");
    EXPECT_SEEN(ListedFiles(out), QString("a.wav, b.wav, c.wav, manifest.tsv"), "the exported files after the cancel");
    Process().PumpEvents = [] {};
    ConvertFile((calls / "c.NTC").string(), (out / "whole.wav").string());
    EXPECT_SEEN(fs::file_size(out / "c.wav"), fs::file_size(out / "whole.wav"),
                "the size of the third file's export beside a conversion left to finish");
    EXPECT_SEEN(progress->lblCount->text(), QString("3 / 5"), "the progress window's last count");
    QVERIFY2(!progress->isVisible(), "the progress window stayed open after the batch");
    EXPECT_SEEN(w.DataGrid1->View()->currentIndex().row(), 3, "the grid's row after the batch stopped");
    QVERIFY2(w.cmdPickUpAll->isEnabled() && w.cmdDelFile->isEnabled() && w.cmdPlay->isEnabled() &&
                 w.cmdShowResult->isEnabled() && w.cmdGetFileInfo->isEnabled(),
             "commands stayed disabled after the batch");
    EXPECT_SEEN(ErrorLines(t), std::vector<std::string>{}, "errors in the run log");
    EXPECT_SEEN(w.stbPlayerPanel1->text(),
                " RunLog : <2024-05-06 12:30:45>Cancelled after 3 of 5; 3 recordings saved to " +
                    QString::fromStdString(out.string()),
                "the status bar after the cancelled batch");
}

// "Pickup All" and "Get Wave File" end with a line in the status bar that
// counts what was saved and what failed. The file dialog opens in the
// folder the last export went to (at first the home folder, never the
// program's), with the row's export name filled in.
void FileCommands::exportsSayWhatTheySavedAndGetWaveFileOpensWhereTheLastWent() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    const fs::path calls = t.Folder("calls"), out = t.Folder("out"), mine = t.Folder("mine");
    Write(calls / "a.WAV", "a");
    Write(calls / "b.XYZ", "b");
    Write(calls / "c.WAV", "c");
    IndexCalls({calls / "a.WAV", calls / "b.XYZ", calls / "c.WAV", calls / "gone.WAV"});
    t.Click(w.cmdRefreshRecord);
    const QString status = " RunLog : <2024-05-06 12:30:45>";

    t.Dialogs().fileAnswer = (mine / "first.wav").string();
    t.Click(w.cmdGetWaveFile);
    EXPECT_SEEN(t.Dialogs().fileInitial, QDir::home().filePath("a.wav").toStdString(),
                "the name the first \"Get Wave File\" dialog opened with");
    EXPECT_SEEN(w.stbPlayerPanel1->text(),
                status + "1 recording saved to " + QString::fromStdString((mine / "first.wav").string()),
                "the status bar after \"Get Wave File\"");
    w.DataGrid1->View()->setCurrentIndex(w.DataGrid1->Model()->index(2, 0));
    t.Click(w.cmdGetWaveFile);
    EXPECT_SEEN(t.Dialogs().fileInitial, (mine / "c.wav").string(), "the name the next dialog opened with");

    t.Dialogs().folderAnswer = out.string();
    t.Click(w.cmdPickUpAll);
    EXPECT_SEEN(ListedFiles(out), QString("a.wav, c.wav, manifest.tsv"), "the files \"Pickup All\" saved");
    EXPECT_SEEN(w.stbPlayerPanel1->text(),
                status + "2 recordings saved to " + QString::fromStdString(out.string()) +
                    "; 1 failed: see the run log",
                "the status bar after \"Pickup All\"");
    w.DataGrid1->View()->setCurrentIndex(w.DataGrid1->Model()->index(1, 0));
    t.Dialogs().fileAnswer = (out / "b.wav").string();
    t.Click(w.cmdGetWaveFile);
    EXPECT_SEEN(t.Dialogs().fileInitial, (out / "b.wav").string(),
                "the name the dialog opened with after \"Pickup All\"");
    EXPECT_SEEN(w.stbPlayerPanel1->text(), status + "1 failed: see the run log",
                "the status bar after \"Get Wave File\" of a recording that cannot be converted");
}

// Closing answered No during the batch changes nothing; answered Yes, the
// converter is stopped, the batch starts no further file, the progress
// window closes and the index is closed, with no message after.
void FileCommands::closingDuringPickUpAllStopsTheBatchAndTheConverter() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    StageConverter(t);
    const fs::path calls = t.Folder("calls"), out = t.Folder("out");
    Write(calls / "a.WAV", "a");
    Write(calls / "b.NTC", G729Bytes(3600));
    Write(calls / "c.WAV", "c");
    IndexCalls({calls / "a.WAV", calls / "b.NTC", calls / "c.WAV"});
    t.Click(w.cmdRefreshRecord);
    t.Dialogs().folderAnswer = out.string();
    int closes = 0;
    bool goesOnAfterNo = false;
    Process().PumpEvents = [&] {
        if (!Process().IsConverting || closes == 2) return;
        t.Dialogs().answers = {closes == 1};
        w.close();
        if (closes++ == 0) goesOnAfterNo = w.isVisible() && Process().IsBatchConverting && Process().IsConverting;
    };
    t.Click(w.cmdPickUpAll);

    EXPECT_SEEN(closes, 2, "close requests made during the G.729 conversion");
    QVERIFY2(goesOnAfterNo, "closing answered No disturbed the batch");
    QVERIFY2(!w.isVisible(), "the window stayed open after Yes during the batch");
    QVERIFY2(!w.ConvertWindow()->isVisible(), "the progress window stayed open after the player ended");
    QVERIFY2(!Process().IsBatchConverting && !Process().IsConverting, "the batch or its conversion was left running");
    QVERIFY2(!fs::exists(out / "c.wav"), "the batch went on to the next file after the close");
    QVERIFY2(fs::file_size(out / "b.wav") < 58 + 160 * (3600 * 50 - 1),
             "the conversion ran to its end after the close: the converter was not stopped");
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{}, "messages shown after the player ended");
    QVERIFY2(!Process().PlayerConnection || !Process().PlayerConnection->IsOpen(),
             "the record index stayed open after the player ended");
}

// Answered No nothing goes; a read-only file goes with its row and the
// next row becomes current; a file that cannot be deleted keeps its row and
// says so; the last row deleted leaves no current row, and Delete then
// reports the trapped error; the only row of a list goes quietly.
void FileCommands::deleteRemovesTheFileWithItsRowOrSaysWhyNot() {
    if (!fs::is_regular_file(kUndeletable)) QSKIP("/proc is not mounted, so there is no file nobody can delete");
    WindowUnderTest t;
    frmMain& w = t.Window();
    const fs::path calls = t.Folder("calls");
    for (const char* name : {"a.WAV", "c.WAV", "d.WAV", "z.WAV"}) Write(calls / name, name);
    fs::permissions(calls / "a.WAV", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    IndexCalls({calls / "a.WAV", kUndeletable, calls / "c.WAV", calls / "d.WAV"});
    IndexCalls({calls / "z.WAV"}, "0002");
    ShowChannel(t, 1);
    const QString a = QString::fromStdString((calls / "a.WAV").string()),
                  c = QString::fromStdString((calls / "c.WAV").string()),
                  d = QString::fromStdString((calls / "d.WAV").string());

    t.Dialogs().answers = {false};
    t.Click(w.cmdDelFile);
    QVERIFY2(fs::exists(calls / "a.WAV"), "the file was deleted though the answer was No");
    EXPECT_SEEN(t.GridFiles(), (QStringList{a, kUndeletable, c, d}), "the grid after Delete answered No");

    t.Dialogs().answers = {true};
    t.Click(w.cmdDelFile);
    QVERIFY2(!fs::exists(calls / "a.WAV"), "the read-only recording was not deleted");
    EXPECT_SEEN(t.GridFiles(), (QStringList{kUndeletable, c, d}), "the grid after the first row was deleted");
    EXPECT_SEEN(w.DataGrid1->View()->currentIndex().row(), 0, "the current row after it (the one that followed)");

    t.Dialogs().answers = {true};
    t.Click(w.cmdDelFile);
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{"delete file /proc/version failed."},
                "the message for a file that cannot be deleted");
    EXPECT_SEEN(t.GridFiles(), (QStringList{kUndeletable, c, d}), "the grid after the deletion failed");

    w.DataGrid1->View()->setCurrentIndex(w.DataGrid1->Model()->index(2, 0));
    t.Dialogs().answers = {true};
    t.Click(w.cmdDelFile);
    QVERIFY2(!fs::exists(calls / "d.WAV"), "the last row's recording was not deleted");
    EXPECT_SEEN(t.GridFiles(), (QStringList{kUndeletable, c}), "the grid after the last row was deleted");
    EXPECT_SEEN(Process().rsResult->AbsolutePosition(), 0L, "the current row after the last one was deleted (none)");
    QVERIFY2(!w.DataGrid1->View()->selectionModel()->hasSelection(), "a row is selected after the last was deleted");

    QVERIFY2(!w.cmdDelFile->isEnabled() && !w.cmdGetWaveFile->isEnabled() && !w.cmdPlayRecordFile->isEnabled(),
             "\"Delete\", \"Get Wave File\" or \"Play Select File\" can be clicked with no current row");
    t.Dialogs().answers = {true};
    DeleteCurrentFile();  // a click that came as the row went
    const std::string trapped = t.Dialogs().informations.back();
    QVERIFY2(trapped.rfind("!Delete File 3021 ", 0) == 0,
             qPrintable("Delete with no current row showed \"" + QString::fromStdString(trapped) +
                        "\", not the trapped error 3021"));
    w.DataGrid1->View()->setCurrentIndex(w.DataGrid1->Model()->index(1, 0));
    QVERIFY2(w.cmdDelFile->isEnabled() && w.cmdGetWaveFile->isEnabled() && w.cmdPlayRecordFile->isEnabled(),
             "the commands on the current row stayed disabled after a row was selected again");

    ShowChannel(t, 2);
    t.Dialogs().answers = {true};
    t.Click(w.cmdDelFile);
    QVERIFY2(!fs::exists(calls / "z.WAV"), "the only row's recording was not deleted");
    EXPECT_SEEN(t.Dialogs().informations.size(), std::size_t(2), "messages after the only row was deleted");
    EXPECT_SEEN(t.StoredFiles(), (QStringList{kUndeletable, c}), "the record index at the end");
    EXPECT_SEEN(t.Dialogs().questions, std::vector<std::string>(6, kDeleteQuestion), "the questions asked");
    QVERIFY2(t.Dialogs().questionIcons == std::vector<bool>(6, true), "the question lacks the question icon");
}

// Only the rows of the list go. A file that cannot be deleted keeps its
// row, is logged once and is counted in the closing message; when every
// file went the message is "done!" alone.
void FileCommands::deleteAllKeepsTheRowsOfFilesItCannotDelete() {
    if (!fs::is_regular_file(kUndeletable)) QSKIP("/proc is not mounted, so there is no file nobody can delete");
    WindowUnderTest t;
    frmMain& w = t.Window();
    const fs::path calls = t.Folder("calls");
    for (const char* name : {"a.WAV", "c.WAV", "z.WAV"}) Write(calls / name, name);
    fs::permissions(calls / "a.WAV", fs::perms::owner_read);
    IndexCalls({calls / "a.WAV", kUndeletable, calls / "c.WAV"});
    IndexCalls({calls / "z.WAV"}, "0002");
    const QString z = QString::fromStdString((calls / "z.WAV").string());
    ShowChannel(t, 1);

    t.Dialogs().answers = {false};
    t.Click(w.cmdDelAllFile);
    QVERIFY2(fs::exists(calls / "a.WAV") && fs::exists(calls / "c.WAV"), "a file was deleted though the answer was No");
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{}, "messages after DeleteAll answered No");
    EXPECT_SEEN(t.GridFiles().size(), qsizetype(3), "rows in the grid after DeleteAll answered No");

    bool held = true;
    Process().PumpEvents = [&] {
        held = held && !w.cmdPickUpAll->isEnabled() && !w.cmdDelFile->isEnabled() && !w.cmdShowResult->isEnabled() &&
               !w.cmdRefreshRecord->isEnabled() && !w.cmdPlay->isEnabled();
    };
    t.Dialogs().answers = {true};
    t.Click(w.cmdDelAllFile);
    QVERIFY2(held, "a command that disturbs the list could be clicked while DeleteAll walked it");
    QVERIFY2(!fs::exists(calls / "a.WAV") && !fs::exists(calls / "c.WAV"), "a deletable recording was left");
    EXPECT_SEEN(t.Dialogs().informations.back(), std::string("done! 1 file could not be deleted and keeps its row."),
                "the closing message");
    EXPECT_SEEN(t.GridFiles(), QStringList{kUndeletable}, "the grid after DeleteAll");
    EXPECT_SEEN(t.StoredFiles(), (QStringList{kUndeletable, z}), "the record index after DeleteAll of channel 1");
    const auto errors = ErrorLines(t);
    QVERIFY2(errors.size() == 1 && errors[0].find("/proc/version") != std::string::npos,
             qPrintable("the run log should hold one line for the file kept, it holds " +
                        Show(errors).toUtf8()));

    ShowChannel(t, 2);
    t.Dialogs().answers = {true};
    t.Click(w.cmdDelAllFile);
    EXPECT_SEEN(t.Dialogs().informations.back(), std::string("done!"), "the closing message when every file went");
    EXPECT_SEEN(t.StoredFiles(), QStringList{kUndeletable}, "the record index at the end");
    QVERIFY2(w.cmdDelAllFile->isEnabled() && w.cmdShowResult->isEnabled(), "commands stayed disabled after DeleteAll");
    EXPECT_SEEN(t.Dialogs().questions, std::vector<std::string>(3, kDeleteAllQuestion), "the questions asked");
}

void FileCommands::chooseMainFolderPutsOnlyAFolderInTheBox() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    const fs::path calls = t.Folder("calls");
    Write(calls / "a.WAV", "a");
    const std::string stored = Process().MainFolder.str();
    QStringList boxes;
    for (const std::string& answer : {calls.string(), (calls / "gone").string(), (calls / "a.WAV").string(),
                                      calls.string(), std::string()}) {
        t.Dialogs().folderAnswer = answer;
        t.Click(w.cmdChooseMainFolder);
        boxes << w.txtMainFolderPath->text();
    }
    EXPECT_SEEN(boxes, (QStringList{QString::fromStdString(calls.string()), "", "", QString::fromStdString(calls.string()), ""}),
                "the box after picking a folder, a missing folder, a file, a folder, and cancelling");
    EXPECT_SEEN(t.Dialogs().asked.back(), std::string("Your Voice Folder"), "the picker's title");
    EXPECT_SEEN(Process().MainFolder.str(), stored, "the stored main folder");
}

// A note typed on the first row is saved when the second row is chosen and
// shown again when the first comes back; the second row's tags complete
// from the tags in use; the grid marks both rows; "Tag" and "Note contains"
// find each; the hold placed in the panel keeps the second row's file and
// row through Delete answered Yes, and released, lets it go.
void FileCommands::whatAReviewerWritesStaysWithItsRowFindsItAndHoldsItAgainstDelete() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    const fs::path calls = t.Folder("calls");
    for (const char* name : {"a.WAV", "b.WAV", "c.WAV"}) Write(calls / name, name);
    IndexCalls({calls / "a.WAV", calls / "b.WAV", calls / "c.WAV"});
    t.Click(w.cmdRefreshRecord);
    const QString a = QString::fromStdString((calls / "a.WAV").string()),
                  b = QString::fromStdString((calls / "b.WAV").string()),
                  c = QString::fromStdString((calls / "c.WAV").string());
    NotesPanel& notes = *w.framNotes;
    QTableView* grid = w.DataGrid1->View();
    const auto choose = [&](int row) { grid->setCurrentIndex(w.DataGrid1->Model()->index(row, 0)); };

    choose(0);
    notes.txtNote->setFocus();
    QTest::keyClicks(notes.txtNote, "Customer disputes the invoice");
    choose(1);
    EXPECT_SEEN(QString::fromStdString(LoadAnnotations(a.toStdString()).note), QString("Customer disputes the invoice"),
                "the first row's note after the second row was chosen");
    EXPECT_SEEN(notes.txtNote->toPlainText(), QString(), "the note field on a row without a note");
    QTest::keyClicks(notes.txtTags, "billing urgent");
    QTest::keyClick(notes.txtTags, Qt::Key_Return);
    EXPECT_SEEN(Show(LoadAnnotations(b.toStdString()).tags), Show(std::vector<std::string>{"billing", "urgent"}),
                "the second row's stored tags");
    notes.txtHoldReason->setText("court case 12");
    t.Click(notes.cmdHold);
    QVERIFY2(notes.lblHold->text().startsWith("On hold since "), "the panel does not show the hold it placed");
    choose(2);
    QTest::keyClicks(notes.txtTags, "ur");
    EXPECT_SEEN(notes.txtTags->completer()->currentCompletion(), QString("urgent"), "the completion of \"ur\"");
    notes.txtTags->clear();
    choose(0);
    EXPECT_SEEN(notes.txtNote->toPlainText(), QString("Customer disputes the invoice"),
                "the note shown when its row came back");
    EXPECT_SEEN(t.GridColumn("Notes"), (QStringList{QString::fromUtf8("\u270e"), QString::fromUtf8("# \u2696"), ""}),
                "the grid's marks (a note; tags and a hold; nothing)");

    w.cmbTag->setCurrentText("billing");
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(t.GridFiles(), QStringList{b}, "the rows found by the tag \"billing\"");
    w.cmbTag->setCurrentText("");
    w.txtNoteWords->setText("INVOICE customer");
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(t.GridFiles(), QStringList{a}, "the rows whose note holds \"INVOICE customer\"");
    w.txtNoteWords->clear();
    t.Click(w.cmdShowResult);

    choose(1);
    t.Dialogs().answers = {true};
    t.Click(w.cmdDelFile);
    QVERIFY2(fs::exists(calls / "b.WAV"), "Delete removed a recording on hold");
    EXPECT_SEEN(t.GridFiles(), (QStringList{a, b, c}), "the grid after Delete of the held row");
    t.Dialogs().answers = {true};
    t.Click(notes.cmdHold);  // "Release Hold", answered Yes
    QVERIFY2(!HoldOf(b.toStdString()), "the hold stayed after it was released");
    t.Dialogs().answers = {true};
    t.Click(w.cmdDelFile);
    QVERIFY2(!fs::exists(calls / "b.WAV"), "the released recording was not deleted");
    QVERIFY2(LoadAnnotations(b.toStdString()).tags.empty(), "the deleted recording's tags stayed behind");
}

// While the audit trail cannot be written, a note typed on a row is not
// stored, and not lost: choosing another row and coming back shows it, the
// window asks before closing over it, and once the trail can be written
// again Ctrl+S stores it.
void FileCommands::aNoteTheAuditTrailCannotRecordIsKeptUntilItIsSaved() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    const fs::path calls = t.Folder("calls");
    for (const char* name : {"a.WAV", "b.WAV"}) Write(calls / name, name);
    IndexCalls({calls / "a.WAV", calls / "b.WAV"});
    t.Click(w.cmdRefreshRecord);
    const std::string a = (calls / "a.WAV").string();
    NotesPanel& notes = *w.framNotes;
    const auto choose = [&](int row) { w.DataGrid1->View()->setCurrentIndex(w.DataGrid1->Model()->index(row, 0)); };
    const fs::path trail = t.Staged().Folder() / kAuditFolderName;
    fs::remove_all(trail);
    Write(trail, "a file where the audit folder belongs");

    choose(0);
    notes.txtNote->setFocus();
    QTest::keyClicks(notes.txtNote, "call back on Monday");
    choose(1);
    QVERIFY2(LoadAnnotations(a).note.empty(), "a note was stored though the audit trail could not record it");
    choose(0);
    EXPECT_SEEN(notes.txtNote->toPlainText(), QString("call back on Monday"), "the unsaved note when its row came back");
    t.Dialogs().answers = {true, false};  // "Exit Player?" Yes, losing the note: No
    w.close();
    QVERIFY2(w.isVisible(), "the window closed over a note that was never saved");

    fs::remove(trail);
    notes.txtNote->setFocus();
    QTest::keyClick(notes.txtNote, Qt::Key_S, Qt::ControlModifier);
    EXPECT_SEEN(QString::fromStdString(LoadAnnotations(a).note), QString("call back on Monday"),
                "the note stored by Ctrl+S once the audit trail could be written");
    QVERIFY2(notes.Unsaved().empty(), "the note stayed unsaved after it was stored");
}

int main(int argc, char** argv) { return player::window_testing::RunWindowTests<FileCommands>(argc, argv); }

// A site whose server gives the operator's login no right to delete or
// hold: the window asks it and keeps those commands off, saying why; a
// supervisor's desk on the same site has them.
void FileCommands::aLoginWithoutTheDeleteRightHasDeleteDeleteAllAndHoldOffSayingWhy() {
    platform::sqlstore::testing::TestServer server;
    const std::string line = server.ConnectionInfo();
    {
        Connection admin;
        admin.ConnectionString = "provider=postgresql;data source=" + line;
        admin.Open();
        for (const char* file : {"player/core/index/Player.pg.sql", "player/core/index/PlayerSite.roles.pg.sql",
                                 "player/core/audit/PlayerSite.audit.pg.sql"}) {
            std::ifstream in(fs::path(qEnvironmentVariable("CALLDECK_SOURCE_DIR").toStdString()) / file);
            const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            QVERIFY2(!text.empty(), file);
            admin.Server()->Run(text);
        }
        admin.Server()->Run(
            "create role op1 login in role calldeck_operator; create role sup1 login in role calldeck_supervisor;"
            "insert into SiteScopes values ('op1', '0001', '.*'), ('sup1', '0001', '.*');"
            "insert into RecordFileInfo (MainFolder, FileFullName, RecordDateTime, RecordChannel, CallNumber,"
            " RecordDuration, CallDirection) values ('/calls', '/calls/a.WAV', '2024-05-06 09:00:00', '0001', '1',"
            " '00:00:02', 'IN')");
    }
    const auto as = [&](const std::string& login) {
        std::string named = line;
        return named.replace(named.find("user=calldeck"), 13, "user=" + login);
    };
    {
        WindowUnderTest t({}, as("op1"));
        frmMain& w = t.Window();
        ShowChannel(t, 1);
        EXPECT_SEEN(t.GridFiles(), QStringList{"/calls/a.WAV"}, "the operator's grid");
        for (QPushButton* command : {w.cmdDelFile, w.cmdDelAllFile, w.framNotes->cmdHold}) {
            QVERIFY2(!command->isEnabled(), qPrintable(command->text() + " is on for a login that may not use it"));
            QVERIFY2(command->toolTip().contains("Your login op1 may not"),
                     qPrintable(command->text() + "'s tool tip does not say why it is off: " + command->toolTip()));
        }
    }
    WindowUnderTest t({}, as("sup1"));
    frmMain& w = t.Window();
    ShowChannel(t, 1);
    for (QPushButton* command : {w.cmdDelFile, w.cmdDelAllFile, w.framNotes->cmdHold}) {
        QVERIFY2(command->isEnabled(), qPrintable(command->text() + " is off for a supervisor"));
        QVERIFY2(command->toolTip().isEmpty(), qPrintable(command->text() + "'s tool tip: " + command->toolTip()));
    }
}

#include "frm_main_files_test.moc"
