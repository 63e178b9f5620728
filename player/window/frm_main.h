// player/window: the main window, frmMain: the "Conditions" block, the
// result grid DataGrid1 over rsResult, the player block and the status bar.
// It only wires controls to the core (the search statement, the rebuild,
// playback, the file commands), so the core runs and is tested without it.
// What it shows and does: docs/design.md ("The window"), docs/playback.md,
// docs/file_management.md.
#pragma once

#include <QBoxLayout>
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
#include "notes_panel.h"
#include "wave_strip.h"
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
    QComboBox* cmbTag;         // "Tag": a tag the row has (typed or chosen), "" for any
    QLineEdit* txtNoteWords;   // "Note contains": words its note holds
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
    WaveStrip* picWaveform;  // under the grid, as wide as it
    NotesPanel* framNotes;   // under the waveform: the current row's note, tags, bookmarks, hold
    // Listening: speed (keys [ and ]), "Skip silence", volume 0-200 % and "Normalize"
    QComboBox* cmbSpeed;
    QCheckBox* chkSkipSilence;
    QSlider* sldVolume;
    QLabel* lblVolume;
    QPushButton* cmdNormalize;
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
    void BuildListening(QBoxLayout* block);
    void ConnectListening();
    void StepSpeedBy(int steps);
    void ConnectNotes();
    void FillTagChoices();
    void BookmarkHere();
    bool NotesSavedOrGivenUp();

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
