// VoiceCvt's conversion of a one-hour VC2 or VC5 recording to WAV, file to
// file through the library as the player drives it (start, poll every
// millisecond, stop), beside the same decoding with spandsp or libopus
// called directly on the same bytes in memory.
//
// The library works on its own thread, so both sides are timed in wall
// seconds; each iteration runs both, alternating which goes first. Counters:
// codec_ms (bare decoding), direct_file_ms (bare decoding plus one write of
// the result to a file), library_ms, and the library's overhead in per cent
// of each: overhead_pct against the bare codec, overhead_file_pct against
// the bare codec writing the same file. Budget: 10 %.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "codec_framework/testing/signals.h"
#include "outside/voicecvt/voicecvt_api.h"
#include "platform/dynlib/dynlib.h"

// spandsp after the standard headers: telephony.h redefines lrint.
#include <opus.h>
#include <spandsp/telephony.h>
#include <spandsp/oki_adpcm.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr int kSeconds = 3600;

double Seconds(const auto& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void WriteFile(const fs::path& file, const void* data, size_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

// An hour of VC2: spandsp's OKI ADPCM of an hour of speech-like audio.
Bytes HourOfVc2() {
    const std::vector<int16_t> speech = Tessel::testing::SpeechLike(kSeconds, 3);
    Bytes vc2(speech.size() / 2);
    oki_adpcm_state_t* s = oki_adpcm_init(nullptr, 32000);
    oki_adpcm_encode(s, vc2.data(), speech.data(), static_cast<int>(speech.size()));
    oki_adpcm_free(s);
    return vc2;
}

// An hour of VC5: one minute of speech coded at 12 800 bit/s CBR, repeated.
Bytes HourOfVc5() {
    const std::vector<int16_t> speech = Tessel::testing::SpeechLike(60, 3);
    OpusEncoder* e = opus_encoder_create(8000, 1, OPUS_APPLICATION_VOIP, nullptr);
    opus_encoder_ctl(e, OPUS_SET_BITRATE(12800));
    opus_encoder_ctl(e, OPUS_SET_VBR(0));
    Bytes minute(speech.size() / 160 * 32);
    for (size_t f = 0; f < speech.size() / 160; ++f)
        if (opus_encode(e, &speech[f * 160], 160, &minute[f * 32], 32) != 32)
            throw std::runtime_error("libopus did not make a 32-byte frame");
    opus_encoder_destroy(e);
    Bytes hour;
    for (int m = 0; m < kSeconds / 60; ++m) hour.insert(hour.end(), minute.begin(), minute.end());
    return hour;
}

std::vector<int16_t> DecodeVc2(const Bytes& vc2) {
    std::vector<int16_t> pcm(vc2.size() * 2);
    oki_adpcm_state_t* s = oki_adpcm_init(nullptr, 32000);
    oki_adpcm_decode(s, pcm.data(), vc2.data(), static_cast<int>(vc2.size()));
    oki_adpcm_free(s);
    return pcm;
}

std::vector<int16_t> DecodeVc5(const Bytes& vc5) {
    std::vector<int16_t> pcm(vc5.size() / 32 * 160);
    OpusDecoder* d = opus_decoder_create(8000, 1, nullptr);
    for (size_t f = 0; f < vc5.size() / 32; ++f) {
        int16_t* out = &pcm[f * 160];  // a damaged frame concealed, as the library does
        if (opus_decode(d, &vc5[f * 32], 32, out, 160, 0) != 160 && opus_decode(d, nullptr, 0, out, 160, 0) != 160)
            std::fill_n(out, 160, int16_t{0});
    }
    opus_decoder_destroy(d);
    return pcm;
}

struct VoiceCvt {
    platform::dynlib::Library lib{voicecvt::kLibraryName};
    voicecvt::InitCvtFn init = reinterpret_cast<voicecvt::InitCvtFn>(lib.symbol(voicecvt::kInitCvtName));
    voicecvt::StartCvtFn start =
        reinterpret_cast<voicecvt::StartCvtFn>(lib.symbol(voicecvt::kStartCvtToFileWaveName));
    voicecvt::GetCvtVoiceProcessFn progress =
        reinterpret_cast<voicecvt::GetCvtVoiceProcessFn>(lib.symbol(voicecvt::kGetCvtVoiceProcessName));
    voicecvt::StopCvtFn stop = reinterpret_cast<voicecvt::StopCvtFn>(lib.symbol(voicecvt::kStopCvtToFileWaveName));
};

void Convert(benchmark::State& state, int32_t type, const Bytes& recording,
             std::vector<int16_t> (*decode)(const Bytes&)) {
    VoiceCvt v;
    if (!v.init || !v.start || !v.progress || !v.stop) {
        state.SkipWithError(("VoiceCvt.dll not loaded: " + platform::dynlib::LastError()).c_str());
        return;
    }
    const fs::path dir = fs::temp_directory_path();
    const fs::path source = dir / "bench_voicecvt.rec", target = dir / "bench_voicecvt.wav",
                   direct = dir / "bench_voicecvt_direct.wav";
    WriteFile(source, recording.data(), recording.size());
    double codec = 0, directFile = 0, library = 0;
    bool libraryFirst = false;
    for (auto _ : state) {
        const auto runLibrary = [&] {
            return Seconds([&] {
                v.init();
                if (v.start(source.c_str(), target.c_str(), type, 1.0) != 0) state.SkipWithError("start refused");
                while (v.progress() < 100) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                v.stop();
            });
        };
        const auto runDirect = [&] {
            std::vector<int16_t> pcm;
            const double c = Seconds([&] { pcm = decode(recording); });
            const double w = Seconds([&] { WriteFile(direct, pcm.data(), pcm.size() * 2); });
            codec += c;
            directFile += c + w;
            return c;
        };
        double lib = 0;
        if (libraryFirst) {
            lib = runLibrary();
            runDirect();
        } else {
            runDirect();
            lib = runLibrary();
        }
        libraryFirst = !libraryFirst;
        library += lib;
        state.SetIterationTime(lib);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["codec_ms"] = 1000 * codec / n;
    state.counters["direct_file_ms"] = 1000 * directFile / n;
    state.counters["library_ms"] = 1000 * library / n;
    state.counters["overhead_pct"] = 100 * (library - codec) / codec;
    state.counters["overhead_file_pct"] = 100 * (library - directFile) / directFile;
    fs::remove(source);
    fs::remove(target);
    fs::remove(direct);
}

void BM_Vc2HourToWave(benchmark::State& state) {
    static const Bytes hour = HourOfVc2();
    Convert(state, voicecvt::kTypeVc2, hour, DecodeVc2);
}
void BM_Vc5HourToWave(benchmark::State& state) {
    static const Bytes hour = HourOfVc5();
    Convert(state, voicecvt::kTypeVc5, hour, DecodeVc5);
}

BENCHMARK(BM_Vc2HourToWave)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_Vc5HourToWave)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

}  // namespace

BENCHMARK_MAIN();
