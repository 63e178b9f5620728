// player/window: the main window, frmMain.
//
// The whole user interface of the player: the "Conditions" block (time
// range, channel, number, duration, directions, the main folder and the
// commands), the result grid DataGrid1 bound to rsResult, the player block
// captioned "CallDeck", and the status bar stbPlayer whose first panel
// shows the last run-log line and whose second the rows found ("n calls").
//
// The window only wires controls to the core. Its conditions are read into
// a SearchConditions and MakeCondition (player/core/index/search_conditions.h)
// builds the statement; a rebuild of the record table runs the core's
// RebuildRecordIndex while the scan window counts; message boxes go through
// the dialog seam, so tests answer them. Constructing the window runs its
// load: InitMainForm, ShowAllRecord, SetGridMainWidth and the run-log line
// "Player Startup!".
//
// Long work lets window events run, so a click can arrive while a rebuild
// scans. A second rebuild is refused meanwhile ("Refresh File Information"
// is disabled and RefreshFileInfo returns at once): two interleaved scans
// would clear the table under each other and store recordings twice. A
// close answered Yes during a scan ends it as the shutdown says; the
// rebuild then closes the database once its scan has wound down, and shows
// neither the grid nor a message for a window that is gone. A rebuild
// that fails leaves the index as it was: its message is shown, the grid
// shows that index again, and no "Record File = " report follows.
//
// A click on a heading of the grid sorts the result by asking the database
// again: the statement of the current result set, with that column's
// order clause in place of its own, through the same path as a search, so
// the result set's order (the play list's) is the order on the screen. A
// second click on the same heading reverses the order. The order chosen
// by a heading stays for every later list ("Show Result", "Refresh
// Recordset", a rebuild's) until another heading is clicked.
//
// The keyboard: Enter in the number box, a picker or a closed list runs
// "Show Result". The channel and compare lists are picked from, never
// typed into: typed characters are dropped, every key that picks an entry
// works. A whole date or time typed over a picker's selected value
// replaces it, and F4 or Alt+Down opens a date's calendar
// (picker_typing.h); "Range" beside the dates fills both ends with Today,
// Yesterday, Last 7 days or This month (date_range.h). Tab leaves the
// grid and a picker at once (the arrows walk a picker's parts) and passes
// over the play time.
//
// "Get Wave File" exports the current row's recording through the core's
// ConvertFile, with pbConvert following the conversion; closing during it
// stops the converter (FinishConvert). Its file dialog opens in the folder
// the last export went to (the home folder at first) with the row's export
// name filled in; like "Pickup All" it ends with a line in the status bar
// (export_report.h).
//
// The player block drives the core's playback (player/core/playback/playback.h):
// the buttons call its procedures, Timer1 calls its Tick every 100 ms from
// the window's start to its end, and the block draws what playback leaves
// in the process state (ShowPlayerBlock). While a conversion runs and
// nothing plays, the block shows "Converting…" with its progress instead
// of the last recording's times; pbConvert is empty while nothing
// converts. Pressing the mouse on the slider holds the count while the
// handle is dragged (a click on the groove puts the handle there), and the
// play time shows where the handle is; releasing it seeks. While a
// recording plays, a time typed into the play time ("1:05", "00:01:05")
// and Enter seek there; while nothing plays, the play time takes no focus
// and shows the slider's position. The row being played is drawn bold
// with the play mark (the pause mark while paused); the grid's columns
// leave room for that. While any conversion runs, the commands that would
// start another one (play, "Play Select File", Previous, Next, "Get Wave
// File") are disabled, and so they are during a rebuild, whose list is not
// the play list.
//
// Keys beyond the buttons: Space plays or pauses, Left and Right jump ten
// seconds back and on, Ctrl+Left and Ctrl+Right play the previous and the
// next row, Enter (or a double click) on the grid plays its row. A field
// that uses a key itself (text boxes, pickers, buttons, check boxes) keeps
// it.
//
// The file commands (frm_main_files.cpp) wire the core's: "Pickup All"
// exports every row as WAV with the progress window frmConvertProcess
// (player/core/files/pick_up_all.h), "Delete" and "DeleteAll" delete recordings
// with their rows (player/core/files/delete_files.h), ".." picks the main folder
// into its box without storing it. "Pickup All" and "DeleteAll" walk the
// result list while window events run; meanwhile every command that would
// move, replace or delete its rows (searching, sorting, rebuilding,
// playing, the file commands) is disabled, and the file commands are
// disabled during any conversion and rebuild as well. A close answered
// Yes during a batch ends it after the file being converted, whose
// converter it stops; during "DeleteAll" the walk ends at its next row.
// The commands on the current row ("Play Select File", "Get Wave File",
// "Delete") are disabled while the grid has none.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>

