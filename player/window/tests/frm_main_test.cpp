// The main window as an operator meets it: start, conditions, the three
// search and rebuild commands, the keyboard, the scan window, the grid's
// columns, order and current row, closing.
#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QMenu>
#include <QHeaderView>
#include <QStyle>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/process_state.h"
#include "player/core/index/record_scan.h"
#include "window_fixture.h"

// The system's font configuration library keeps a cache for the life of the
// process, which the leak checker of the sanitizer build would report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace fs = std::filesystem;
using namespace player;
using namespace player::window_testing;
using player::testing::MakeFile;

namespace {

const std::string kBase =
    "select RecordChannel,RecordDateTime,CallNumber,RecordDuration,FileFullName,CallDirection from RecordFileInfo "
    "where 1=1 and RecordDateTime >= #2006-01-01 00:00:00# and RecordDateTime <= #2024-05-06 23:59:59#";
const std::string kRebuildQuestion =
    "the operation will rebuild the temperory data,click 'yes' to go on or 'no' to cancel.";

// Six recordings over three channels, stored out of order.
std::vector<RecordInfo> SixCalls() {
    return {
        Row("/calls/f.WAV", "2024-05-02 09:00:00", "0012", "123", "00:03:00", "OUT"),
        Row("/calls/b.VC8", "2024-05-01 13:00:00", "0003", "5551234", "00:01:30", "OUT"),
        Row("/calls/a.WAV", "2024-05-01 12:30:45", "0003", "12345671", "00:00:10", "IN"),
        Row("/calls/d.NTC", "2024-05-03 08:00:00", "0007", "", "00:00:45", ""),
        Row("/calls/c.DEC", "2024-05-01 09:00:00", "0007", "5551234", "00:01:29", ""),
        Row("/calls/e.WAV", "2024-05-04 10:00:00", "0003", "777", "00:05:00", "IN"),
    };
}
const QStringList kSixInOrder{"/calls/a.WAV", "/calls/b.VC8", "/calls/e.WAV",
                              "/calls/c.DEC", "/calls/d.NTC", "/calls/f.WAV"};

QStringList Sorted(QStringList l) {
    l.sort();
    return l;
}

QStringList Relative(const QStringList& files, const fs::path& root) {
    QStringList out;
    const QString prefix = QString::fromStdString(root.string() + "/");
    for (QString f : files) out << f.remove(prefix);
    return out;
}

std::string StoredMainFolder(const fs::path& programFolder) {
    std::ifstream in(programFolder / "PlayerMisc.cfg", std::ios::binary);
    std::string record(255, '\0');
    in.read(record.data(), 255);
    record.resize(static_cast<std::size_t>(in.gcount()));
    while (!record.empty() && record.back() == ' ') record.pop_back();
    return record;
}

// Runs `step` at every event pump of the scan, that is, once per folder
// entered and once per file, as long as it returns true.
void DuringTheScan(std::function<bool()> step) {
    Process().PumpEvents = [step, done = false]() mutable {
        if (!done) done = !step();
    };
}

// The grid's column under a heading, -1 when there is none.
int ColumnHeaded(frmMain& w, const QString& heading) {
    const QAbstractItemModel* model = w.DataGrid1->View()->model();
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == heading) return c;
    return -1;
}

void ClickHeading(frmMain& w, const QString& heading) {
    QHeaderView* header = w.DataGrid1->View()->horizontalHeader();
    const int column = ColumnHeaded(w, heading);
    const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
}

// The recordings in the order playing walks the result set: first, next, ...
QStringList PlayOrder() {
    QStringList files;
    auto set = Process().rsResult;
    if (!set || !set->IsOpen() || set->RecordCount() == 0) return files;
    for (set->MoveFirst(); !set->Eof(); set->MoveNext()) files << QString::fromStdString(set->Field("FileFullName"));
    return files;
}

// The width a column's values need when each row in turn is drawn as the
// row being played (bold, with the play mark): Qt's measure of the values
// in view.
int NeededWhenPlayed(frmMain& w, int column) {
    RecordsetModel* rows = w.DataGrid1->Model();
    const QAbstractItemView* cells = w.DataGrid1->View();
    const QIcon mark = w.style()->standardIcon(QStyle::SP_MediaPlay);
    int needed = 0;
    for (int r = 0; r < rows->rowCount(); ++r) {
        rows->MarkPlaying(rows->index(r, rows->FileColumn()).data().toString().toStdString(), mark);
        needed = std::max(needed, cells->sizeHintForColumn(column));
    }
    rows->MarkPlaying("", mark);
    return needed;
}

// What is wrong with the grid's columns, "" when nothing: every column but
// FileFullName exactly as wide as its heading and its values need (drawn
// as the row being played), and the columns ending at the grid's right
// edge, FileFullName taking what is left.
QString ColumnFault(frmMain& w) {
    QTableView* grid = w.DataGrid1->View();
    QHeaderView* header = grid->horizontalHeader();
    for (int c = 0; c < header->count(); ++c) {
        const int needed = std::max(header->sectionSizeHint(c), NeededWhenPlayed(w, c));
        const QString heading = grid->model()->headerData(c, Qt::Horizontal).toString();
        if (heading != "FileFullName" && header->sectionSize(c) != needed)
            return heading + " is " + QString::number(header->sectionSize(c)) + " px wide, its heading and values need " +
                   QString::number(needed);
    }
    if (header->length() != grid->viewport()->width())
        return QString("the columns end at %1 px, the grid at %2").arg(header->length()).arg(grid->viewport()->width());
    return {};
}

// Presses the scan window's Cancel once the first file has been counted.
void PressCancelAtTheFirstFile(WindowUnderTest& t) {
    frmParseFileProcess* scan = t.Window().ParseFileWindow();
    DuringTheScan([&t, scan] {
        if (scan->FileCount < 1) return true;
        t.Click(scan->cmdCancel);
        return false;
    });
}

}  // namespace

