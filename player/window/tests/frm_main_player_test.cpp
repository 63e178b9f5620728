// The player block as an operator drives it: recordings heard through the
// audio output (SDL's disk driver stands in for a sound card, so the
// samples that reached the "device" are compared with the converted WAV),
// the buttons, the slider, the keys, the waveform strip, the mark on the row
// being played, the commands held during a conversion, and closing while a
// call plays.
#include <QApplication>
#include <QFont>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec_framework/testing/signals.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/playback/audio_output.h"
#include "player/core/playback/listening.h"
#include "player/core/playback/playback.h"
#include "player/core/notes/notes_store.h"
#include "player/core/process_state.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/recording_sink.h"
#include "window_fixture.h"

// The system's font configuration library keeps a cache for the life of the
// process, which the leak checker of the sanitizer build would report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace fs = std::filesystem;
using namespace player;
using namespace player::window_testing;
using player::testing::ALawToLinear;
using player::testing::ALawWavHeader;
using player::testing::ReadBytes;

namespace {

// The samples of an A-law WAV's data chunk (the converter's WAV has a
// longer "fmt " chunk than 16 bytes, so the chunk is looked for).
std::vector<std::int16_t> ALawSamples(const std::string& wav) {
    const auto at = wav.find("data");
    std::vector<std::int16_t> samples;
    if (at == std::string::npos) return samples;
    for (std::size_t i = at + 8; i < wav.size(); ++i) samples.push_back(ALawToLinear(std::uint8_t(wav[i])));
    return samples;
}

// The last stretch of sound the device file received (A-law has no code
// for 0, so the silence around a play marks its ends).
std::vector<std::int16_t> LastSound(const fs::path& device) {
    const std::string bytes = ReadBytes(device);
    std::vector<std::int16_t> run;
    bool sounding = false;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto s = std::int16_t(std::uint8_t(bytes[i]) | (std::uint8_t(bytes[i + 1]) << 8));
        if (s != 0 && !sounding) run.clear();
        if (s != 0) run.push_back(s);
        sounding = s != 0;
    }
    return run;
}

// Seconds of speech coded by the G.729 plug-in, as a recorder writes an NTC file.
std::string G729Call(double seconds) { return player::testing::G729Call(Tessel::testing::SpeechLike(seconds, 3)); }

// Where the heard sound and the converted WAV part, in words.
QString Heard(const std::vector<std::int16_t>& sound, const std::vector<std::int16_t>& wav) {
    if (sound.size() < 4000) return QString("the device received only %1 samples").arg(sound.size());
    if (sound.size() > wav.size()) return QString("the device received %1 samples of a %2-sample recording")
                                              .arg(sound.size()).arg(wav.size());
    for (std::size_t i = 0; i < sound.size(); ++i)
        if (sound[i] != wav[i]) return QString("the sound parts from the recording at sample %1").arg(i);
    return "";
}

// Where in the recording the last stretch of sound the device received
// began, in seconds (matched on its first 400 samples); -1 when nowhere.
double HeardFrom(const fs::path& device, const std::vector<std::int16_t>& recording) {
    const std::vector<std::int16_t> sound = LastSound(device);
    if (sound.size() < 400) return -1;
    const auto at = std::search(recording.begin(), recording.end(), sound.begin(), sound.begin() + 400);
    return at == recording.end() ? -1 : double(at - recording.begin()) / 8000;
}

// A 12.5-second A-law call of noise (silent from 4 to 6 seconds when asked)
// written as calls/a.WAV and put in the index; returns the file's bytes.
std::string TwelveAndAHalfSecondCall(const fs::path& calls, std::uint32_t seed, bool silentMiddle) {
    std::string alaw;
    for (std::uint32_t i = 0, noise = seed; i < 100000; ++i) {
        noise = noise * 1103515245 + 12345;
        const bool silent = silentMiddle && i >= 32000 && i < 48000;
        alaw += silent ? '\xD5' : char(0x80 | (noise >> 16) % 120);  // 0xD5: the quietest code
    }
    std::string wav = ALawWavHeader(std::uint32_t(alaw.size())) + alaw;
    std::ofstream(calls / "a.WAV", std::ios::binary) << wav;
    InsertFileInfo(Row((calls / "a.WAV").string(), "2024-05-06 09:00:00", "0001", "1", "00:00:12", "IN"));
    return wav;
}

}  // namespace