#include <cstdint>
#include <optional>
#include <string>

#include "data_grid.h"
#include "frm_convert_process.h"
#include "frm_parse_file_process.h"
#include "player/core/index/search_conditions.h"

namespace player {

// The version the title bar shows after the program's title.
inline constexpr const char* kProgramVersion = "1.00A08";

class frmMain : public QMainWindow {
public:
    // Builds the window and runs its load.
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    void InitMainForm();
    SearchConditions Conditions() const;
    std::string MakeCondition() const;
    void ShowResult(const std::string& sql);
    void ShowAllRecord();
    std::int32_t RefreshFileInfo();
    void SetGridMainWidth();
    void ExitPlayer();
    // Ends the player as "Exit Player" answered Yes does, without asking
    // (a signal from outside); a message box open meanwhile is left.
    void ExitWithoutQuestion();
    void PlayCurrent();
    void PlayNext();
    void PlayPrevious();

    frmParseFileProcess* ParseFileWindow() const { return parseFileWindow_; }
    frmConvertProcess* ConvertWindow() const { return convertWindow_; }

    // Conditions
    QGroupBox* framConditions;
    QDateEdit* dtpStartDate;
    QTimeEdit* dtpStartTime;
    QDateEdit* dtpEndDate;
    QTimeEdit* dtpEndTime;
    QComboBox* cmbChannelNo;
    QLineEdit* txtNumber;
    QComboBox* cmbCompare;
    QTimeEdit* dtpDuration;
    QCheckBox* chkCallIn;
    QCheckBox* chkCallOut;
    QCheckBox* chkSearchFileEveryTime;
    QLineEdit* txtMainFolderPath;
    QPushButton* cmdChooseMainFolder;
    QPushButton* cmdShowResult;
    QPushButton* cmdRefreshRecord;
    QPushButton* cmdGetFileInfo;
    QPushButton* cmdByeBye;
    QPushButton* cmdRange;
    QPushButton* cmdGetWaveFile;
    QPushButton* cmdPickUpAll;
    QPushButton* cmdDelFile;
    QPushButton* cmdDelAllFile;
    QPushButton* cmdPlayRecordFile;
    QProgressBar* pbConvert;
    // Player block
    QGroupBox* framPlayer;
    QToolButton* cmdPlay;
    QToolButton* cmdPause;
    QToolButton* CmdStop;
    QToolButton* cmdBackward;
    QToolButton* cmdForeward;
    QPushButton* cmdPlayPrevious;
    QPushButton* cmdPlayNext;
    QCheckBox* chkAutoPlayNext;
    QSlider* sldDuration;
    QLineEdit* txtTime;
    QLabel* lblTotalDuration;
    QTimer* Timer1;
    // Results and status
    DataGrid* DataGrid1;
    QStatusBar* stbPlayer;
    QLabel* stbPlayerPanel1;
    QLabel* stbPlayerPanel2;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void Load();
    void SetRange(const QDate& first, const QDate& last);
    void OnShowResult();
    void OnRefreshRecordset();
    void OnRefreshFileInformation();
    void OnGetWaveFile();
    void ConnectFiles();
    void OnPickUpAll();
    void OnDelFile();
    void OnDelAllFile();
    void OnChooseMainFolder();
    std::optional<std::int32_t> Rebuild();
    void OnHeadingClicked(int column);
    void BindResult(const std::string& statement, const char* trapName, bool moveFirst);
    void ShowCallCount();
    void ConnectPlayer();
    void DrawPlayerBlock();
    void ShowConversion(int percent);
    void SeekTypedTime();
    void EnableCommands();
    bool PlayerKey(const QKeyEvent& key);
    bool SliderMouse(QEvent* event);

    frmParseFileProcess* parseFileWindow_;
    frmConvertProcess* convertWindow_;
    // The statement of the current result set, before any heading's order,
    // and the heading the lists are sorted by ("": the statement's own order).
    std::string resultStatement_;
    std::string sortHeading_;
    bool sortDescending_ = false;
    // The folder the last export went to; the home folder at first.
    std::string exportFolder_;
    int convertPercent_ = 0;  // the running conversion's progress
    bool rebuilding_ = false;
    bool walking_ = false;  // "Pickup All" or "DeleteAll" walks the result list
    bool exited_ = false;
    bool closeAccessPending_ = false;
    // The rebuild's own message has told the operator the server cannot
    // be reached; the list it shows next does not say it again.
    bool unreachableTold_ = false;
    bool sliderHeld_ = false;  // the mouse is down on sldDuration
};

}  // namespace player