class MainWindow : public QObject {
    Q_OBJECT

private slots:
    void startShowsEveryControlWithItsCaptionAndStartingValue();
    void startShowsEveryIndexedRecordingInChannelAndTimeOrder();
    void conditionsMakeTheSearchStatement();
    void aDateTypedOverADateReplacesItAndARangeFillsTheFields();
    void theListsArePickedWithTheKeyboardButNotTypedInto();
    void enterRunsTheSearchAndTabWalksOnlyTheFieldsThatTakeInput();
    void showResultFillsTheGridWithExactlyTheMatchingRows();
    void aQuoteInTheNumberBoxFindsTheNumberThatHoldsIt();
    void refreshRecordsetShowsEveryRecordInOrder();
    void refreshFileInformationAnsweredNoDoesNothing();
    void refreshFileInformationAnsweredYesIndexesTheTreeAndReportsTheCount();
    void refreshFileInformationOnAnEmptyFolderAsksBeforeEmptyingTheIndex();
    void searchFileEveryTimeRebuildsBeforeEachSearchAndStoresTheMainFolder();
    void aRebuildThatCannotBeDoneSaysWhyAndKeepsTheIndex();
    void aSiteServerOutOfReachIsToldOnceAtStartAndAtEachSearchWithoutItsConnectionLine();
    void aScanCancelledWithYesEntersNoFurtherFolder();
    void aScanWhoseCancelIsAnsweredNoGoesOn();
    void theScanWindowRefusesToCloseWhileScanning();
    void aSecondRebuildIsRefusedWhileAScanRuns();
    void gridAndResultSetShareTheCurrentRow();
    void columnsAfterARebuildAreReadableAndThePathTakesTheSpareWidth();
    void clickingAHeadingSortsTheResultSetThePlayerWalks();
    void aDeletedRowLeavesTheGrid();
    void closingAnsweredNoKeepsTheWindowOpen();
    void closingAnsweredYesEndsThePlayer();
    void closingDuringAScanEndsItWithoutAnotherMessage();
    void getWaveFileExportsTheSelectedRecordingOrLogsWhyNot();
    void closingDuringAConversionStopsIt();
};

void MainWindow::startShowsEveryControlWithItsCaptionAndStartingValue() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    EXPECT_SEEN(w.windowTitle(), QString("CallDeck 1.00A08"), "the title bar");
    EXPECT_SEEN(w.framConditions->title(), QString("Conditions"), "the conditions block's caption");
    EXPECT_SEEN(w.framPlayer->title(), QString("CallDeck"), "the player block's caption");
    EXPECT_SEEN(w.DataGrid1->Caption(), QString("Record File Temporary Information"), "the grid's caption");
    const QStringList captions{w.chkCallIn->text(),        w.chkCallOut->text(),        w.chkSearchFileEveryTime->text(),
                               w.cmdChooseMainFolder->text(), w.cmdShowResult->text(),   w.cmdRefreshRecord->text(),
                               w.cmdGetFileInfo->text(),   w.cmdByeBye->text(),         w.cmdGetWaveFile->text(),
                               w.cmdPickUpAll->text(),     w.cmdDelFile->text(),        w.cmdDelAllFile->text(),
                               w.cmdPlayRecordFile->text(), w.cmdPlayPrevious->text(),  w.cmdPlayNext->text(),
                               w.chkAutoPlayNext->text()};
    EXPECT_SEEN(captions,
                (QStringList{"Call In", "Call Out", "Search File EveryTime", "..", "Show Result", "Refresh Recordset",
                             "Refresh File Information", "Exit Player", "Get Wave File", "Pickup All", "Delete",
                             "DeleteAll", "Play Select File", "Previous", "Next", "AutoPlayNext"}),
                "the captions of the check boxes and buttons");
    QStringList labels;
    for (QLabel* l : w.findChildren<QLabel*>()) labels << l->text();
    for (const char* label : {"StartTime", "EndTime", "ChannelNo", "Call Number", "Duration", "Main Folder",
                              "Record Duration :"})
        QVERIFY2(labels.contains(label), qPrintable(QString("the label \"%1\" is missing").arg(label)));

    EXPECT_SEEN(w.cmbChannelNo->count(), 129, "entries in the channel list");
    EXPECT_SEEN(w.cmbChannelNo->itemText(0), QString("all"), "the channel list's first entry");
    EXPECT_SEEN(w.cmbChannelNo->itemText(1), QString("001"), "channel 1 in the list");
    EXPECT_SEEN(w.cmbChannelNo->itemText(128), QString("128"), "channel 128 in the list");
    EXPECT_SEEN(w.cmbChannelNo->currentText(), QString("all"), "the channel picked at start");
    EXPECT_SEEN((QStringList{w.cmbCompare->itemText(0), w.cmbCompare->itemText(1), w.cmbCompare->itemText(2)}),
                (QStringList{"", ">=", "<="}), "the compare list");
    EXPECT_SEEN(w.cmbCompare->currentIndex(), -1, "the compare entry picked at start (none)");
    EXPECT_SEEN(w.dtpStartDate->text() + " " + w.dtpStartTime->text(), QString("2006-01-01 00:00:00"), "the start");
    EXPECT_SEEN(w.dtpEndDate->text() + " " + w.dtpEndTime->text(), QString("2024-05-06 23:59:59"),
                "the end (today, end of the day)");
    EXPECT_SEEN(w.dtpDuration->text(), QString("00:00:00"), "the duration picker");
    QVERIFY2(w.chkCallIn->isChecked() && w.chkCallOut->isChecked(), "both directions should be ticked at start");
    QVERIFY2(!w.chkSearchFileEveryTime->isChecked(), "\"Search File EveryTime\" should be off at start");
    EXPECT_SEEN(w.txtNumber->text(), QString(), "the number box");
    EXPECT_SEEN(w.txtMainFolderPath->text(), QString("d:\\Voc"), "the main folder box (the stored folder)");
    EXPECT_SEEN(w.txtTime->text(), QString("00:00:00"), "the play time box");
    EXPECT_SEEN(w.lblTotalDuration->text(), QString("00:00:00"), "the record duration");
    EXPECT_SEEN(w.sldDuration->value(), 0, "the position slider");
    EXPECT_SEEN((QStringList{QString::number(w.pbConvert->minimum()), QString::number(w.pbConvert->maximum()),
                             QString::number(w.pbConvert->value())}),
                (QStringList{"0", "100", "0"}), "the progress bar's minimum, maximum and value (empty while idle)");
    EXPECT_SEEN(w.stbPlayerPanel1->text(), QString(" RunLog : <2024-05-06 12:30:45>Player Startup!"),
                "the status bar's first panel");
    EXPECT_SEEN(t.Staged().LogMessages(), std::vector<std::string>{"Player Startup!"}, "the day's run log");

    w.InitMainForm();
    w.InitMainForm();
    EXPECT_SEEN(w.windowTitle(), QString("CallDeck 1.00A08"), "the title bar after the form was initialised again");
}

