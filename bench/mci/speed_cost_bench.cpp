// What a speed other than 1x costs the audio thread: a play stream over a
// minute of 8 kHz A-law speech-like audio (in the page cache) filled in the
// device's buffers of 1024 frames from its start to its end, as the SDL
// callback fills them. The counter core_percent is the CPU time spent per
// second of sound handed out, as a share of one core (goal at 2x: under
// 5 %); BM_Fill/1000 is the stream without the stretcher, the floor.
// BM_Fill/1000/skip adds skipping the silence of the same minute.
#include <benchmark/benchmark.h>
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codec_framework/testing/signals.h"
#include "codec_framework/testing/wav_files.h"
#include "platform/mci/play_stream.h"
#include "platform/mci/silence_bands.h"

namespace {

namespace fs = std::filesystem;
using platform::mci::PlayStream;
using platform::mci::WavFile;

constexpr uint32_t kRate = 8000;

double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A minute of speech with a 10-second pause in its middle, written once.
const fs::path& Minute() {
    static const fs::path file = [] {
        std::string templ = (fs::temp_directory_path() / "calldeck-speed-XXXXXX").string();
        if (!::mkdtemp(templ.data())) std::abort();
        const fs::path path = fs::path(templ) / "minute.wav";
        const std::vector<int16_t> speech = Tessel::testing::SpeechLike(60, 1);
        std::string data;
        for (size_t i = 0; i < speech.size(); ++i)
            data += char(linear_to_alaw(i >= 25 * kRate && i < 35 * kRate ? 0 : speech[i]));
        std::ofstream(path, std::ios::binary)
            << Tessel::testing::WavHeader(Tessel::testing::kALawWav, uint32_t(data.size())) << data;
        return path;
    }();
    return file;
}

void BM_Fill(benchmark::State& state) {
    const uint32_t speed = static_cast<uint32_t>(state.range(0));
    const bool skip = state.range(1) != 0;
    std::vector<int16_t> buffer(1024);
    uint64_t handed = 0;
    const double cpuStart = ThreadCpuSeconds();
    for (auto _ : state) {
        auto wav = WavFile::Open(Minute().string());
        if (!wav) {
            state.SkipWithError("the minute's file cannot be opened");
            return;
        }
        std::vector<platform::mci::SilenceBand> bands;
        if (skip) bands = platform::mci::FindSilenceBands(*wav);
        PlayStream stream(std::move(*wav));
        stream.SetSpeed(speed);
        stream.SkipSilence(bands);
        while (!stream.Finished()) {
            const size_t got = stream.Fill(buffer.data(), buffer.size());
            handed += got;
            if (got == 0) break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    const double cpu = ThreadCpuSeconds() - cpuStart, sound = double(handed) / kRate;
    state.counters["sound_s"] = benchmark::Counter(sound, benchmark::Counter::kAvgIterations);
    state.counters["core_percent"] = sound > 0 ? 100.0 * cpu / sound : 0;
}
BENCHMARK(BM_Fill)
    ->ArgNames({"speed", "skip"})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({500, 0})
    ->Args({1250, 0})
    ->Args({1500, 0})
    ->Args({2000, 0})
    ->Args({2000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
