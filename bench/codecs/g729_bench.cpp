// G.729 speed: the bridge plug-in AuralCodecWren2 (over the outside library
// AuralWren2) against Debian's bcg729 called directly, in the same run.
//
// Both sides code the same ten seconds of speech-like audio. The bridge is
// driven as the conversion library drives it, one 20 ms frame per call; the
// peer calls bcg729 per 10 ms block, the least any caller can do. Each
// direction reports both real-time factors (seconds of audio per CPU second)
// and the bridge's overhead; the closing lines compare the median overhead
// with its budget of 5 %.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "codec_framework/dll_helper.h"
#include "codec_framework/plugin_export.h"
#include "codec_framework/ref.h"
#include "codec_framework/testing/signals.h"
#include "outside/wren2/bcg729.h"

namespace {
using namespace Tessel;

constexpr double kSeconds = 10;
const std::vector<int16_t> kSpeech = testing::SpeechLike(kSeconds, 11);
const size_t kFrames = kSpeech.size() / 160;

// The plug-in loaded by name, as the conversion library loads it.
struct Bridge {
    TDLLHelper<> dll{"AuralCodecWren2.dll"};
    Ref<ICodecEncoder> enc;
    Ref<ICodecDecoder> dec;
    std::string error;

    Bridge() {
        auto create = reinterpret_cast<CreateCodecFactoryFn>(dll.GetExport(kCreateCodecFactoryName));
        if (!create) {
            error = "AuralCodecWren2 did not load: " + platform::dynlib::LastError();
            return;
        }
        Ref<ICodecFactory> factory(create());
        enc = Ref<ICodecEncoder>(factory->CreateEncoder());
        dec = Ref<ICodecDecoder>(factory->CreateDecoder());
        if (enc->Init() != 0 || dec->Init() != 0) error = "the bridge could not bind AuralWren2";
    }
};

std::vector<uint8_t> CodedSpeech() {
    std::vector<uint8_t> coded(kFrames * 20);
    auto* e = initBcg729EncoderChannel(0);
    uint8_t length;
    for (size_t b = 0; b < 2 * kFrames; ++b) bcg729Encoder(e, &kSpeech[b * 80], &coded[b * 10], &length);
    closeBcg729EncoderChannel(e);
    return coded;
}
const std::vector<uint8_t> kCoded = CodedSpeech();

// CPU seconds this thread spends in f: other processes on the machine
// slow the wall clock of either side, not this.
template <class F>
double CpuSeconds(F&& f) {
    timespec t0, t1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    f();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    return double(t1.tv_sec - t0.tv_sec) + 1e-9 * double(t1.tv_nsec - t0.tv_nsec);
}

// Each iteration codes the ten seconds once directly and once through the
// bridge, in alternating order, so that both sides see the same machine.
// Reports both real-time factors and the bridge's overhead in per cent.
template <class Direct, class ViaBridge>
void SideBySide(benchmark::State& state, Direct direct, ViaBridge viaBridge) {
    double directSeconds = 0, bridgeSeconds = 0;
    auto runDirect = [&] { directSeconds += CpuSeconds(direct); };
    auto runBridge = [&] { bridgeSeconds += CpuSeconds(viaBridge); };
    bool bridgeFirst = false;
    for (auto _ : state) {
        const double before = directSeconds + bridgeSeconds;
        if (bridgeFirst) {
            runBridge();
            runDirect();
        } else {
            runDirect();
            runBridge();
        }
        state.SetIterationTime(directSeconds + bridgeSeconds - before);
        bridgeFirst = !bridgeFirst;
    }
    const double audio = kSeconds * double(state.iterations());
    state.counters["bcg729_x_realtime"] = audio / directSeconds;
    state.counters["bridge_x_realtime"] = audio / bridgeSeconds;
    state.counters["overhead_pct"] = 100 * (bridgeSeconds / directSeconds - 1);
}

void Encode(benchmark::State& state) {
    Bridge bridge;
    if (!bridge.error.empty()) return state.SkipWithError(bridge.error.c_str());
    auto* channel = initBcg729EncoderChannel(0);
    std::vector<uint8_t> out(kCoded.size());
    SideBySide(
        state,
        [&] {
            uint8_t length;
            for (size_t b = 0; b < 2 * kFrames; ++b) bcg729Encoder(channel, &kSpeech[b * 80], &out[b * 10], &length);
            benchmark::DoNotOptimize(out.data());
        },
        [&] {
            for (size_t f = 0; f < kFrames; ++f) bridge.enc->Encode(&out[f * 20], &kSpeech[f * 160], 1);
            benchmark::DoNotOptimize(out.data());
        });
    closeBcg729EncoderChannel(channel);
}

void Decode(benchmark::State& state) {
    Bridge bridge;
    if (!bridge.error.empty()) return state.SkipWithError(bridge.error.c_str());
    auto* channel = initBcg729DecoderChannel();
    std::vector<int16_t> out(kSpeech.size());
    SideBySide(
        state,
        [&] {
            for (size_t b = 0; b < 2 * kFrames; ++b) bcg729Decoder(channel, &kCoded[b * 10], 10, 0, 0, 0, &out[b * 80]);
            benchmark::DoNotOptimize(out.data());
        },
        [&] {
            for (size_t f = 0; f < kFrames; ++f) bridge.dec->Decode(&out[f * 160], &kCoded[f * 20], 1, 0);
            benchmark::DoNotOptimize(out.data());
        });
    closeBcg729DecoderChannel(channel);
}

BENCHMARK(Encode)->Name("G729/Encode")->UseManualTime()->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode)->Name("G729/Decode")->UseManualTime()->Repetitions(5)->Unit(benchmark::kMillisecond);

// The console report, plus the median overhead of each direction kept for
// the closing lines.
class OverheadKeeper : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> overhead;  // by benchmark name
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.aggregate_name == "median") overhead[run.run_name.function_name] = run.counters.at("overhead_pct");
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    OverheadKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& [name, pct] : reporter.overhead)
        std::printf("%s through the bridge: %+.2f %% against bcg729 directly (median; %s the 5 %% budget)\n",
                    name.c_str(), pct, pct < 5 ? "within" : "OVER");
}