void MainWindow::startShowsEveryIndexedRecordingInChannelAndTimeOrder() {
    WindowUnderTest t(SixCalls());
    EXPECT_SEEN(t.GridFiles(), kSixInOrder, "the recordings listed at start");
    QStringList headings;
    for (int c = 0; c < t.Window().DataGrid1->Columns(); ++c)
        headings << t.Window().DataGrid1->View()->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_SEEN(headings,
                (QStringList{"RecordChannel", "RecordDateTime", "CallNumber", "RecordDuration", "FileFullName",
                             "CallDirection", "Notes"}),
                "the grid's column headings");
    EXPECT_SEEN(t.Window().DataGrid1->View()->currentIndex().row(), 0, "the selected row at start (the first)");
    EXPECT_SEEN(Process().rsResult->AbsolutePosition(), 1, "the result set's current record at start");
    EXPECT_SEEN(t.Window().stbPlayerPanel2->text(), QString("6 calls"), "the status bar's second panel at start");
}

void MainWindow::conditionsMakeTheSearchStatement() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    EXPECT_SEEN(w.MakeCondition(), kBase, "the search of the starting conditions");

    w.cmbChannelNo->setCurrentIndex(w.cmbChannelNo->findText("005"));
    EXPECT_SEEN(w.MakeCondition(), kBase + " and RecordChannel = '0005'", "channel 005 picked");
    w.cmbChannelNo->setCurrentIndex(0);

    w.cmbCompare->setCurrentIndex(w.cmbCompare->findText(">="));
    w.dtpDuration->setTime(QTime(0, 1, 30));
    EXPECT_SEEN(w.MakeCondition(), kBase + " and RecordDuration >=#00:01:30#", "duration >= 00:01:30");
    w.cmbCompare->setCurrentIndex(0);
    EXPECT_SEEN(w.MakeCondition(), kBase, "the empty compare entry");

    QTest::keyClicks(w.txtNumber, " 123 ");
    EXPECT_SEEN(w.MakeCondition(), kBase + " and CallNumber like '%123%'", "\" 123 \" typed as the number");
    w.txtNumber->clear();
    QTest::keyClicks(w.txtNumber, "O'Neil");
    EXPECT_SEEN(w.MakeCondition(), kBase + " and CallNumber like '%O''Neil%'", "a quote typed as the number");
    w.txtNumber->clear();

    w.chkCallIn->setChecked(false);
    w.chkCallOut->setChecked(false);
    EXPECT_SEEN(w.MakeCondition(), kBase + " and CallDirection <> 'IN' and CallDirection <> 'OUT'",
                "both directions unticked");

    w.chkCallIn->setChecked(true);
    w.dtpStartDate->setDate(QDate(2024, 1, 2));
    w.dtpStartTime->setTime(QTime(3, 4, 5));
    w.dtpEndDate->setDate(QDate(2024, 1, 2));
    w.dtpEndTime->setTime(QTime(18, 7, 8));
    EXPECT_SEEN(w.MakeCondition(),
                "select RecordChannel,RecordDateTime,CallNumber,RecordDuration,FileFullName,CallDirection from "
                "RecordFileInfo where 1=1 and RecordDateTime >= #2024-01-02 03:04:05# and RecordDateTime <= "
                "#2024-01-02 18:07:08# and CallDirection <> 'OUT'",
                "a range within one day, outgoing calls left out");
}

// A date typed over the whole selected date replaces all of it, separators
// or not; a time likewise. F4 and Alt+Down open the calendar. "Range" fills
// both ends from today (the clock reads 2024-05-06).
void MainWindow::aDateTypedOverADateReplacesItAndARangeFillsTheFields() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QStringList typed;
    for (const char* date : {"2024-03-07", "2023-1-9", "20221231"}) {
        w.dtpStartDate->setFocus();
        QTest::keyClick(w.dtpStartDate, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w.dtpStartDate, date);
        typed << w.dtpStartDate->text();
    }
    EXPECT_SEEN(typed, (QStringList{"2024-03-07", "2023-01-09", "2022-12-31"}),
                "the start date after Ctrl+A and typing 2024-03-07, 2023-1-9 and 20221231 over it");
    w.dtpEndTime->setFocus();
    QTest::keyClick(w.dtpEndTime, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w.dtpEndTime, "9:05:30");
    EXPECT_SEEN(w.dtpEndTime->text(), QString("09:05:30"), "the end time after Ctrl+A and typing 9:05:30 over it");
    QVERIFY2(w.MakeCondition().find(">= #2022-12-31 00:00:00# and RecordDateTime <= #2024-05-06 09:05:30#") !=
                 std::string::npos,
             qPrintable("the typed range is not what the search asks: " + QString::fromStdString(w.MakeCondition())));

    for (auto [key, modifiers] : {std::pair{Qt::Key_F4, Qt::NoModifier}, std::pair{Qt::Key_Down, Qt::AltModifier}}) {
        QTest::keyClick(w.dtpEndDate, key, modifiers);
        QCalendarWidget* calendar = w.dtpEndDate->calendarWidget();
        QVERIFY2(calendar->isVisible(), qPrintable(QKeySequence(key | modifiers).toString() +
                                                   " did not open the end date's calendar"));
        QTest::keyClick(calendar, Qt::Key_Escape);
    }

    QStringList ranges;
    for (QAction* range : w.cmdRange->menu()->actions()) {
        range->trigger();
        ranges << range->text() + ": " + w.dtpStartDate->text() + " " + w.dtpStartTime->text() + " - " +
                      w.dtpEndDate->text() + " " + w.dtpEndTime->text();
    }
    EXPECT_SEEN(ranges,
                (QStringList{"Today: 2024-05-06 00:00:00 - 2024-05-06 23:59:59",
                             "Yesterday: 2024-05-05 00:00:00 - 2024-05-05 23:59:59",
                             "Last 7 days: 2024-04-30 00:00:00 - 2024-05-06 23:59:59",
                             "This month: 2024-05-01 00:00:00 - 2024-05-06 23:59:59"}),
                "the fields after each choice of \"Range\"");
    EXPECT_SEEN(w.cmdRange->text(), QString("Range"), "the range button's caption");
}

