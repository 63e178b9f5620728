// bench/convert: how long "Get Wave File" takes, from the call of
// ConvertFile to the target ready, for a one-minute recording of each
// format: WAV (a copy), VOC, VC2 and VC5 (VoiceCvt), NTC (VelkCodec). The
// recordings are made from one minute of speech-like audio through the same
// libraries, in the recorder's direction.
//
// BM_BareCodecCalls runs before them: the codec calls alone of the NTC
// conversion (every frame but the first decoded by the G.729 plug-in and
// encoded by the A-law plug-in, as the library's worker calls them, nothing
// else). BM_ConvertFile/NTC reports its time as a multiple of that
// ("x_bare"; the goal is at most 3): what ConvertFile, the library's start,
// its worker and the waits for it add to the decoding.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "codec_framework/testing/wav_files.h"
#include "outside/voicecvt/voicecvt_api.h"
#include "bench/common/bare_codec_calls.h"
#include "bench/common/voicecvt_recording.h"
#include "platform/dynlib/dynlib.h"
#include "player/core/convert/convert_file.h"
#include "player/core/process_state.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;

namespace {

void WriteBytes(const fs::path& file, const void* data, size_t size) {
    std::ofstream(file, std::ios::binary).write(static_cast<const char*>(data), std::streamsize(size));
}

// A minute of speech as a 16-bit PCM WAV at 8 kHz.
void WriteSpeechWav(const fs::path& file) {
    const auto pcm = Tessel::testing::SpeechLike(60, 11);
    const uint32_t data = uint32_t(pcm.size() * 2);
    const std::string h = Tessel::testing::WavHeader(Tessel::testing::kPcmWav, data);
    std::ofstream out(file, std::ios::binary);
    out.write(h.data(), std::streamsize(h.size()));
    out.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(data));
}

struct Recordings {
    std::unique_ptr<player::testing::StagedPlayer> staged = std::make_unique<player::testing::StagedPlayer>();
    fs::path folder = staged->Folder() / "calls";
    std::string ntc;  // call.NTC's bytes
    std::string error;

    Recordings() {
        staged->Start();
        for (const char* lib : {"VelkCodec.so", "VoiceCvt.so", "AuralCodecG711a.so", "AuralCodecWren2.so",
                                "AuralWren2.so"})
            staged->StageLibrary(lib);
        fs::create_directories(folder);
        WriteSpeechWav(folder / "call.WAV");
        // NTC: the G.729 plug-in's frames of the same speech.
        {
            Tessel::testing::PluginUnderTest g729("AuralCodecWren2.dll");
            auto encoder = g729.Encoder();
            encoder->Init();
            const auto pcm = Tessel::testing::SpeechLike(60, 11);
            ntc.assign(pcm.size() / 160 * 20, '\0');
            for (size_t f = 0; f < pcm.size() / 160; ++f)
                encoder->Encode(reinterpret_cast<uint8_t*>(&ntc[f * 20]), &pcm[f * 160], 1);
            WriteBytes(folder / "call.NTC", ntc.data(), ntc.size());
        }
        // VOC, VC2, VC5: through VoiceCvt, from the WAV (VOC from its A-law form).
        for (auto [ext, type] : {std::pair{"VOC", voicecvt::kTypeVoc}, {"VC2", voicecvt::kTypeVc2},
                                 {"VC5", voicecvt::kTypeVc5}}) {
            error = bench::MakeVoiceCvtRecording(folder / "call.WAV", folder / (std::string("call.") + ext), type, ext);
            if (!error.empty()) return;
        }
    }
};

Recordings& TheRecordings() {
    static Recordings r;
    return r;
}

double g_bareNtcSeconds = 0;

void BM_BareCodecCalls(benchmark::State& state) {
    Recordings& r = TheRecordings();
    if (!r.error.empty()) return state.SkipWithError(r.error.c_str());
    Tessel::testing::PluginUnderTest g729("AuralCodecWren2.dll"), alaw("AuralCodecG711a.dll");
    if (!g729.Loaded() || !alaw.Loaded()) return state.SkipWithError("the codec plug-ins did not load");
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        bench::BareG729ToALaw(g729, alaw, r.ntc);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    g_bareNtcSeconds = total / double(state.iterations());
}
BENCHMARK(BM_BareCodecCalls)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_ConvertFile(benchmark::State& state, const char* ext) {
    Recordings& r = TheRecordings();
    if (!r.error.empty()) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    const fs::path source = r.folder / (std::string("call.") + ext);
    const fs::path target = r.folder / (std::string("out-") + ext + ".wav");
    double seconds = 0;
    for (auto _ : state) {
        fs::remove(target);
        const auto t0 = std::chrono::steady_clock::now();
        ConvertFile(source.string(), target.string());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    if (!fs::exists(target)) return state.SkipWithError("no WAV file was written");
    state.counters["wav_bytes"] = double(fs::file_size(target));
    if (std::string_view(ext) == "NTC" && g_bareNtcSeconds > 0)
        state.counters["x_bare"] = seconds / double(state.iterations()) / g_bareNtcSeconds;
}
BENCHMARK_CAPTURE(BM_ConvertFile, WAV, "WAV")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_ConvertFile, VOC, "VOC")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_ConvertFile, VC2, "VC2")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_ConvertFile, VC5, "VC5")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_ConvertFile, NTC, "NTC")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
