// CallDeck's run; see run_calldeck.h.
//
//   CallDeck                    start the player
//   CallDeck --screenshot FILE  start it, play the first row and pause it
//                               at 40 %, draw the main window into FILE
//                               (PNG), and end
//
// The start prepares the paths and the one setting (InitPath), opens the
// record index beside the program (ConnectAccess, no password; the result
// is not looked at: a missing index shows as an empty grid and logged
// searches; a site's server out of reach is told to the operator by the
// window's first search, once) and shows the main window, whose load fills
// the conditions and the grid. The media player's commands go to the
// system's audio output. The dialogs are Qt's and the event pump is Qt's
// own, so a scan lets the window live.
//
// SIGTERM, SIGINT and SIGHUP end the run as "Exit Player" answered Yes does
// (end_on_signals.h), with exit status 0. The end closes what the window may
// have left open and removes ConvertTemp.wav: it may hold a decrypted call,
// and no later run reuses it.
#include "run_calldeck.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "end_on_signals.h"
#include "frm_main.h"
#include "player/core/playback/audio_output.h"
#include "player/core/convert/decrypt_file.h"
#include "player/core/paths.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/run_log.h"
#include "player/window/qt_dialogs.h"

namespace player {
namespace {

std::unique_ptr<frmMain> Main() {
    InitPath();
    RemoveLeftoverCopies();
    UseAudioOutput();
    ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
    auto window = std::make_unique<frmMain>();
    window->show();
    return window;
}

// The picture shows the player at work: the first row played, paused at
// 40 % once its waveform is drawn. Without sound output the grid alone is drawn.
void PauseFirstRowForPicture(frmMain& window) {
    if (window.DataGrid1->Model()->rowCount() == 0) return;
    window.DataGrid1->View()->selectRow(0);
    window.cmdPlayRecordFile->click();
    QElapsedTimer waited;
    waited.start();
    while (Process().IsPlaying && !window.picWaveform->Shown() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!window.picWaveform->Shown()) return;
    PlayFrom(Process().CurrentDuration * 400);
    window.cmdPause->click();
    waited.restart();
    while (waited.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

int Usage() {
    std::fprintf(stderr, "usage: CallDeck [--screenshot FILE.png]\n");
    return 2;
}

}  // namespace

int RunCallDeck(int argc, char** argv, const std::function<void(frmMain&)>& shown) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramTitle);
    std::string screenshot;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == "--screenshot" && i + 1 < args.size())
            screenshot = args[++i].toStdString();
        else
            return Usage();
    }

    Process().dialogs = std::make_shared<QtDialogs>();
    Process().PumpEvents = [] { QCoreApplication::processEvents(); };
    std::unique_ptr<frmMain> window = Main();

    if (!screenshot.empty()) {
        QTimer::singleShot(500, window.get(), [&] {
            PauseFirstRowForPicture(*window);
            const bool saved = window->grab().save(QString::fromStdString(screenshot), "PNG");
            if (!saved) std::fprintf(stderr, "CallDeck: cannot write %s\n", screenshot.c_str());
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    if (shown) QTimer::singleShot(0, window.get(), [&] { shown(*window); });
    const EndOnSignals endOnSignals([&](int signal) {
        WriteRunLog(std::string("Exit Player: ") + (sigdescr_np(signal) ? sigdescr_np(signal) : "signal"));
        window->ExitWithoutQuestion();
    });
    const int rc = QApplication::exec();
    StopPlay();  // the window may end without its close (a screenshot run)
    Process().Player->mmClose();
    window.reset();
    CloseAccess();
    std::error_code ec;
    std::filesystem::remove(ConvertTempFile(), ec);
    return rc;
}

}  // namespace player