void MainWindow::theListsArePickedWithTheKeyboardButNotTypedInto() {
    WindowUnderTest t;
    QComboBox* channels = t.Window().cmbChannelNo;
    QStringList picked;
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_PageDown, Qt::Key_End, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Home}) {
        QTest::keyClick(channels, key);
        picked << channels->currentText();
    }
    EXPECT_SEEN(picked, (QStringList{"001", "002", "128", "127", "126", "all"}),
                "the channels after Down, Page Down, End, Up, Page Up and Home");
    QTest::keyClick(channels, Qt::Key_1, Qt::KeypadModifier);
    QTest::keyClicks(channels, "0");
    EXPECT_SEEN(channels->currentText(), QString("all"), "the channel after typing 10 (the keypad's 1, then 0)");
    QTest::keyClicks(t.Window().cmbCompare, ">");
    EXPECT_SEEN(t.Window().cmbCompare->currentIndex(), -1, "the compare entry after typing >");

    for (auto [key, modifiers] : {std::pair{Qt::Key_Down, Qt::AltModifier}, std::pair{Qt::Key_Space, Qt::NoModifier},
                                  std::pair{Qt::Key_F4, Qt::NoModifier}}) {
        QTest::keyClick(channels, key, modifiers);
        QVERIFY2(channels->view()->isVisible(), qPrintable(QKeySequence(key | modifiers).toString() +
                                                           " did not open the channel list"));
        if (key != Qt::Key_F4) QTest::keyClick(channels->view(), Qt::Key_Escape);
    }
    QTest::keyClicks(channels->view(), "12");
    QTest::keyClick(channels->view(), Qt::Key_Down);
    QTest::keyClick(channels->view(), Qt::Key_Return);
    EXPECT_SEEN(channels->currentText(), QString("001"), "the channel picked in the open list: 12 typed, Down, Enter");
}

void MainWindow::enterRunsTheSearchAndTabWalksOnlyTheFieldsThatTakeInput() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    QTest::keyClicks(w.txtNumber, "555");
    QTest::keyClick(w.txtNumber, Qt::Key_Return);
    EXPECT_SEEN(Sorted(t.GridFiles()), (QStringList{"/calls/b.VC8", "/calls/c.DEC"}), "the grid after 555 and Enter");
    for (int i = 0; i < 3; ++i) QTest::keyClick(w.cmbChannelNo, Qt::Key_Down);
    QTest::keyClick(w.cmbChannelNo, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_SEEN(t.GridFiles(), QStringList{"/calls/b.VC8"}, "the grid after picking 003 and the keypad's Enter");
    w.txtNumber->clear();
    w.dtpEndDate->setDate(QDate(2024, 5, 1));
    w.dtpEndTime->setSelectedSection(QDateTimeEdit::HourSection);
    QTest::keyClicks(w.dtpEndTime, "12");
    QTest::keyClick(w.dtpEndTime, Qt::Key_Return);
    EXPECT_SEEN(t.GridFiles(), QStringList{"/calls/a.WAV"}, "channel 003 up to 2024-05-01 12:59:59, typed, and Enter");

    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.txtNumber->setFocus();
    QStringList visited;  // Tab from the number box round the window
    for (int i = 0; i < 40 && (i == 0 || QApplication::focusWidget() != w.txtNumber); ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QVERIFY2(!visited.contains("txtTime"), qPrintable("Tab stops at the read-only play time: " + visited.join(" ")));
    QVERIFY2(visited.size() == QSet<QString>(visited.begin(), visited.end()).size(),
             qPrintable("Tab stops more than once in a field: " + visited.join(" ")));
    QTableView* grid = w.DataGrid1->View();
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Tab);
    QVERIFY2(QApplication::focusWidget() != grid, "Tab walks the grid's cells instead of leaving it");
}

void MainWindow::showResultFillsTheGridWithExactlyTheMatchingRows() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    w.cmbChannelNo->setCurrentIndex(3);
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(Sorted(t.GridFiles()), (QStringList{"/calls/a.WAV", "/calls/b.VC8", "/calls/e.WAV"}), "channel 003");
    EXPECT_SEEN(w.stbPlayerPanel2->text(), QString("3 calls"), "the status bar's second panel after that search");

    w.chkCallIn->setChecked(false);
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(t.GridFiles(), QStringList{"/calls/b.VC8"}, "channel 003 without incoming calls");

    w.cmbChannelNo->setCurrentIndex(0);
    w.chkCallIn->setChecked(true);
    w.cmbCompare->setCurrentIndex(1);
    w.dtpDuration->setTime(QTime(0, 1, 30));
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(Sorted(t.GridFiles()), (QStringList{"/calls/b.VC8", "/calls/e.WAV", "/calls/f.WAV"}),
                "all channels, 00:01:30 or longer");

    w.cmbCompare->setCurrentIndex(-1);
    w.txtNumber->setText("555");
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(Sorted(t.GridFiles()), (QStringList{"/calls/b.VC8", "/calls/c.DEC"}), "numbers holding 555");

    w.txtNumber->clear();
    w.dtpStartDate->setDate(QDate(2024, 5, 1));
    w.dtpEndDate->setDate(QDate(2024, 5, 1));
    w.dtpEndTime->setTime(QTime(12, 30, 45));
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(Sorted(t.GridFiles()), (QStringList{"/calls/a.WAV", "/calls/c.DEC"}),
                "2024-05-01 up to 12:30:45, the end included");
    EXPECT_SEEN(t.Dialogs().asked, std::vector<std::string>{}, "message boxes shown by searching");
}

void MainWindow::aQuoteInTheNumberBoxFindsTheNumberThatHoldsIt() {
    WindowUnderTest t({Row("/calls/O'Neil/q.WAV", "2024-05-01 10:00:00", "0001", "O'Neil 5", "00:00:09", "IN"),
                       Row("/calls/r.WAV", "2024-05-01 11:00:00", "0001", "Neil", "00:00:09", "IN")});
    t.Window().txtNumber->setText("O'Neil");
    t.Click(t.Window().cmdShowResult);
    EXPECT_SEEN(t.GridFiles(), QStringList{"/calls/O'Neil/q.WAV"}, "the search for O'Neil");
    EXPECT_SEEN(t.Staged().LogMessages(), std::vector<std::string>{"Player Startup!"}, "the run log after the search");
}

void MainWindow::refreshRecordsetShowsEveryRecordInOrder() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    w.cmbChannelNo->setCurrentIndex(7);
    t.Click(w.cmdShowResult);
    QCOMPARE(t.GridFiles().size(), 2);
    t.Click(w.cmdRefreshRecord);
    EXPECT_SEEN(t.GridFiles(), kSixInOrder, "every recording after \"Refresh Recordset\"");
    EXPECT_SEEN(t.GridColumn("RecordChannel"), (QStringList{"0003", "0003", "0003", "0007", "0007", "0012"}),
                "the channels after \"Refresh Recordset\"");
}

