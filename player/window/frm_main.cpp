// The main window's behaviour: see frm_main.h. Its controls and their
// layout are built in frm_main_controls.cpp.
#include "frm_main.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>

#include "date_range.h"
#include "picker_typing.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/convert/convert_file.h"
#include "player/core/text.h"
#include "player/core/files/export_name.h"
#include "player/core/files/export_report.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/record_scan.h"
#include "player/core/notes/notes_store.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "player/core/index/statement_order.h"

namespace player {
namespace {

constexpr const char* kRebuildQuestion =
    "the operation will rebuild the temperory data,click 'yes' to go on or 'no' to cancel.";

QString Q(const std::string& s) { return QString::fromStdString(s); }

QDate ToDate(const LocalTime& t) { return QDate(t.year, t.month, t.day); }
QTime ToTime(const LocalTime& t) { return QTime(t.hour, t.minute, t.second); }
LocalTime ToLocal(const QDate& d, const QTime& t) {
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

bool IsEnter(const QKeyEvent& key) { return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter; }

// A character typed as text (a letter, a digit, a sign), as opposed to a
// key that picks an entry (arrows, Page keys, Home/End, Alt+Down, F4, Space).
bool IsTypedCharacter(const QKeyEvent& key) {
    const QString text = key.text();
    return !text.isEmpty() && key.key() != Qt::Key_Space &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    BuildControls();
    parseFileWindow_ = new frmParseFileProcess(this);
    convertWindow_ = new frmConvertProcess(this);
    Process().StatusBarEcho = [this](const std::string& line) { stbPlayerPanel1->setText(Q(line)); };
    // Enter in these runs "Show Result"; the lists (and their open popups) drop typed characters.
    for (QWidget* field : std::initializer_list<QWidget*>{txtNumber, dtpStartDate, dtpStartTime, dtpEndDate,
                                                          dtpEndTime, cmbChannelNo, cmbCompare, dtpDuration})
        field->installEventFilter(this);
    for (QComboBox* list : {cmbChannelNo, cmbCompare}) list->view()->installEventFilter(this);
    auto* typing = new PickerTyping(this);
    for (QDateTimeEdit* picker : std::initializer_list<QDateTimeEdit*>{dtpStartDate, dtpStartTime, dtpEndDate,
                                                                       dtpEndTime, dtpDuration})
        typing->Watch(picker);
    // "Today" is read when the range is chosen: the window may stay open past midnight.
    const auto ranges = DateRanges(ToDate(Process().Now()));
    for (std::size_t i = 0; i < ranges.size(); ++i)
        cmdRange->menu()->addAction(ranges[i].caption, this, [this, i] {
            const DateRange range = DateRanges(ToDate(Process().Now()))[i];
            SetRange(range.first, range.last);
        });
    DataGrid1->HeadingClicked = [this](int column) { OnHeadingClicked(column); };
    const QAbstractItemModel* rows = DataGrid1->Model();
    connect(rows, &QAbstractItemModel::modelReset, stbPlayerPanel2, [this] { ShowCallCount(); });
    connect(rows, &QAbstractItemModel::rowsRemoved, stbPlayerPanel2, [this] { ShowCallCount(); });
    // The commands on the current row follow it (framConditions holds them, and outlives no signal of the grid).
    connect(rows, &QAbstractItemModel::modelReset, framConditions, [this] { EnableCommands(); });
    connect(rows, &QAbstractItemModel::rowsRemoved, framConditions, [this] { EnableCommands(); });
    connect(DataGrid1->View()->selectionModel(), &QItemSelectionModel::currentRowChanged, framConditions,
            [this] { EnableCommands(); });
    ConnectNotes();
    exportFolder_ = QDir::homePath().toStdString();
    connect(cmdShowResult, &QPushButton::clicked, this, &frmMain::OnShowResult);
    connect(cmdRefreshRecord, &QPushButton::clicked, this, &frmMain::OnRefreshRecordset);
    connect(cmdGetFileInfo, &QPushButton::clicked, this, &frmMain::OnRefreshFileInformation);
    connect(cmdByeBye, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdGetWaveFile, &QPushButton::clicked, this, &frmMain::OnGetWaveFile);
    Process().ShowConvertProgress = [this](int percent) { ShowConversion(percent); };
    ConnectPlayer();
    ConnectFiles();
    Load();
}

frmMain::~frmMain() {
    PlayerProcess& p = Process();
    p.StatusBarEcho = nullptr;
    p.ShowConvertProgress = nullptr;
    p.ShowPlayerBlock = nullptr;
    p.ConvertingChanged = nullptr;
}

void frmMain::Load() {
    InitMainForm();
    ShowAllRecord();
    SetGridMainWidth();
    WriteRunLog("Player Startup!");
}

void frmMain::InitMainForm() {
    const SearchConditions c = InitMainFormConditions(Process().Now(), Process().MainFolder.str());
    cmbChannelNo->clear();
    for (const std::string& entry : ChannelListEntries()) cmbChannelNo->addItem(Q(entry));
    cmbChannelNo->setCurrentIndex(c.channelIndex);
    chkCallIn->setChecked(c.callIn);
    chkCallOut->setChecked(c.callOut);
    dtpStartDate->setDate(ToDate(c.start));
    dtpStartTime->setTime(ToTime(c.start));
    dtpEndDate->setDate(ToDate(c.end));
    dtpEndTime->setTime(ToTime(c.end));
    txtNumber->setText(Q(c.number));
    txtTime->setText("00:00:00");
    sldDuration->setValue(0);
    cmbCompare->clear();
    for (const std::string& entry : CompareListEntries()) cmbCompare->addItem(Q(entry));
    cmbCompare->setCurrentIndex(c.compareIndex);
    dtpDuration->setTime(ToTime(c.duration));
    pbConvert->setRange(0, 100);
    pbConvert->setValue(0);  // empty while nothing converts
    lblTotalDuration->setText("00:00:00");
    setWindowTitle(QString(kProgramTitle) + " " + kProgramVersion);
    txtMainFolderPath->setText(Q(c.mainFolder));
}

SearchConditions frmMain::Conditions() const {
    SearchConditions c;
    c.start = ToLocal(dtpStartDate->date(), dtpStartTime->time());
    c.end = ToLocal(dtpEndDate->date(), dtpEndTime->time());
    c.channelIndex = cmbChannelNo->currentIndex();
    c.number = txtNumber->text().toStdString();
    c.compareIndex = cmbCompare->currentIndex();
    const QTime duration = dtpDuration->time();
    c.duration.hour = duration.hour();
    c.duration.minute = duration.minute();
    c.duration.second = duration.second();
    c.callIn = chkCallIn->isChecked();
    c.callOut = chkCallOut->isChecked();
    c.mainFolder = txtMainFolderPath->text().toStdString();
    c.tag = cmbTag->currentText().toStdString();
    c.noteWords = txtNoteWords->text().toStdString();
    return c;
}

std::string frmMain::MakeCondition() const { return player::MakeCondition(Conditions()); }

// "Range": the first day from 00:00:00 to the last day's 23:59:59.
void frmMain::SetRange(const QDate& first, const QDate& last) {
    dtpStartDate->setDate(first);
    dtpStartTime->setTime(QTime(0, 0, 0));
    dtpEndDate->setDate(last);
    dtpEndTime->setTime(QTime(23, 59, 59));
}

// A new search (and "Refresh Recordset", and the rebuild's list) comes in
// the order the operator chose by a heading, if any.
void frmMain::ShowResult(const std::string& sql) {
    resultStatement_ = sql;
    BindResult(sql, "!ShowResult ", false);
}

void frmMain::ShowAllRecord() {
    resultStatement_ = kShowAllRecordStatement;
    BindResult(kShowAllRecordStatement, "!ShowAllRecord ", true);
}

// The heading's column first, then the other way round on a second click.
void frmMain::OnHeadingClicked(int column) {
    if (walking_ || resultStatement_.empty() || column < 0 || column >= DataGrid1->Columns() ||
        column == DataGrid1->Model()->MarksColumn())
        return;
    const std::string name = DataGrid1->Model()->headerData(column, Qt::Horizontal).toString().toStdString();
    sortDescending_ = name == sortHeading_ && !sortDescending_;
    sortHeading_ = name;
    BindResult(resultStatement_, "!ShowResult ", false);
}

// Runs the statement in the heading's order, makes its set rsResult and
// binds the grid to it.
void frmMain::BindResult(const std::string& statement, const char* trapName, bool moveFirst) {
    const std::string sql = sortHeading_.empty() ? statement : OrderedBy(statement, sortHeading_, sortDescending_);
    try {
        auto set = GetRecordset(sql);
        // The site's server out of reach: the operator is told at each
        // search, in words that never hold its connection line.
        if (const std::string why = IndexServerUnreachable(); !set->IsOpen() && !why.empty() && !unreachableTold_)
            Process().dialogs->Information(why);
        if (moveFirst && set->IsOpen() && set->RecordCount() > 0) set->MoveFirst();
        Process().rsResult = std::move(set);
        DataGrid1->SetDataSource(Process().rsResult);
        DataGrid1->Refresh();
    } catch (const std::exception& e) {
        WriteRunLog(trapName + Describe(e));
    }
    int sorted = -1;
    for (int column = 0; column < DataGrid1->Columns(); ++column)
        if (DataGrid1->Model()->headerData(column, Qt::Horizontal).toString().toStdString() == sortHeading_)
            sorted = column;
    DataGrid1->ShowSortOrder(sorted, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void frmMain::ShowCallCount() {
    stbPlayerPanel2->setText(QString("%1 calls").arg(DataGrid1->Model()->rowCount()));
}

std::int32_t frmMain::RefreshFileInfo() { return Rebuild().value_or(0); }

// The rows the rebuild committed; nothing when it was refused or failed.
// A rebuild that fails leaves the index as it was: the operator is told
// why (RebuildError's text is written for the operator) and the grid shows
// that index again.
std::optional<std::int32_t> frmMain::Rebuild() {
    if (rebuilding_) return std::nullopt;
    rebuilding_ = true;
    cmdGetFileInfo->setEnabled(false);
    EnableCommands();
    std::optional<std::int32_t> count;
    try {
        parseFileWindow_->Show();
        CloseRst(Process().rsResult);
        DataGrid1->SetDataSource(Process().rsResult);
        DataGrid1->Refresh();
        count = RebuildRecordIndex(txtMainFolderPath->text().toStdString());
        parseFileWindow_->Unload();
    } catch (const std::exception& e) {
        WriteRunLog("!RefreshFileInfo " + Describe(e));
        Process().IsParsing = false;
        parseFileWindow_->Unload();
        // An empty scan the operator declined needs no message.
        if (!exited_ && dynamic_cast<const RebuildError*>(&e) && !dynamic_cast<const EmptyScanRefused*>(&e)) {
            Process().dialogs->Information(e.what());
            unreachableTold_ = !IndexServerUnreachable().empty();
        }
    }
    if (!exited_) ShowAllRecord();
    unreachableTold_ = false;
    rebuilding_ = false;
    cmdGetFileInfo->setEnabled(true);
    if (!exited_) EnableCommands();
    if (closeAccessPending_) {
        closeAccessPending_ = false;
        CloseAccess();
    }
    return count;
}

void frmMain::SetGridMainWidth() {
    if (DataGrid1->Columns() != 5) return;
    const int twips[] = {1410, 2009, 1770, 1530, 4680};
    for (int column = 0; column < 5; ++column) DataGrid1->SetColumnWidthTwips(column, twips[column]);
}

void frmMain::OnShowResult() {
    if (chkSearchFileEveryTime->isChecked()) {
        RefreshFileInfo();
        if (exited_) return;
    }
    ShowResult(MakeCondition());
}

void frmMain::OnRefreshRecordset() { ShowAllRecord(); }

void frmMain::OnRefreshFileInformation() {
    if (rebuilding_ || !Process().dialogs->Question(kRebuildQuestion, false)) return;
    const std::optional<std::int32_t> count = Rebuild();
    if (exited_ || !count) return;
    const std::int64_t orphaned = Process().OrphanedNotes;
    Process().dialogs->Information("Record File = " + std::to_string(*count) +
                                   (orphaned ? "\n" + OrphanedNotesText(orphaned) : std::string()));
}

// "Get Wave File": the current row's recording, converted into a WAV file
// the operator names, offered as the row's export name in the folder the
// last export went to. While it converts, the command is disabled (and
// ConvertFile refuses a second conversion anyway): see EnableCommands.
void frmMain::OnGetWaveFile() {
    try {
        const auto& set = Process().rsResult;
        const std::string source = set && set->IsOpen() && set->RecordCount() > 0 ? set->Field("FileFullName") : "";
        std::set<std::string> none;
        const std::string folder = ExportFolder(exportFolder_);
        const std::string offered = source.empty() ? folder : ExportTargetName(folder, text::Trim(source), none);
        const std::string target =
            Process().dialogs->PickFile(this, "Get Wave File", offered, "(*.wav)|*.wav|(*.*)|*.*", "wav");
        if (target.empty() || source.empty()) return;
        exportFolder_ = std::filesystem::path(target).parent_path().string();
        RequireAudit("export");
        ConvertFile(source, target);
        std::error_code ec;
        bool written = std::filesystem::exists(target, ec);
        if (!written) WriteRunLog("ConvertFile File [" + source + "] To [" + target + "] Error!");
        if (!Audit("get-wave-file", AuditRowFor(source), target, written ? "ok" : "failed: no WAV file was written") &&
            written)
            written = !RemoveUnrecordedExport(target);
        WriteRunLog(ExportReport({.saved = written ? 1 : 0, .failed = written ? 0 : 1, .where = target}));
    } catch (const std::exception& e) {
        const std::string line = "!GetWaveFile " + Describe(e);
        WriteRunLog(line);
        Process().dialogs->Information(line);
    }
}

void frmMain::ExitPlayer() {
    PlayerProcess& p = Process();
    p.IsParsing = false;
    p.IsBatchConverting = false;  // a batch on the stack starts no further file
    p.IsExiting = true;
    StopPlay();
    if (p.IsConverting) FinishConvert();  // the wait of ConvertFile on the stack then ends
    parseFileWindow_->Unload();
    convertWindow_->Unload();
    exited_ = true;
    close();  // inside the close request that asked, this is that close
    if (rebuilding_)
        closeAccessPending_ = true;  // the scan on the stack still stores its current folders
    else
        CloseAccess();
}

void frmMain::ExitWithoutQuestion() {
    if (!exited_) ExitPlayer();
    QCoreApplication::exit(0);  // every event loop, a message box's too
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!exited_) {
        if (!Process().dialogs->Question("Exit Player?") || !NotesSavedOrGivenUp()) {
            event->ignore();
            return;
        }
        ExitPlayer();
    }
    event->accept();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == sldDuration) return SliderMouse(event) || QMainWindow::eventFilter(watched, event);
    if (watched == txtTime) {  // its Enter seeks (SeekTypedTime)
        if (event->type() == QEvent::FocusOut) DrawPlayerBlock();
        return QMainWindow::eventFilter(watched, event);
    }
    if (event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    const auto& key = *static_cast<QKeyEvent*>(event);
    if (watched == DataGrid1->View()) return PlayerKey(key) || QMainWindow::eventFilter(watched, event);
    const bool list = watched == cmbChannelNo || watched == cmbCompare;
    const bool popup = watched == cmbChannelNo->view() || watched == cmbCompare->view();
    if ((list || popup) && IsTypedCharacter(key)) return true;
    // A picker's own Tab walks its date and time parts; the arrows do that, Tab goes to the next field.
    if (qobject_cast<QDateTimeEdit*>(watched) && (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab)) {
        focusNextPrevChild(key.key() == Qt::Key_Tab);
        return true;
    }
    if (!popup && IsEnter(key)) {  // in an open popup, Enter picks the entry
        if (auto* picker = qobject_cast<QAbstractSpinBox*>(watched)) picker->interpretText();
        cmdShowResult->click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace player