class PlayerBlock : public QObject {
    Q_OBJECT
private slots:
    void playsAWavAndAG729RecordingAsTheyWereConverted();
    void theButtonsTheSliderAndTheKeysDriveTheCount();
    void closingAnsweredNoPlaysOnAndYesStops();
    void everyCallIsHeardToItsLastSampleAndTheNextRowFollowsIt();
    void theWaveformShowsTheSilenceAndAClickOrHomeOrEndPlaysFromThere();
    void theSpeedKeysStepTheCountAndSpeedAndVolumeStayForTheNextRowAndRun();
    void skippingSilenceAtHalfVolumeTheCountEndsWithTheSound();
    void aBookmarkAddedWithCtrlBShowsOnTheWaveformAndAClickOnItPlaysFromThere();
};

// The operator hears each recording from its start as the converter wrote
// it: an A-law WAV recording, then (Ctrl+Right) a G.729 recording through
// VelkCodec, during whose conversion the play commands cannot be clicked.
void PlayerBlock::playsAWavAndAG729RecordingAsTheyWereConverted() {
    WindowUnderTest t;
    const fs::path calls = t.Folder("calls");
    for (const char* library : {"VelkCodec.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
        t.Staged().StageLibrary(library);
    std::string alaw;
    for (int i = 0; i < 16000; ++i) alaw += char(0x80 | (i * 7 % 120));
    std::ofstream(calls / "a.WAV", std::ios::binary) << ALawWavHeader(16000) << alaw;
    std::ofstream(calls / "b.NTC", std::ios::binary) << G729Call(3.0);
    InsertFileInfo(Row((calls / "a.WAV").string(), "2024-05-06 09:00:00", "0001", "1", "00:00:02", "IN"));
    InsertFileInfo(Row((calls / "b.NTC").string(), "2024-05-06 10:00:00", "0001", "2", "00:00:03", "OUT"));
    UseAudioOutput();
    frmMain& w = t.Window();
    t.Click(w.cmdRefreshRecord);
    const fs::path device = std::getenv("SDL_DISKAUDIOFILE");

    w.DataGrid1->View()->setFocus();
    QTest::keyClick(w.DataGrid1->View(), Qt::Key_Return);
    QVERIFY2(Process().IsPlaying, "Enter on the grid did not play the selected recording");
    QTest::qWait(1200);
    EXPECT_SEEN(w.txtTime->text(), QString("00:00:01"), "the play time after a second");
    t.Click(w.CmdStop);
    EXPECT_SEEN(Heard(LastSound(device), ALawSamples(ReadBytes(ConvertTempFile()))), QString(),
                "what the device received of the WAV recording");

    bool heldDuringConversion = true;
    QString blockDuringConversion;
    Process().PumpEvents = [&] {
        if (!Process().IsConverting) return;
        heldDuringConversion = heldDuringConversion && !w.cmdPlay->isEnabled() && !w.cmdPlayNext->isEnabled() &&
                               !w.cmdPlayRecordFile->isEnabled() && !w.cmdGetWaveFile->isEnabled();
        blockDuringConversion = w.lblTotalDuration->text() + " " + w.txtTime->text();
        QTest::keyClick(w.DataGrid1->View(), Qt::Key_Right, Qt::ControlModifier);  // a second Next, refused
        QApplication::processEvents();
    };
    QTest::keyClick(w.DataGrid1->View(), Qt::Key_Right, Qt::ControlModifier);
    QVERIFY2(heldDuringConversion, "a play command could be clicked while the G.729 recording was converted");
    QVERIFY2(blockDuringConversion.startsWith(QString::fromUtf8("Converting\u2026 ")) &&
                 blockDuringConversion.endsWith("% 00:00:00"),
             qPrintable("during the conversion the player block showed \"" + blockDuringConversion +
                        "\", not \"Converting…\", its progress and no play time"));
    EXPECT_SEEN(w.pbConvert->value(), 0, "the progress bar once the conversion ended (empty)");
    EXPECT_SEEN(w.lblTotalDuration->text(), QString("00:00:03"), "the record duration as the G.729 recording plays");
    QVERIFY2(w.cmdPlay->isEnabled(), "the play commands stayed disabled after the conversion");
    EXPECT_SEEN(Process().CurrentRecordFile, (calls / "b.NTC").string(), "the recording playing after Ctrl+Right");
    QVERIFY2(Process().IsPlaying, "the G.729 recording did not play");
    QTest::qWait(1200);
    t.Click(w.CmdStop);
    EXPECT_SEEN(Heard(LastSound(device), ALawSamples(ReadBytes(ConvertTempFile()))), QString(),
                "what the device received of the G.729 recording");
}

// With the media interface a sink: play, pause, play while paused resumes,
// the slider held and let go at 0 and at 5 seconds, the jumps on the keys,
// and the mark on the row being played after the selection moved.
void PlayerBlock::theButtonsTheSliderAndTheKeysDriveTheCount() {
    WindowUnderTest t;
    const fs::path calls = t.Folder("calls");
    for (const char* name : {"a.WAV", "b.WAV"})
        std::ofstream(calls / name, std::ios::binary) << ALawWavHeader(30 * 8000) << std::string(30 * 8000, '\x55');
    InsertFileInfo(Row((calls / "a.WAV").string(), "2024-05-06 09:00:00", "0001", "1", "00:00:30", "IN"));
    InsertFileInfo(Row((calls / "b.WAV").string(), "2024-05-06 10:00:00", "0001", "2", "00:00:30", "IN"));
    player::testing::RecordingSink sink;
    frmMain& w = t.Window();
    t.Click(w.cmdRefreshRecord);
    w.Timer1->stop();  // the test ticks
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY2(w.cmdPlay->isEnabled() && w.cmdPlayNext->isEnabled() && w.sldDuration->isEnabled(),
             "the player's controls are not enabled");

    w.DataGrid1->View()->setFocus();
    QTest::keyClick(w.DataGrid1->View(), Qt::Key_Space);
    QVERIFY2(Process().IsPlaying && !Process().IsPaused, "Space did not play the selected row");
    EXPECT_SEEN(w.sldDuration->maximum(), 30, "the slider's end for a 30-second recording");
    for (int i = 0; i < 72; ++i) Tick();
    EXPECT_SEEN(w.txtTime->text(), QString("00:00:07"), "the play time after 7.2 seconds");
    EXPECT_SEEN(w.sldDuration->value(), 7, "the slider after 7.2 seconds");
    QTest::keyClick(w.DataGrid1->View(), Qt::Key_Space);
    QVERIFY2(Process().IsPaused, "Space did not pause");
    t.Click(w.cmdPlay);
    QVERIFY2(!Process().IsPaused, "play while paused did not resume");
    QVERIFY2(Process().CurrentPosition > 7.0f, "play while paused started the recording again");

    const QPoint left(2, w.sldDuration->height() / 2);
    QTest::mousePress(w.sldDuration, Qt::LeftButton, {}, left);
    QVERIFY2(Process().IsPaused, "pressing the slider did not hold the count");
    QTest::mouseRelease(w.sldDuration, Qt::LeftButton, {}, left);
    QVERIFY2(Process().IsPaused, "letting the slider go at 0 did not keep the count held");
    QTest::mousePress(w.sldDuration, Qt::LeftButton, {}, left);
    w.sldDuration->setValue(5);  // dragged to 5 seconds
    EXPECT_SEEN(w.txtTime->text(), QString("00:00:05"), "the play time while the slider is dragged to 5 seconds");
    QTest::mouseRelease(w.sldDuration, Qt::LeftButton, {}, left);
    QVERIFY2(!Process().IsPaused, "letting the slider go at 5 seconds did not play on");
    EXPECT_SEEN(Process().CurrentPosition, 5.0f, "the position after letting the slider go at 5 seconds");
    QTest::keyClick(w.DataGrid1->View(), Qt::Key_Right);
    EXPECT_SEEN(Process().CurrentPosition, 15.0f, "the position after Right (10 seconds on)");
    QTest::keyClick(w.DataGrid1->View(), Qt::Key_Left);
    EXPECT_SEEN(Process().CurrentPosition, 5.0f, "the position after Left (10 seconds back)");
    QTest::mouseClick(w.txtTime, Qt::LeftButton);
    QTest::keyClick(w.txtTime, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w.txtTime, "0:21");
    Tick();  // the count goes on under the typing
    QTest::keyClick(w.txtTime, Qt::Key_Return);
    EXPECT_SEEN(Process().CurrentPosition, 21.0f, "the position after typing 0:21 and Enter into the play time");
    EXPECT_SEEN(w.txtTime->text(), QString("00:00:21"), "the play time after typing 0:21 and Enter");
    w.DataGrid1->View()->setFocus();

    const QModelIndex playing = w.DataGrid1->Model()->index(0, 0), other = w.DataGrid1->Model()->index(1, 0);
    w.DataGrid1->View()->setCurrentIndex(other);
    QVERIFY2(playing.data(Qt::FontRole).value<QFont>().bold(), "the row being played is not marked");
    QVERIFY2(!other.data(Qt::FontRole).value<QFont>().bold(), "a row that is not playing is marked");
    QTableView* grid = w.DataGrid1->View();
    const QAbstractItemView* cells = grid;  // Qt's measure of the values in view
    for (int c = 0; c < grid->model()->columnCount(); ++c) {
        const QString heading = grid->model()->headerData(c, Qt::Horizontal).toString();
        if (heading != "FileFullName" && grid->columnWidth(c) < cells->sizeHintForColumn(c))
            QFAIL(qPrintable(QString("the row being played is clipped in %1: %2 px wide, drawn bold it needs %3")
                                 .arg(heading).arg(grid->columnWidth(c)).arg(cells->sizeHintForColumn(c))));
    }
    t.Click(w.CmdStop);
    QVERIFY2(!playing.data(Qt::FontRole).value<QFont>().bold(), "the mark stayed after the stop");
    EXPECT_SEEN(w.sldDuration->value(), 0, "the slider after the stop");
    EXPECT_SEEN(w.txtTime->text(), QString("00:00:00"), "the play time after the stop");
    QTest::mouseClick(w.txtTime, Qt::LeftButton);
    QVERIFY2(!w.txtTime->hasFocus(), "the play time took the focus while nothing plays");
}

void PlayerBlock::closingAnsweredNoPlaysOnAndYesStops() {
    WindowUnderTest t;
    const fs::path calls = t.Folder("calls");
    std::ofstream(calls / "a.WAV", std::ios::binary) << ALawWavHeader(8000) << std::string(8000, '\x55');
    InsertFileInfo(Row((calls / "a.WAV").string(), "2024-05-06 09:00:00", "0001", "1", "00:00:01", "IN"));
    player::testing::RecordingSink sink;
    frmMain& w = t.Window();
    t.Click(w.cmdRefreshRecord);
    t.Click(w.cmdPlayRecordFile);
    QVERIFY2(Process().IsPlaying, "\"Play Select File\" did not play the selected row");
    t.Dialogs().answers = {false};
    w.close();
    QVERIFY2(w.isVisible() && Process().IsPlaying, "closing answered No stopped the play");
    sink.Take();
    t.Dialogs().answers = {true};
    w.close();
    QVERIFY2(!Process().IsPlaying, "closing answered Yes left the recording playing");
    const std::string q = "\"" + ConvertTempFile() + "\"";
    EXPECT_SEEN(sink.Take(), (std::vector<std::string>{"Stop " + q, "Seek " + q + " to 0", "Close " + q}),
                "what the player was told at the close");
}

// The count ends about half a second before a call's computed length; the
// device must still play the call to its last sample, and AutoPlayNext
// start the next row only then. The count is ticked faster than the disk
// driver plays, so it always reaches its end first. Each play opens a new
// device, which starts the device file afresh: the file is kept aside at
// every open, so the sound of all plays is read in order.
void PlayerBlock::everyCallIsHeardToItsLastSampleAndTheNextRowFollowsIt() {
    WindowUnderTest t;
    const fs::path calls = t.Folder("calls");
    const std::vector<std::pair<std::string, int>> lengths{{"a.WAV", 3}, {"b.WAV", 22}};
    std::vector<std::vector<std::int16_t>> wanted;
    int minute = 0;
    for (const auto& [name, seconds] : lengths) {
        std::string alaw;
        for (int i = 0; i < seconds * 8000; ++i) alaw += char(0x80 | ((i * 7 + seconds) % 120));
        const std::string wav = ALawWavHeader(std::uint32_t(alaw.size())) + alaw;
        std::ofstream(calls / name, std::ios::binary) << wav;
        wanted.push_back(ALawSamples(wav));
        InsertFileInfo(Row((calls / name).string(), "2024-05-06 09:0" + std::to_string(minute++) + ":00", "0001",
                           std::to_string(seconds), "00:00:" + std::to_string(seconds), "IN"));
    }
    UseAudioOutput();
    const fs::path device = std::getenv("SDL_DISKAUDIOFILE");
    fs::remove(device);  // what an earlier case played
    std::vector<fs::path> plays;
    Process().MciSend = [&, send = Process().MciSend](std::string_view command, std::string& reply) {
        std::error_code ec;
        if (command.starts_with("Open ") && fs::exists(device, ec)) {
            plays.push_back(device.string() + "." + std::to_string(plays.size()));
            fs::rename(device, plays.back(), ec);
        }
        return send(command, reply);
    };
    frmMain& w = t.Window();
    t.Click(w.cmdRefreshRecord);
    w.Timer1->stop();  // the test ticks
    w.chkAutoPlayNext->setChecked(true);
    t.Click(w.cmdPlayRecordFile);
    QVERIFY2(Process().IsPlaying, "\"Play Select File\" did not play the first row");

    // Until AutoPlayNext has gone round to the first row again.
    const std::string first = (calls / "a.WAV").string();
    for (int i = 0; i < 4000 && !(plays.size() >= 2 && Process().CurrentRecordFile == first); ++i) {
        Tick(), Tick();
        QTest::qWait(10);
    }
    t.Click(w.CmdStop);
    QVERIFY2(plays.size() == 2, qPrintable(QString("AutoPlayNext played %1 rows, not both").arg(plays.size())));
    std::vector<std::vector<std::int16_t>> heard;
    for (const fs::path& play : plays) {
        heard.push_back(LastSound(play));
        fs::remove(play);
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const QString what = QString("the %1-second call %2 ").arg(lengths[i].second).arg(lengths[i].first.c_str());
        QVERIFY2(heard[i].size() == wanted[i].size(),
                 qPrintable(what + QString("reached the device with %1 of its %2 samples")
                                       .arg(heard[i].size()).arg(wanted[i].size())));
        QVERIFY2(heard[i] == wanted[i], qPrintable(what + "reached the device altered"));
    }
}

// A 12.5-second call, silent from 4 to 6 seconds: once its waveform is
// read, the strip names the silence, and the device receives the call from
// where the strip was clicked (60 %: 7.5 s), from the start after Home and
// from 5 seconds before the end of the count after End.
void PlayerBlock::theWaveformShowsTheSilenceAndAClickOrHomeOrEndPlaysFromThere() {
    WindowUnderTest t;
    const fs::path calls = t.Folder("calls");
    const std::vector<std::int16_t> samples = ALawSamples(TwelveAndAHalfSecondCall(calls, 1, true));
    UseAudioOutput();
    frmMain& w = t.Window();
    t.Click(w.cmdRefreshRecord);
    w.Timer1->stop();  // the count stands where each play put it
    t.Click(w.cmdPlayRecordFile);
    QTRY_VERIFY2(w.picWaveform->Shown(), "the waveform of the playing call was not drawn within 5 seconds");
    const int width = w.picWaveform->width(), middle = w.picWaveform->height() / 2;
    EXPECT_SEEN(w.picWaveform->StretchAt(width * 5 / 12), QString("silence 00:00:04, 2 s"),
                "the strip's tooltip at 5 seconds");

    const fs::path device = std::getenv("SDL_DISKAUDIOFILE");
    const auto heardAfter = [&](auto act, double wanted, const char* what) {
        act();
        QTest::qWait(300);
        const double count = Process().CurrentPosition, heard = HeardFrom(device, samples);
        t.Click(w.CmdStop);
        return std::abs(count - wanted) <= 0.2 && std::abs(heard - wanted) <= 0.2
                   ? QString()
                   : QString("after %1 the count stood at %2 s and the device played from %3 s, not from %4 s")
                         .arg(what).arg(count).arg(heard).arg(wanted);
    };
    const QPoint at60(int(std::lround(width * 0.6)), middle);
    EXPECT_SEEN(heardAfter([&] { QTest::mouseClick(w.picWaveform, Qt::LeftButton, {}, at60); }, 7.5,
                           "a click at 60 % of the strip"),
                QString(), "where the call played from");
    t.Click(w.cmdPlayRecordFile);
    w.DataGrid1->View()->setFocus();
    EXPECT_SEEN(heardAfter([&] { QTest::keyClick(w.DataGrid1->View(), Qt::Key_End); }, 7.0, "End"), QString(),
                "where the call played from");
    t.Click(w.cmdPlayRecordFile);
    QTest::qWait(300);
    EXPECT_SEEN(heardAfter([&] { QTest::keyClick(w.DataGrid1->View(), Qt::Key_Home); }, 0.0, "Home"), QString(),
                "where the call played from");
}

// [ and ] step the speed through its list, held at 0.5x and 2x; at 2x a
// tick counts 0.2 s, so the slider and the play time keep the recording's
// own seconds. The speed and the volume reach the next row's device too,
// and the volume is remembered for the next run in a file of the user's only.
void PlayerBlock::theSpeedKeysStepTheCountAndSpeedAndVolumeStayForTheNextRowAndRun() {
    WindowUnderTest t;
    const fs::path calls = t.Folder("calls");
    for (const char* name : {"a.WAV", "b.WAV"}) {
        std::ofstream(calls / name, std::ios::binary) << ALawWavHeader(30 * 8000) << std::string(30 * 8000, '\x55');
        InsertFileInfo(Row((calls / name).string(), std::string("2024-05-06 09:0") + (name[0] == 'a' ? "0" : "1") + ":00",
                           "0001", "1", "00:00:30", "IN"));
    }
    player::testing::RecordingSink sink;
    frmMain& w = t.Window();
    t.Click(w.cmdRefreshRecord);
    w.Timer1->stop();  // the test ticks
    QTableView* grid = w.DataGrid1->View();
    grid->setFocus();
    QString steps;
    for (Qt::Key key : {Qt::Key_BracketLeft, Qt::Key_BracketLeft, Qt::Key_BracketLeft, Qt::Key_BracketRight,
                        Qt::Key_BracketRight, Qt::Key_BracketRight, Qt::Key_BracketRight, Qt::Key_BracketRight,
                        Qt::Key_BracketRight}) {
        QTest::keyClick(grid, key);
        steps += w.cmbSpeed->currentText() + " ";
    }
    EXPECT_SEEN(steps, QString::fromUtf8("0.75× 0.5× 0.5× 0.75× 1× 1.25× 1.5× 2× 2× "),
                "the speed after each of [ [ [ ] ] ] ] ] ]");
    w.sldVolume->setValue(50);
    QTest::keyClick(grid, Qt::Key_Space);
    QVERIFY2(Process().IsPlaying, "Space did not play the selected row");
    for (int i = 0; i < 10; ++i) Tick();
    EXPECT_SEEN(w.txtTime->text(), QString("00:00:02"), "the play time after ten ticks at 2x");
    EXPECT_SEEN(w.sldDuration->value(), 2, "the slider after ten ticks at 2x");

    sink.Take();
    QTest::keyClick(grid, Qt::Key_Right, Qt::ControlModifier);
    const std::string q = "\"" + ConvertTempFile() + "\"";
    const std::vector<std::string> opened = sink.Take();
    const std::vector<std::string> settings{"set " + q + " speed 2000", "set " + q + " volume 500"};
    QVERIFY2(std::search(opened.begin(), opened.end(), settings.begin(), settings.end()) != opened.end(),
             "the next row's device was not told the speed of 2x and the volume of 50 %");
    EXPECT_SEEN(ReadVolumePercent(), 50, "the volume remembered for the next run");
    EXPECT_SEEN(int(fs::status(PlayerPrefsFile()).permissions() & fs::perms::all), 0600,
                "the mode of the file that remembers the volume");
    t.Click(w.CmdStop);
}

// An 11-second call whose middle 5 seconds are silent, played with "Skip
// silence" at a volume of 50 %: the device receives every sample halved
// except the silence less a quarter second at each edge, and the count,
// ticked once per 0.1 s of sound the device received, reaches its end with
// the device's last sample rather than 4.5 s after it.
void PlayerBlock::skippingSilenceAtHalfVolumeTheCountEndsWithTheSound() {
    WindowUnderTest t;
    const fs::path calls = t.Folder("calls");
    std::string alaw;
    for (int i = 0; i < 11 * 8000; ++i) alaw += (i >= 3 * 8000 && i < 8 * 8000) ? '\xD5' : char(0x80 | (i * 7 % 120));
    const std::string wav = ALawWavHeader(std::uint32_t(alaw.size())) + alaw;
    std::ofstream(calls / "a.WAV", std::ios::binary) << wav;
    InsertFileInfo(Row((calls / "a.WAV").string(), "2024-05-06 09:00:00", "0001", "1", "00:00:11", "IN"));
    UseAudioOutput();
    const fs::path device = std::getenv("SDL_DISKAUDIOFILE");
    frmMain& w = t.Window();
    t.Click(w.cmdRefreshRecord);
    w.Timer1->stop();  // the test ticks
    t.Click(w.chkSkipSilence);
    w.sldVolume->setValue(50);
    t.Click(w.cmdPlayRecordFile);
    QVERIFY2(Process().IsPlaying, "\"Play Select File\" did not play the row");
    int ticks = 0, ticksAfterTheSound = 0;
    while (Process().IsPlaying && ticksAfterTheSound < 100) {
        QTest::qWait(5);
        if (Process().Player->Status() == "playing") {
            std::error_code ec;
            const auto heard = fs::file_size(device, ec) / 2;
            for (; !ec && ticks < int(heard / 800); ++ticks) Tick();
        } else {
            Tick(), ++ticksAfterTheSound;
        }
    }
    QVERIFY2(ticksAfterTheSound <= 5, qPrintable(QString("the count ended %1 s after the device's last sample")
                                                     .arg(ticksAfterTheSound / 10.0)));

    std::vector<std::int16_t> half = ALawSamples(wav);
    for (std::int16_t& sample : half) sample = std::int16_t(sample / 2);
    const std::vector<std::int16_t> heard = LastSound(device);
    const auto same = [](std::int16_t a, std::int16_t b) { return std::abs(a - b) <= 1; };
    const auto cut = std::mismatch(heard.begin(), heard.end(), half.begin(), same).first - heard.begin();
    const long skipped = long(half.size()) - long(heard.size());
    QVERIFY2(std::abs(skipped - 36000) <= 2000,
             qPrintable(QString("the device received %1 s less than the call, not about 4.5 s").arg(skipped / 8000.0)));
    QVERIFY2(cut >= 3 * 8000 && cut <= 4 * 8000,
             qPrintable(QString("the sound parted from the call's samples halved at %1 s, not in its silence").arg(cut / 8000.0)));
    QVERIFY2(std::equal(heard.begin() + cut, heard.end(), half.begin() + cut + skipped, same),
             "after the skipped silence the device did not receive the rest of the call halved");
}

// Ctrl+B while a call plays puts a bookmark where the count stands (7 s),
// its label typed in place in the notes panel; the waveform marks it and
// names it, and after a stop a click on the bookmark plays the call from
// there.
void PlayerBlock::aBookmarkAddedWithCtrlBShowsOnTheWaveformAndAClickOnItPlaysFromThere() {
    WindowUnderTest t;
    const fs::path calls = t.Folder("calls");
    const std::vector<std::int16_t> samples = ALawSamples(TwelveAndAHalfSecondCall(calls, 7, false));
    UseAudioOutput();
    frmMain& w = t.Window();
    t.Click(w.cmdRefreshRecord);
    w.Timer1->stop();  // the count stands where each play put it
    t.Click(w.cmdPlayRecordFile);
    QTRY_VERIFY2(w.picWaveform->Shown(), "the waveform of the playing call was not drawn within 5 seconds");
    PlayFrom(7000);
    QTest::keyClick(w.DataGrid1->View(), Qt::Key_B, Qt::ControlModifier);
    QWidget* label = QApplication::focusWidget();
    QVERIFY2(label && w.framNotes->lstBookmarks->isAncestorOf(label), "Ctrl+B opened no label to type");
    QTest::keyClicks(label, "refund promised");
    QTest::keyClick(label, Qt::Key_Return);
    const auto stored = [&] {
        const std::vector<Bookmark> b = LoadAnnotations((calls / "a.WAV").string()).bookmarks;
        return b.size() == 1 ? QString("%1 %2").arg(b[0].second).arg(QString::fromStdString(b[0].label))
                             : QString("%1 bookmarks").arg(b.size());
    };
    QTRY_VERIFY2_WITH_TIMEOUT(stored() == "7 refund promised",
                              qPrintable("the bookmark stored after Ctrl+B at 7 s: " + stored()), 2000);
    const int x = int(std::lround(7.0 / 12.5 * w.picWaveform->width()));
    EXPECT_SEEN(w.picWaveform->StretchAt(x), QString("bookmark 00:00:07: refund promised"),
                "the strip's tooltip at the bookmark");

    t.Click(w.CmdStop);
    QListWidget* list = w.framNotes->lstBookmarks;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QTest::qWait(300);
    const fs::path device = std::getenv("SDL_DISKAUDIOFILE");
    const double count = Process().CurrentPosition, heard = HeardFrom(device, samples);
    QVERIFY2(std::abs(count - 7) <= 0.2 && std::abs(heard - 7) <= 0.2,
             qPrintable(QString("after a click on the bookmark the count stood at %1 s and the device played from "
                                "%2 s, not from 7 s").arg(count).arg(heard)));
    t.Click(w.CmdStop);
}

int main(int argc, char** argv) {
    // The audio output is SDL's disk driver, writing what it plays to a file.
    const fs::path device = fs::temp_directory_path() / ("calldeck-device-" + std::to_string(getpid()) + ".raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", device.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "20", 1);
    const int rc = player::window_testing::RunWindowTests<PlayerBlock>(argc, argv);
    std::error_code ec;
    fs::remove(device, ec);
    return rc;
}

#include "frm_main_player_test.moc"