void MainWindow::refreshFileInformationAnsweredNoDoesNothing() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    t.Recordings({"A_20240501120000_C5.WAV"});
    t.Dialogs().answers = {false};
    t.Click(w.cmdGetFileInfo);
    EXPECT_SEEN(t.Dialogs().questions, std::vector<std::string>{kRebuildQuestion}, "the question asked");
    QVERIFY2(t.Dialogs().questionIcons == std::vector<bool>{false}, "the rebuild question should carry no icon");
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{}, "messages after answering No");
    EXPECT_SEEN(t.GridFiles(), kSixInOrder, "the grid after answering No");
    EXPECT_SEEN(t.StoredFiles(), kSixInOrder, "the record index after answering No");
    EXPECT_SEEN(StoredMainFolder(t.Staged().Folder()), std::string("d:\\Voc"), "the stored main folder");
    QVERIFY2(!w.ParseFileWindow()->isVisible(), "the scan window opened though the rebuild was declined");
}

void MainWindow::refreshFileInformationAnsweredYesIndexesTheTreeAndReportsTheCount() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    const fs::path calls = t.Folder("calls");
    MakeFile(calls / "board1" / "20240501083000000312345671.WAV", 80000);
    MakeFile(calls / "board1" / "REC_5551234_240501091500_C7.NTC", 5000);
    MakeFile(calls / "board2" / "A_20240502101010_C12.VC8", 60000);
    MakeFile(calls / "O'Brien" / "A_20240502111111_C1.DEC", 3000);
    MakeFile(calls / "board2" / "notes.txt", 10);
    MakeFile(calls / "board2" / "A_20240502101010_C129.VC8", 10);
    w.txtMainFolderPath->setText(QString::fromStdString("  " + calls.string() + "  "));
    t.Dialogs().answers = {true};
    t.Click(w.cmdGetFileInfo);
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{"Record File = 4"}, "the rebuild's report");
    EXPECT_SEEN(Relative(t.GridFiles(), calls),
                (QStringList{"O'Brien/A_20240502111111_C1.DEC", "board1/20240501083000000312345671.WAV",
                             "board1/REC_5551234_240501091500_C7.NTC", "board2/A_20240502101010_C12.VC8"}),
                "the grid after the rebuild (every recording, channel and time order)");
    EXPECT_SEEN(t.GridColumn("RecordDuration"), (QStringList{"00:00:03", "00:00:10", "00:00:05", "00:01:00"}),
                "the durations after the rebuild");
    EXPECT_SEEN(w.ParseFileWindow()->lblFileCount->text(), QString("6"), "\"All File:\" at the end of the scan");
    EXPECT_SEEN(w.ParseFileWindow()->lblRecordFileCount->text(), QString("4"), "\"Record File:\" at the end");
    QVERIFY2(!w.ParseFileWindow()->isVisible(), "the scan window stayed open after the scan");
    EXPECT_SEEN(StoredMainFolder(t.Staged().Folder()), calls.string(), "the stored main folder (trimmed)");
    QVERIFY2(w.cmdGetFileInfo->isEnabled(), "\"Refresh File Information\" stayed disabled after the rebuild");
}

void MainWindow::refreshFileInformationOnAnEmptyFolderAsksBeforeEmptyingTheIndex() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    const std::string empty = t.Folder("empty").string();
    const std::string question = "No recordings were found under " + empty + ". Empty the record index?";
    w.txtMainFolderPath->setText(QString::fromStdString(empty));
    t.Dialogs().answers = {true, false};
    t.Click(w.cmdGetFileInfo);
    EXPECT_SEEN(t.Dialogs().questions, (std::vector<std::string>{kRebuildQuestion, question}), "the questions asked");
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{}, "messages after answering No to emptying");
    EXPECT_SEEN(t.GridFiles(), kSixInOrder, "the grid after declining to empty the index");
    EXPECT_SEEN(t.StoredFiles(), kSixInOrder, "the record index after declining to empty it");

    t.Dialogs().answers = {true, true};
    t.Click(w.cmdGetFileInfo);
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{"Record File = 0"}, "the rebuild's report");
    EXPECT_SEEN(t.GridFiles(), QStringList{}, "the grid after rebuilding from an empty folder");
    EXPECT_SEEN(w.stbPlayerPanel2->text(), QString("0 calls"), "the status bar's second panel after that rebuild");
    EXPECT_SEEN(t.StoredFiles(), QStringList{}, "the record index after rebuilding from an empty folder");
}

void MainWindow::searchFileEveryTimeRebuildsBeforeEachSearchAndStoresTheMainFolder() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    const fs::path calls = t.Recordings({"A_20240501120000_C5.WAV"});
    w.chkSearchFileEveryTime->setChecked(true);
    w.cmbChannelNo->setCurrentIndex(5);
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(Relative(t.GridFiles(), calls), QStringList{"A_20240501120000_C5.WAV"}, "the first search");
    EXPECT_SEEN(StoredMainFolder(t.Staged().Folder()), calls.string(), "the stored main folder");

    MakeFile(calls / "A_20240501130000_C5.WAV", 8000);
    MakeFile(calls / "A_20240501140000_C6.WAV", 8000);
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(Sorted(Relative(t.GridFiles(), calls)),
                (QStringList{"A_20240501120000_C5.WAV", "A_20240501130000_C5.WAV"}),
                "the second search, after two more recordings arrived");
    EXPECT_SEEN(t.StoredFiles().size(), 3, "recordings in the index after the second rebuild");
    EXPECT_SEEN(t.Dialogs().asked, std::vector<std::string>{}, "message boxes shown by the searches");
}

void MainWindow::aRebuildThatCannotBeDoneSaysWhyAndKeepsTheIndex() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    const std::string missing = (t.Folder("calls") / "missing").string();
    w.txtMainFolderPath->setText(QString::fromStdString(missing));
    t.Dialogs().answers = {true};
    t.Click(w.cmdGetFileInfo);
    const std::vector<std::string> said = t.Dialogs().informations;
    QVERIFY2(said.size() == 1 && said[0].find(missing) != std::string::npos,
             qPrintable("the messages after rebuilding from a missing folder (one, naming it): " + Show(said)));
    EXPECT_SEEN(t.Staged().LogMessages().back(), "!RefreshFileInfo " + said[0], "the run log's last line");
    EXPECT_SEEN(t.GridFiles(), kSixInOrder, "the grid after the refused rebuild");

    w.chkSearchFileEveryTime->setChecked(true);
    w.cmbChannelNo->setCurrentIndex(7);
    t.Click(w.cmdShowResult);
    EXPECT_SEEN(t.Dialogs().informations.size(), 2, "messages after a search that could not rebuild first");
    EXPECT_SEEN(t.GridFiles(), (QStringList{"/calls/c.DEC", "/calls/d.NTC"}), "channel 007 of the index kept");
    EXPECT_SEEN(StoredMainFolder(t.Staged().Folder()), std::string("d:\\Voc"), "the stored main folder");
}

