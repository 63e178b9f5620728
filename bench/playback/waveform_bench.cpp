// bench/playback: the waveform strip. The recording is an hour at 8 kHz,
// speech with a 10-second silence every minute, in the page cache.
//   BM_Waveform/alaw, /pcm16  ComputeWaveform: peaks and silences in one
//                pass (goal: under 100 ms). Counters: held_KiB, what the
//                waveform keeps (goal: under 1 MB); heap_peak_KiB, the most
//                the reading held on the heap at once; bands, the silences.
//   BM_DecodeOnly             the A-law file only read and decoded: the floor.
//   BM_SilenceBands           FindSilenceBands alone (A-law), as the MCI layer calls it.
//   BM_TenHours               ComputeWaveform of a ten-hour A-law file (sparse).
//   BM_DropJob                a WaveformJob on the ten-hour file dropped 50 ms
//                after its start: the stop and join, what a new recording waits.
//   BM_StripRepaint/1400      the strip with the hour's waveform, half played,
//                rendered into a 1400 x 72 image off screen (goal: under 4 ms).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QImage>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <thread>

#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>

#include "bench/common/qt_benchmark_main.h"
#include "codec_framework/testing/signals.h"
#include "codec_framework/testing/wav_files.h"
#include "platform/mci/silence_bands.h"
#include "player/core/playback/playback.h"
#include "player/core/playback/waveform.h"
#include "player/core/playback/waveform_job.h"
#include "player/core/process_state.h"
#include "player/core/testing/staged_player.h"
#include "player/window/wave_strip.h"

// Every allocation of the program counted, for what the reading holds at its most.
namespace {
std::atomic<long long> liveBytes{0}, peakBytes{0};
}
void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    const long long now = liveBytes += static_cast<long long>(malloc_usable_size(p));
    for (long long peak = peakBytes; now > peak && !peakBytes.compare_exchange_weak(peak, now);) {
    }
    return p;
}
void operator delete(void* p) noexcept {
    if (p) liveBytes -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace fs = std::filesystem;
using namespace player;

namespace {

constexpr int kHour = 3600, kRate = 8000;

const fs::path& Folder() {
    static const fs::path folder = [] {
        std::string templ = (fs::temp_directory_path() / "calldeck-waveform-XXXXXX").string();
        if (!::mkdtemp(templ.data())) std::abort();
        return fs::path(templ);
    }();
    return folder;
}

// The hour's file in A-law or 16-bit PCM, written once.
fs::path HourFile(bool alaw) {
    const fs::path file = Folder() / (alaw ? "hour-alaw.wav" : "hour-pcm16.wav");
    if (fs::exists(file)) return file;
    const std::vector<int16_t> speech = Tessel::testing::SpeechLike(50, 1);
    std::string minute;
    for (int i = 0; i < 60 * kRate; ++i) {
        const int16_t s = i < int(speech.size()) ? speech[std::size_t(i)] : 0;
        if (alaw)
            minute += char(linear_to_alaw(s));
        else
            minute += char(s & 0xFF), minute += char((s >> 8) & 0xFF);
    }
    std::ofstream out(file, std::ios::binary);
    out << Tessel::testing::WavHeader(alaw ? Tessel::testing::kALawWav : Tessel::testing::kPcmWav,
                                      uint32_t(minute.size() * 60));
    for (int m = 0; m < 60; ++m) out << minute;
    return file;
}

fs::path TenHourFile() {
    const fs::path file = Folder() / "ten-hours.wav";
    if (fs::exists(file)) return file;
    const std::uint32_t bytes = 10u * kHour * kRate;
    std::ofstream(file, std::ios::binary) << Tessel::testing::WavHeader(Tessel::testing::kALawWav, bytes);
    fs::resize_file(file, fs::file_size(file) + bytes);
    return file;
}

platform::mci::WavFile Opened(const fs::path& file) {
    auto wav = platform::mci::WavFile::Open(file.string());
    if (!wav) std::abort();
    return std::move(*wav);
}

void BM_Waveform(benchmark::State& state, bool alaw) {
    platform::mci::WavFile wav = Opened(HourFile(alaw));
    std::size_t held = 0, bands = 0;
    long long heap = 0;
    for (auto _ : state) {
        const long long before = liveBytes;
        peakBytes = before;
        Waveform w = ComputeWaveform(wav);
        heap = std::max(heap, peakBytes - before);
        held = w.Bytes();
        bands = w.silences.size();
        benchmark::DoNotOptimize(w);
    }
    state.counters["held_KiB"] = double(held) / 1024;
    state.counters["heap_peak_KiB"] = double(heap) / 1024;
    state.counters["bands"] = double(bands);
}
BENCHMARK_CAPTURE(BM_Waveform, alaw, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Waveform, pcm16, false)->Unit(benchmark::kMillisecond);

void BM_DecodeOnly(benchmark::State& state) {
    platform::mci::WavFile wav = Opened(HourFile(true));
    std::vector<int16_t> block(16384);
    for (auto _ : state)
        for (uint64_t at = 0; at < wav.Frames();) at += wav.Read(at, block.size(), block.data());
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond);

void BM_SilenceBands(benchmark::State& state) {
    platform::mci::WavFile wav = Opened(HourFile(true));
    for (auto _ : state) benchmark::DoNotOptimize(platform::mci::FindSilenceBands(wav));
}
BENCHMARK(BM_SilenceBands)->Unit(benchmark::kMillisecond);

void BM_TenHours(benchmark::State& state) {
    platform::mci::WavFile wav = Opened(TenHourFile());
    for (auto _ : state) benchmark::DoNotOptimize(ComputeWaveform(wav));
}
BENCHMARK(BM_TenHours)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_DropJob(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto job = std::make_unique<WaveformJob>(Opened(TenHourFile()));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        state.ResumeTiming();
        job.reset();
    }
}
BENCHMARK(BM_DropJob)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_StripRepaint(benchmark::State& state) {
    testing::StagedPlayer staged;
    staged.Start();
    fs::copy_file(HourFile(true), ConvertTempFile(), fs::copy_options::overwrite_existing);
    PlayerProcess& p = Process();
    p.CurrentRecordFile = "hour.WAV";
    p.CurrentDuration = kHour;
    p.CurrentPosition = kHour / 2.0f;
    p.IsPlaying = true;
    const int width = int(state.range(0));
    WaveStrip strip;
    strip.resize(width, 72);
    strip.ShowPlayback();
    for (int i = 0; i < 2000 && !strip.Shown(); ++i) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!strip.Shown()) state.SkipWithError("the waveform was not read within 10 s");
    QImage image(width, 72, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        strip.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    p.IsPlaying = false;
}
BENCHMARK(BM_StripRepaint)->Arg(1400)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const int rc = bench::RunQtBenchmarks(argc, argv);
    std::error_code ec;
    fs::remove_all(Folder(), ec);
    return rc;
}
