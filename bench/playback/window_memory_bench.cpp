// bench/playback: resident memory while the main window plays a ten-hour
// recording. The window (frmMain, drawn off screen: QT_QPA_PLATFORM=
// offscreen unless set) lists two indexed recordings; the ten-hour 8 kHz
// A-law WAV (288 000 000 bytes of samples, a sparse file) is selected by a
// click on its row in the result grid and played by a click on cmdPlay, as
// an operator does: the player copies it into ConvertTemp.wav and plays
// that through the MCI layer (installed by UseAudioOutput, as the program
// does). SDL's disk driver writes to /dev/null with no delay, so the few
// seconds of wall clock that Qt's events are pumped (Timer1 counting,
// the player block drawn) stream hours of the recording. CmdStop ends it.
//
// A thread samples VmRSS from /proc/self/status every 10 ms from just
// before the click on cmdPlay until after the stop. Counters:
//   idle_KiB       resident memory of the idle window, its row selected,
//                  just before the click (SDL's audio not started yet)
//   peak_KiB       the highest sample while playing
//   growth_KiB     peak - idle; goal: within 16 MB (16384 KiB)
//   stopped_KiB    resident memory after the stop
//   click_s        the click on cmdPlay until it returned (the copy of
//                  the ten-hour file into ConvertTemp.wav, open, play)
//   played_minutes the device's position at the stop
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "codec_framework/testing/wav_files.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/playback/audio_output.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/testing/staged_player.h"
#include "bench/common/qt_benchmark_main.h"
#include "player/window/frm_main.h"

namespace fs = std::filesystem;
using namespace player;
using Clock = std::chrono::steady_clock;

namespace {

// An 8 kHz mono A-law WAV of `dataBytes` samples; the samples are a hole.
void WriteALawWav(const fs::path& file, std::uint32_t dataBytes) {
    const std::string h = Tessel::testing::WavHeader(Tessel::testing::kALawWav, dataBytes);
    std::ofstream(file, std::ios::binary).write(h.data(), std::streamsize(h.size()));
    fs::resize_file(file, h.size() + std::uintmax_t(dataBytes));
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

void Pump(std::chrono::milliseconds span) {
    for (const auto end = Clock::now() + span; Clock::now() < end;) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The highest VmRSS seen every 10 ms while it lives.
class PeakSampler {
public:
    explicit PeakSampler(long start) : peak_(start) {
        thread_ = std::jthread([this](std::stop_token stop) {
            while (!stop.stop_requested()) {
                const long now = ResidentKiB();
                long seen = peak_.load();
                while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    long Stop() {
        thread_.request_stop();
        thread_.join();
        return peak_.load();
    }

private:
    std::atomic<long> peak_;
    std::jthread thread_;
};

RecordInfo Row(const fs::path& file, const std::string& at, const std::string& duration) {
    return {true, file.string(), at, "0001", "07551234567", duration, "IN"};
}

void BM_WindowPlaysTenHours(benchmark::State& state) {
    auto staged = std::make_unique<player::testing::StagedPlayer>();
    staged->Start();
    UseAudioOutput();
    Process().PumpEvents = [] { QCoreApplication::processEvents(); };
    const fs::path calls = staged->Folder() / "calls";
    fs::create_directories(calls);
    const fs::path tenHours = calls / "0001-ten-hours.WAV", minute = calls / "0001-minute.WAV";
    WriteALawWav(tenHours, 10u * 3600 * 8000);
    WriteALawWav(minute, 60u * 8000);
    InsertFileInfo(Row(minute, "2024-05-06 09:00:00", "00:01:00"));
    InsertFileInfo(Row(tenHours, "2024-05-06 10:00:00", "10:00:00"));

    auto window = std::make_unique<frmMain>();
    window->show();
    Pump(std::chrono::milliseconds(300));

    // The operator's click on the ten-hour recording's row.
    QTableView* view = window->DataGrid1->View();
    const QAbstractItemModel* model = view->model();
    int fileColumn = -1, row = -1;
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == "FileFullName") fileColumn = c;
    for (int r = 0; fileColumn >= 0 && r < model->rowCount(); ++r)
        if (model->index(r, fileColumn).data().toString().toStdString() == tenHours.string()) row = r;
    std::string failure;
    if (row < 0) failure = "the ten-hour recording is not listed in the grid";
    if (failure.empty()) {
        const QModelIndex cell = model->index(row, 0);
        view->scrollTo(cell);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
        Pump(std::chrono::milliseconds(500));
        const auto& set = Process().rsResult;
        if (!set || set->Bof() || set->Eof() || set->Field("FileFullName") != tenHours.string())
            failure = "the click did not select the ten-hour recording";
    }

    long idle = 0, peak = 0, stopped = 0;
    double clickSeconds = 0, playedMinutes = 0;
    for (auto _ : state) {
        if (!failure.empty()) break;
        idle = ResidentKiB();
        PeakSampler sampler(idle);
        const auto clicked = Clock::now();
        QTest::mouseClick(window->cmdPlay, Qt::LeftButton);
        clickSeconds = std::chrono::duration<double>(Clock::now() - clicked).count();
        if (!Process().IsPlaying || Process().CurrentRecordFile != tenHours.string()) {
            failure = "the click on cmdPlay did not play the ten-hour recording";
            sampler.Stop();
            break;
        }
        Pump(std::chrono::seconds(4));
        std::string reply;
        if (Process().MciSend("Status \"" + ConvertTempFile() + "\" position", reply) == 0 && !reply.empty())
            playedMinutes = std::stod(reply) / 60000.0;
        QTest::mouseClick(window->CmdStop, Qt::LeftButton);
        Pump(std::chrono::milliseconds(100));
        peak = sampler.Stop();
        stopped = ResidentKiB();
        if (Process().IsPlaying) failure = "the click on CmdStop did not stop the play";
        if (playedMinutes <= 0) failure = "no sound was played (" + platform::mci::LastAudioProblem() + ")";
    }
    Process().Player->mmClose();
    window.reset();
    fs::remove(ConvertTempFile());
    staged.reset();
    if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
        return;
    }
    state.counters["idle_KiB"] = double(idle);
    state.counters["peak_KiB"] = double(peak);
    state.counters["growth_KiB"] = double(peak - idle);
    state.counters["stopped_KiB"] = double(stopped);
    state.counters["click_s"] = clickSeconds;
    state.counters["played_minutes"] = playedMinutes;
}
BENCHMARK(BM_WindowPlaysTenHours)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    // SDL's disk driver unless the caller chose an output.
    ::setenv("SDL_AUDIODRIVER", "disk", 0);
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);
    ::setenv("SDL_DISKAUDIODELAY", "0", 0);
    return bench::RunQtBenchmarks(argc, argv);
}