void MainWindow::aSiteServerOutOfReachIsToldOnceAtStartAndAtEachSearchWithoutItsConnectionLine() {
    const std::string secret = "Sesame-4711";
    WindowUnderTest t({}, "host=/nonexistent-calldeck-server user=calldeck dbname=calldeck password=" + secret);
    frmMain& w = t.Window();
    QVERIFY2(w.isVisible(), "the window did not open without its server");
    const auto& said = t.Dialogs().informations;
    QVERIFY2(said.size() == 1 && said[0].find("cannot be reached") != std::string::npos,
             qPrintable("the messages at start (one, saying the server cannot be reached): " + Show(said)));

    t.Click(w.cmdShowResult);
    EXPECT_SEEN(said.size(), 2, "messages after Show Result (one more)");
    t.Click(w.cmdRefreshRecord);
    EXPECT_SEEN(said.size(), 3, "messages after Refresh Recordset (one more)");
    EXPECT_SEEN(said.back(), said[0], "the message of a search");
    w.txtMainFolderPath->setText(QString::fromStdString(t.Folder("calls").string()));
    t.Dialogs().answers = {true};
    t.Click(w.cmdGetFileInfo);
    QVERIFY2(said.size() == 4 && said[3].find("cannot be reached") != std::string::npos,
             qPrintable("the messages after a rebuild (one more, saying why): " + Show(said)));
    EXPECT_SEEN(t.GridFiles(), QStringList{}, "the grid");
    EXPECT_SEEN(StoredMainFolder(t.Staged().Folder()), std::string("d:\\Voc"), "the stored main folder");
    for (const std::string& text : said)
        QVERIFY2(text.find(secret) == std::string::npos && text.find("host=") == std::string::npos,
                 qPrintable("a message shows the connection line: " + Show(text)));
    for (const std::string& line : t.Staged().LogMessages())
        QVERIFY2(line.find(secret) == std::string::npos, qPrintable("the run log holds the password: " + Show(line)));
}

void MainWindow::aScanCancelledWithYesEntersNoFurtherFolder() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    const fs::path calls = t.Recordings({"a/A_20240501120000_C1.WAV", "a/A_20240501120100_C1.WAV",
                                         "a/A_20240501120200_C1.WAV", "b/A_20240501130000_C2.WAV",
                                         "c/A_20240501140000_C3.WAV"});
    t.Dialogs().answers = {true, true};  // rebuild, then "Cancel Parse?"
    PressCancelAtTheFirstFile(t);
    t.Click(w.cmdGetFileInfo);
    EXPECT_SEEN(t.Dialogs().questions, (std::vector<std::string>{kRebuildQuestion, "Cancel Parse?"}),
                "the questions asked");
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{"Record File = 3"},
                "the report after cancelling in folder a (its files finish, b and c are not entered)");
    EXPECT_SEEN(Relative(t.GridFiles(), calls),
                (QStringList{"a/A_20240501120000_C1.WAV", "a/A_20240501120100_C1.WAV", "a/A_20240501120200_C1.WAV"}),
                "the grid after the cancelled scan");
    QVERIFY2(!Process().IsParsing, "the scan flag is still set after the rebuild ended");
}

void MainWindow::aScanWhoseCancelIsAnsweredNoGoesOn() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    t.Recordings({"a/A_20240501120000_C1.WAV", "b/A_20240501130000_C2.WAV"});
    t.Dialogs().answers = {true, false};
    PressCancelAtTheFirstFile(t);
    t.Click(w.cmdGetFileInfo);
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{"Record File = 2"}, "the report");
}

void MainWindow::theScanWindowRefusesToCloseWhileScanning() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    t.Recordings({"a/A_20240501120000_C1.WAV", "b/A_20240501130000_C2.WAV"});
    t.Dialogs().answers = {true};
    frmParseFileProcess* scan = w.ParseFileWindow();
    bool shown = false, openAfterClose = false, openAfterEscape = false;
    QString countsAtStart;
    DuringTheScan([&] {
        shown = scan->isVisible();
        countsAtStart = scan->lblFileCount->text() + " " + scan->lblRecordFileCount->text();
        scan->close();
        openAfterClose = scan->isVisible();
        QTest::keyClick(scan, Qt::Key_Escape);
        openAfterEscape = scan->isVisible();
        return false;
    });
    t.Click(w.cmdGetFileInfo);
    QVERIFY2(shown, "the scan window was not shown during the scan");
    EXPECT_SEEN(scan->windowTitle(), QString("Process"), "the scan window's caption");
    EXPECT_SEEN(countsAtStart, QString("Count 0"), "the counts beside \"All File:\" and \"Record File:\" at start");
    QVERIFY2(openAfterClose, "the scan window closed by its frame during the scan");
    QVERIFY2(openAfterEscape, "the scan window closed by the Escape key during the scan");
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{"Record File = 2"}, "the report");
    QVERIFY2(!scan->isVisible(), "the scan window stayed open after the scan");
}

void MainWindow::aSecondRebuildIsRefusedWhileAScanRuns() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    t.Recordings({"a/A_20240501120000_C1.WAV", "b/A_20240501130000_C2.WAV"});
    w.chkSearchFileEveryTime->setChecked(true);
    t.Dialogs().answers = {true, true};
    bool buttonEnabled = true;
    DuringTheScan([&] {
        buttonEnabled = w.cmdGetFileInfo->isEnabled();
        w.RefreshFileInfo();      // as a click that slipped through would
        t.Click(w.cmdShowResult);  // searches without a second rebuild
        return false;
    });
    t.Click(w.cmdGetFileInfo);
    QVERIFY2(!buttonEnabled, "\"Refresh File Information\" could be clicked during the scan");
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{"Record File = 2"}, "the report");
    EXPECT_SEEN(t.StoredFiles().size(), 2, "recordings in the index (each stored once)");
}

