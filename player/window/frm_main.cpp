// The main window's behaviour: see frm_main.h. Its controls and their
// layout are built in frm_main_controls.cpp.
#include "frm_main.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include <exception>
#include <string>

#include "platform/sqlstore/recordset.h"
#include "player/core/process_state.h"
#include "player/core/record_database.h"
#include "player/core/record_rebuild.h"
#include "player/core/record_scan.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"

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

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    BuildControls();
    parseFileWindow_ = new frmParseFileProcess(this);
    Process().StatusBarEcho = [this](const std::string& line) { stbPlayerPanel1->setText(Q(line)); };
    for (QComboBox* list : {cmbChannelNo, cmbCompare}) list->installEventFilter(this);
    connect(cmdShowResult, &QPushButton::clicked, this, &frmMain::OnShowResult);
    connect(cmdRefreshRecord, &QPushButton::clicked, this, &frmMain::OnRefreshRecordset);
    connect(cmdGetFileInfo, &QPushButton::clicked, this, &frmMain::OnRefreshFileInformation);
    connect(cmdByeBye, &QPushButton::clicked, this, &QWidget::close);
    Load();
}

frmMain::~frmMain() { Process().StatusBarEcho = nullptr; }

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
    pbConvert->setValue(100);
    lblTotalDuration->setText("00:00:00");
    setWindowTitle(windowTitle() + " " + kProgramVersion);
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
    return c;
}

std::string frmMain::MakeCondition() const { return player::MakeCondition(Conditions()); }

void frmMain::ShowResult(const std::string& sql) {
    try {
        Process().rsResult = GetRecordset(sql);
        DataGrid1->SetDataSource(Process().rsResult);
        DataGrid1->Refresh();
    } catch (const std::exception& e) {
        WriteRunLog("!ShowResult " + Describe(e));
    }
}

void frmMain::ShowAllRecord() {
    try {
        auto set = GetRecordset(kShowAllRecordStatement);
        if (set->IsOpen() && set->RecordCount() > 0) set->MoveFirst();
        Process().rsResult = std::move(set);
        DataGrid1->SetDataSource(Process().rsResult);
        DataGrid1->Refresh();
    } catch (const std::exception& e) {
        WriteRunLog("!ShowAllRecord " + Describe(e));
    }
}

std::int32_t frmMain::RefreshFileInfo() {
    if (rebuilding_) return 0;
    rebuilding_ = true;
    cmdGetFileInfo->setEnabled(false);
    std::int32_t count = 0;
    try {
        parseFileWindow_->Show();
        CloseRst(Process().rsResult);
        DataGrid1->SetDataSource(Process().rsResult);
        DataGrid1->Refresh();
        count = RebuildRecordIndex(txtMainFolderPath->text().toStdString());
        parseFileWindow_->Unload();
        if (!exited_) ShowAllRecord();
    } catch (const std::exception& e) {
        WriteRunLog("!RefreshFileInfo " + Describe(e));
        Process().IsParsing = false;
        parseFileWindow_->Unload();
        count = 0;
    }
    rebuilding_ = false;
    cmdGetFileInfo->setEnabled(true);
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
    const std::int32_t count = RefreshFileInfo();
    if (exited_) return;
    Process().dialogs->Information("Record File = " + std::to_string(count));
}

void frmMain::ExitPlayer() {
    PlayerProcess& p = Process();
    p.IsParsing = false;
    // Stopping playback and a running conversion join here with the player
    // block and the conversion, which this window does not drive yet.
    parseFileWindow_->Unload();
    exited_ = true;
    close();  // inside the close request that asked, this is that close
    if (rebuilding_)
        closeAccessPending_ = true;  // the scan on the stack still stores its current folders
    else
        CloseAccess();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!exited_) {
        if (!Process().dialogs->Question("Exit Player?")) {
            event->ignore();
            return;
        }
        ExitPlayer();
    }
    event->accept();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == cmbChannelNo || watched == cmbCompare) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        return key != Qt::Key_Tab && key != Qt::Key_Backtab;  // focus may still move on
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace player
