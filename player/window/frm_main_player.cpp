// The main window's player block: its buttons, slider, timer and keys, and
// the drawing of what playback leaves in the process state. See frm_main.h.
#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

#include <algorithm>
#include <initializer_list>
#include <optional>

#include "frm_main.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/playback/durations.h"
#include "player/core/playback/playback.h"
#include "player/core/index/site_login.h"
#include "player/core/process_state.h"

namespace player {
namespace {

// The seconds of a time typed as "s", "m:ss" or "h:mm:ss" (every part any
// number of digits); nothing for an empty text or an empty part.
std::optional<std::int32_t> TypedSeconds(const QString& typed) {
    const QStringList parts = typed.split(':');
    if (parts.size() > 3) return std::nullopt;
    std::int32_t seconds = 0;
    for (const QString& part : parts) {
        bool number = false;
        const int value = part.toInt(&number);
        if (!number || value < 0) return std::nullopt;
        seconds = seconds * 60 + value;
    }
    return seconds;
}

}  // namespace

void frmMain::ConnectPlayer() {
    PlayerProcess& p = Process();
    p.ShowPlayerBlock = [this] { DrawPlayerBlock(); };
    p.ConvertingChanged = [this] {
        EnableCommands();
        ShowConversion(0);
    };
    p.AutoPlayNext = chkAutoPlayNext->isChecked();
    connect(cmdPlay, &QToolButton::clicked, this, [this] {
        // Play restarts the selected row; while paused it resumes instead.
        if (!Process().IsPaused)
            PlayCurrent();
        else
            ResumePlay();
    });
    connect(cmdPlayRecordFile, &QPushButton::clicked, this, &frmMain::PlayCurrent);
    connect(cmdPause, &QToolButton::clicked, this, [] { PausePlay(); });
    connect(CmdStop, &QToolButton::clicked, this, [] { StopPlay(); });
    connect(cmdForeward, &QToolButton::clicked, this, [] { SeekBy(10); });
    connect(cmdBackward, &QToolButton::clicked, this, [] { SeekBy(-10); });
    connect(cmdPlayNext, &QPushButton::clicked, this, &frmMain::PlayNext);
    connect(cmdPlayPrevious, &QPushButton::clicked, this, &frmMain::PlayPrevious);
    connect(chkAutoPlayNext, &QCheckBox::toggled, this, [](bool on) { Process().AutoPlayNext = on; });
    connect(DataGrid1->View(), &QAbstractItemView::doubleClicked, cmdPlayRecordFile, &QPushButton::click);
    // While the handle is held the play time shows where it would seek to.
    connect(sldDuration, &QSlider::valueChanged, this, [this](int value) {
        if (sliderHeld_) txtTime->setText(QString::fromStdString(FormatTime(value)));
    });
    connect(txtTime, &QLineEdit::returnPressed, this, &frmMain::SeekTypedTime);
    txtTime->installEventFilter(this);  // left without Enter: the count shows again
    sldDuration->installEventFilter(this);
    DataGrid1->View()->installEventFilter(this);
    connect(Timer1, &QTimer::timeout, this, [] { Tick(); });
    ConnectListening();
    Timer1->start();
}

void frmMain::PlayCurrent() { player::PlayCurrent(); }
void frmMain::PlayNext() { player::PlayNext(); }
void frmMain::PlayPrevious() { player::PlayPrevious(); }

// What playback left in the process state. While a conversion runs with
// nothing playing (a recording about to play, an export), the block shows
// the conversion instead of the last recording's times. While a recording
// plays, its length shows from its start, and the play time is the count
// unless the operator is typing into it or holds the slider; while
// nothing plays it shows the slider's position and takes no focus.
void frmMain::DrawPlayerBlock() {
    const PlayerProcess& p = Process();
    const auto& block = p.playerBlock;
    const bool converting = p.IsConverting && !p.IsPlaying;
    const int maximum = converting ? 0 : block.sliderMaximum;
    if (sldDuration->maximum() != maximum) sldDuration->setRange(0, maximum);
    if (!sliderHeld_) sldDuration->setValue(block.sliderValue);
    if (!p.IsPlaying && txtTime->hasFocus()) DataGrid1->View()->setFocus();
    txtTime->setReadOnly(!p.IsPlaying);
    txtTime->setFocusPolicy(p.IsPlaying ? Qt::ClickFocus : Qt::NoFocus);
    if (!sliderHeld_ && !txtTime->hasFocus())
        txtTime->setText(QString::fromStdString(p.IsPlaying ? block.txtTime : FormatTime(sldDuration->value())));
    if (converting)
        lblTotalDuration->setText(QString::fromUtf8("Converting\u2026 %1%").arg(convertPercent_));
    else
        lblTotalDuration->setText(QString::fromStdString(p.IsPlaying ? FormatTime(p.CurrentDuration)
                                                                     : block.lblTotalDuration));
    picWaveform->ShowPlayback();
    cmdNormalize->setEnabled(p.IsPlaying);
    const QIcon mark = style()->standardIcon(p.IsPaused ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay);
    DataGrid1->Model()->MarkPlaying(p.IsPlaying ? p.CurrentRecordFile : std::string(), mark);
}

// pbConvert and the player block follow the running conversion; with none
// the bar is empty.
void frmMain::ShowConversion(int percent) {
    convertPercent_ = Process().IsConverting ? percent : 0;
    pbConvert->setValue(convertPercent_);
    DrawPlayerBlock();
}

// Enter in the play time: seek to the typed time (SeekPlay keeps the
// position for a time outside the recording), then back to the grid, whose
// keys drive the player.
void frmMain::SeekTypedTime() {
    const std::optional<std::int32_t> seconds = TypedSeconds(txtTime->text());
    DataGrid1->View()->setFocus();
    if (seconds && Process().IsPlaying) {
        SeekPlay(*seconds);
        if (Process().CurrentPosition == static_cast<float>(*seconds)) {
            sldDuration->setValue(*seconds);
            txtTime->setText(QString::fromStdString(FormatTime(*seconds)));
            return;
        }
    }
    DrawPlayerBlock();
}

namespace {

// rsResult stands on a row (the commands on the current row need one).
bool HasCurrentRow() {
    const auto& set = Process().rsResult;
    return set && set->IsOpen() && set->AbsolutePosition() > 0;
}

}  // namespace

// The commands that start a conversion wait while one runs (its wait lets
// clicks through) and while a rebuild fills the index; so do the file
// commands. While "Pickup All" or "DeleteAll" walks the result list, so do
// the commands that replace the list.
void frmMain::EnableCommands() {
    const bool free = !Process().IsConverting && !rebuilding_ && !walking_;
    for (QWidget* command :
         std::initializer_list<QWidget*>{cmdPlay, cmdPlayPrevious, cmdPlayNext, cmdPickUpAll, cmdDelAllFile})
        command->setEnabled(free);
    const bool row = free && HasCurrentRow();
    for (QWidget* command : std::initializer_list<QWidget*>{cmdPlayRecordFile, cmdGetWaveFile, cmdDelFile})
        command->setEnabled(row);
    // What the site's server does not let this login do stays off, saying why.
    const QString noDelete = QString::fromStdString(WhyNoDelete());
    for (QPushButton* command : {cmdDelFile, cmdDelAllFile}) {
        if (!noDelete.isEmpty()) command->setEnabled(false);
        command->setToolTip(noDelete);
    }
    for (QWidget* command : std::initializer_list<QWidget*>{cmdShowResult, cmdRefreshRecord})
        command->setEnabled(!walking_);
    cmdGetFileInfo->setEnabled(!rebuilding_ && !walking_);
}

// The window's own keys; false for any other key. The buttons' clicks are
// used, so a key does nothing while its button is disabled.
bool frmMain::PlayerKey(const QKeyEvent& key) {
    // AltGr (the group switch) types [ and ] on many keyboards.
    const Qt::KeyboardModifiers mods = key.modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    const bool ctrl = mods == Qt::ControlModifier;
    if (mods != Qt::NoModifier && !ctrl) return false;
    switch (key.key()) {
    case Qt::Key_Space:
        if (ctrl) return false;
        (Process().IsPlaying && !Process().IsPaused ? cmdPause : cmdPlay)->click();
        return true;
    case Qt::Key_Left:
        (ctrl ? static_cast<QAbstractButton*>(cmdPlayPrevious) : cmdBackward)->click();
        return true;
    case Qt::Key_Right:
        (ctrl ? static_cast<QAbstractButton*>(cmdPlayNext) : cmdForeward)->click();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ctrl) return false;
        cmdPlayRecordFile->click();
        return true;
    case Qt::Key_Home:  // Ctrl+Home and Ctrl+End stay the grid's first and last row
    case Qt::Key_End:
        if (ctrl || !Process().IsPlaying) return false;
        PlayFrom(key.key() == Qt::Key_Home ? 0 : std::max(0, Process().CurrentDuration - 5) * 1000);
        return true;
    case Qt::Key_B:  // Ctrl+B: a bookmark where the count stands
        if (!ctrl) return false;
        BookmarkHere();
        return true;
    case Qt::Key_BracketLeft:
    case Qt::Key_BracketRight:
        if (ctrl) return false;
        StepSpeedBy(key.key() == Qt::Key_BracketLeft ? -1 : 1);
        return true;
    default:
        return false;
    }
}

// Keys no field used reach the window. Enter there is not a play: in the
// conditions it runs "Show Result" (eventFilter); only the grid's Enter plays.
void frmMain::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter && PlayerKey(*event)) return;
    QMainWindow::keyPressEvent(event);
}

// Pressing the mouse on the slider holds the count, so the timer does not
// move the handle under the mouse; the sound goes on. Releasing it seeks to
// where the handle was left: at 0 nothing restarts and the count stays held
// until play is pressed. A press while nothing plays holds nothing (a held
// count with nothing loaded would only make the next play a resume of
// nothing).
bool frmMain::SliderMouse(QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease) return false;
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
    PlayerProcess& p = Process();
    if (event->type() == QEvent::MouseButtonPress) {
        sliderHeld_ = true;
        if (p.IsPlaying) p.IsPaused = true;
        return false;
    }
    sliderHeld_ = false;
    // The slider tracks: its value is where the handle was pressed or dragged to.
    if (p.IsPlaying)
        SeekPlay(sldDuration->value());
    else
        DrawPlayerBlock();
    return false;
}

}  // namespace player