void MainWindow::gridAndResultSetShareTheCurrentRow() {
    WindowUnderTest t(SixCalls());
    QTableView* view = t.Window().DataGrid1->View();
    auto set = Process().rsResult;
    const QModelIndex fourth = view->model()->index(3, 1);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(fourth).center());
    EXPECT_SEEN(set->AbsolutePosition(), 4, "the result set's record after clicking the fourth row");
    EXPECT_SEEN(set->Field("FileFullName"), std::string("/calls/c.DEC"), "the selected recording");
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_SEEN(set->AbsolutePosition(), 5, "the result set's record after the down arrow");

    set->MoveFirst();
    EXPECT_SEEN(view->currentIndex().row(), 0, "the grid's row after the set moved to its first record");
    set->MoveNext();
    set->MoveNext();
    EXPECT_SEEN(view->currentIndex().row(), 2, "the grid's row after two moves to the next record");
    QVERIFY2(view->selectionModel()->isRowSelected(2, {}), "the grid does not highlight the set's record");
    set->MoveLast();
    EXPECT_SEEN(view->currentIndex().row(), 5, "the grid's row after the set moved to its last record");
    set->MoveNext();
    EXPECT_SEEN(view->currentIndex().row(), -1, "the grid's row after the set moved past its last record");
}

void MainWindow::columnsAfterARebuildAreReadableAndThePathTakesTheSpareWidth() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    const fs::path calls = t.Recordings({"A_20240501120000_C5.WAV", "b/A_20240502101010_C12.VC8"});
    t.Dialogs().answers = {true};
    t.Click(w.cmdGetFileInfo);
    QApplication::processEvents();
    EXPECT_SEEN(ColumnFault(w), QString(), "the columns after the rebuild");
    const int file = ColumnHeaded(w, "FileFullName");
    EXPECT_SEEN(w.DataGrid1->View()->model()->index(0, file).data(Qt::ToolTipRole).toString(),
                QString::fromStdString((calls / "A_20240501120000_C5.WAV").string()), "the path cell's tool tip");
    w.resize(w.width() + 200, w.height());
    QApplication::processEvents();
    EXPECT_SEEN(ColumnFault(w), QString(), "the columns with the window 200 px wider");
    t.Click(w.cmdShowResult);
    QApplication::processEvents();
    EXPECT_SEEN(ColumnFault(w), QString(), "the columns after a search");
}

void MainWindow::clickingAHeadingSortsTheResultSetThePlayerWalks() {
    std::vector<RecordInfo> calls = SixCalls();
    calls.push_back(Row("/calls/g.VC8", "2024-05-05 07:00:00", "0003", "0", "100:00:00", "IN"));
    calls.push_back(Row("/calls/h.WAV", "2024-05-05 08:00:00", "0012", "5", "20:00:00", "OUT"));
    WindowUnderTest t(calls);
    frmMain& w = t.Window();
    QHeaderView* header = w.DataGrid1->View()->horizontalHeader();
    const QStringList shortestFirst{"/calls/a.WAV", "/calls/d.NTC", "/calls/c.DEC", "/calls/b.VC8",
                                    "/calls/f.WAV", "/calls/e.WAV", "/calls/h.WAV", "/calls/g.VC8"};
    ClickHeading(w, "RecordDuration");
    EXPECT_SEEN(t.GridFiles(), shortestFirst, "the grid after clicking the RecordDuration heading");
    EXPECT_SEEN(PlayOrder(), shortestFirst, "the order playing walks after clicking the RecordDuration heading");
    EXPECT_SEEN(header->sortIndicatorSection(), ColumnHeaded(w, "RecordDuration"), "the heading showing the order");

    ClickHeading(w, "RecordDuration");
    const QStringList longestFirst(shortestFirst.rbegin(), shortestFirst.rend());
    EXPECT_SEEN(t.GridFiles(), longestFirst, "the grid after clicking the RecordDuration heading again");
    EXPECT_SEEN(PlayOrder(), longestFirst, "the order playing walks after the second click");
    EXPECT_SEEN(header->sortIndicatorOrder(), Qt::DescendingOrder, "the arrow on the heading after a second click");

    w.cmbChannelNo->setCurrentIndex(3);
    t.Click(w.cmdShowResult);
    const QStringList channel3LongestFirst{"/calls/g.VC8", "/calls/e.WAV", "/calls/b.VC8", "/calls/a.WAV"};
    EXPECT_SEEN(t.GridFiles(), channel3LongestFirst, "the grid after \"Show Result\" (the heading's order kept)");
    EXPECT_SEEN(PlayOrder(), channel3LongestFirst, "the order playing walks after \"Show Result\"");
    EXPECT_SEEN(header->sortIndicatorSection(), ColumnHeaded(w, "RecordDuration"),
                "the heading showing the order after a new search");
    t.Click(w.cmdRefreshRecord);
    EXPECT_SEEN(t.GridFiles(), longestFirst, "the grid after \"Refresh Recordset\" (the heading's order kept)");
    t.Click(w.cmdShowResult);
    ClickHeading(w, "CallNumber");
    EXPECT_SEEN(PlayOrder(), (QStringList{"/calls/g.VC8", "/calls/a.WAV", "/calls/b.VC8", "/calls/e.WAV"}),
                "channel 003 by the CallNumber heading (numbers as text: 0, 12345671, 5551234, 777)");
    w.txtNumber->setText("order by");  // a text to search for, not a clause
    t.Click(w.cmdShowResult);
    ClickHeading(w, "RecordChannel");
    EXPECT_SEEN(t.GridFiles(), QStringList{}, "the search for the number \"order by\" after a heading's click");
    EXPECT_SEEN(t.Staged().LogMessages(), std::vector<std::string>{"Player Startup!"}, "the run log after sorting");
}

void MainWindow::aDeletedRowLeavesTheGrid() {
    WindowUnderTest t(SixCalls());
    auto set = Process().rsResult;
    set->SetAbsolutePosition(2);
    set->Delete();
    EXPECT_SEEN(t.GridFiles(), (QStringList{"/calls/a.WAV", "/calls/e.WAV", "/calls/c.DEC", "/calls/d.NTC",
                                            "/calls/f.WAV"}),
                "the grid after the second recording was deleted");
    EXPECT_SEEN(t.Window().stbPlayerPanel2->text(), QString("5 calls"), "the status bar's second panel after it");
    set->MovePrevious();
    set->MoveNext();
    EXPECT_SEEN(t.Window().DataGrid1->View()->currentIndex().row(), 1,
                "the grid's row after stepping back and on from the deleted row");
}

void MainWindow::closingAnsweredNoKeepsTheWindowOpen() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    t.Dialogs().answers = {false, false};
    w.close();
    t.Click(w.cmdByeBye);
    EXPECT_SEEN(t.Dialogs().questions, (std::vector<std::string>{"Exit Player?", "Exit Player?"}),
                "the questions asked by the frame's close and by \"Exit Player\"");
    QVERIFY2(t.Dialogs().questionIcons == std::vector<bool>({true, true}), "\"Exit Player?\" lacks the question icon");
    QVERIFY2(w.isVisible(), "the window closed though the answer was No");
    QVERIFY2(Process().PlayerConnection && Process().PlayerConnection->IsOpen(), "the record index was closed");
    t.Click(w.cmdRefreshRecord);
    EXPECT_SEEN(t.GridFiles(), kSixInOrder, "the grid after declining to exit");
}

void MainWindow::closingAnsweredYesEndsThePlayer() {
    WindowUnderTest t(SixCalls());
    frmMain& w = t.Window();
    t.Dialogs().answers = {true};
    t.Click(w.cmdByeBye);
    QVERIFY2(!w.isVisible(), "the window stayed open after Yes");
    QVERIFY2(!Process().PlayerConnection || !Process().PlayerConnection->IsOpen(),
             "the record index stayed open after the player ended");
    EXPECT_SEEN(t.Dialogs().questions, std::vector<std::string>{"Exit Player?"}, "the questions asked");
}

void MainWindow::closingDuringAScanEndsItWithoutAnotherMessage() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    t.Recordings({"a/A_20240501120000_C1.WAV", "a/A_20240501120100_C1.WAV", "b/A_20240501130000_C2.WAV"});
    t.Dialogs().answers = {true, true};  // rebuild, then "Exit Player?"
    DuringTheScan([&] {
        if (w.ParseFileWindow()->FileCount < 1) return true;
        w.close();
        return false;
    });
    t.Click(w.cmdGetFileInfo);
    QVERIFY2(!w.isVisible(), "the window stayed open after Yes during the scan");
    QVERIFY2(!w.ParseFileWindow()->isVisible(), "the scan window stayed open after the player ended");
    EXPECT_SEEN(t.Dialogs().informations, std::vector<std::string>{}, "messages shown after the player ended");
    QVERIFY2(!Process().PlayerConnection || !Process().PlayerConnection->IsOpen(),
             "the record index stayed open after the player ended");
    for (const std::string& line : t.Staged().LogMessages())
        QVERIFY2(line.rfind("!", 0) != 0, qPrintable("an error was logged while the player ended: " +
                                                     QString::fromStdString(line)));
}

void MainWindow::getWaveFileExportsTheSelectedRecordingOrLogsWhyNot() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    const fs::path calls = t.Folder("calls");
    std::ofstream(calls / "a.WAV", std::ios::binary) << "RIFF-recorded";
    std::ofstream(calls / "b.XYZ", std::ios::binary) << "?";
    InsertFileInfo(Row((calls / "a.WAV").string(), "2024-05-01 12:00:00", "0001", "1", "00:00:01", "IN"));
    InsertFileInfo(Row((calls / "b.XYZ").string(), "2024-05-01 12:00:01", "0001", "2", "00:00:01", "IN"));
    t.Click(w.cmdRefreshRecord);
    QVERIFY2(w.cmdGetWaveFile->isEnabled(), "\"Get Wave File\" cannot be clicked");

    t.Dialogs().fileAnswer = (calls / "export.wav").string();
    t.Click(w.cmdGetWaveFile);
    std::ifstream exported(calls / "export.wav", std::ios::binary);
    EXPECT_SEEN(std::string(std::istreambuf_iterator<char>(exported), {}), std::string("RIFF-recorded"),
                "the exported WAV file");

    Process().rsResult->MoveNext();
    t.Dialogs().fileAnswer = (calls / "unknown.wav").string();
    t.Click(w.cmdGetWaveFile);
    t.Dialogs().fileAnswer.clear();  // cancelled
    t.Click(w.cmdGetWaveFile);
    const auto log = t.Staged().LogMessages();
    EXPECT_SEEN(std::vector<std::string>(log.end() - 2, log.end()),
                (std::vector<std::string>{"ConvertFile File [" + (calls / "b.XYZ").string() + "] To [" +
                                              (calls / "unknown.wav").string() + "] Error!",
                                          "1 failed: see the run log"}),
                "the last run-log lines");
    EXPECT_SEEN(t.Dialogs().asked.back(), std::string("Get Wave File"), "the file dialog's title");
}

void MainWindow::closingDuringAConversionStopsIt() {
    WindowUnderTest t;
    frmMain& w = t.Window();
    for (const char* library : {"VelkCodec.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
        t.Staged().StageLibrary(library);
    const fs::path calls = t.Folder("calls");
    std::ofstream(calls / "call.NTC", std::ios::binary) << std::string(20 * 180000, '\x5a');  // an hour of G.729
    InsertFileInfo(Row((calls / "call.NTC").string(), "2024-05-01 12:00:00", "0001", "1", "01:00:00", "IN"));
    t.Click(w.cmdRefreshRecord);
    t.Dialogs().fileAnswer = (calls / "call.wav").string();
    t.Dialogs().answers = {true};  // "Exit Player?"
    bool closed = false, buttonEnabled = true;
    Process().PumpEvents = [&] {
        if (closed || !Process().IsConverting) return;
        closed = true;
        buttonEnabled = w.cmdGetWaveFile->isEnabled();
        w.close();
    };
    const auto t0 = std::chrono::steady_clock::now();
    t.Click(w.cmdGetWaveFile);
    QVERIFY2(closed, "the conversion never let window events run");
    QVERIFY2(!buttonEnabled, "\"Get Wave File\" could be clicked during the conversion");
    QVERIFY2(!w.isVisible(), "the window stayed open after Yes during the conversion");
    QVERIFY2(!Process().IsConverting, "the conversion was not finished by the close");
    QVERIFY2(std::chrono::steady_clock::now() - t0 < std::chrono::seconds(10), "the close waited out the conversion");
    QVERIFY2(fs::file_size(calls / "call.wav") < 58 + 160 * (180000 - 1),
             "the conversion ran to its end after the close: it was not stopped");
}

int main(int argc, char** argv) { return player::window_testing::RunWindowTests<MainWindow>(argc, argv); }

#include "frm_main_test.moc"
