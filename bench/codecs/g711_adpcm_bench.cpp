// Throughput of the A-law and Dialogic ADPCM plug-ins against Debian's
// spandsp, measured in the same run on the same 60 seconds of speech-like
// audio at 8000 Hz.
//
// Our side is the plug-ins as a host drives them: loaded by their table
// names, one Encode or Decode call over all 3000 frames. spandsp's side is
// its buffer functions (g711_encode/g711_decode, oki_adpcm_encode/decode at
// 32 and 24 kbit/s) over the same buffer. Each benchmark reports MB/s of PCM
// (2 bytes a sample, either direction) and the real-time factor (seconds of
// audio per second of work), and the ratio of our speed to spandsp's, in a
// table printed at the end; they come from CPU time, since the machine may
// be shared.
//
//   build/release/bin/bench_g711_adpcm [--benchmark_repetitions=5 ...]
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/oki_adpcm.h>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"

using Tessel::testing::PluginUnderTest;

namespace {

constexpr double kSeconds = 60;
constexpr int32_t kFrames = int32_t(kSeconds * 50);
constexpr size_t kSamples = size_t(kFrames) * 160;

const std::vector<int16_t>& Speech() {
    static const std::vector<int16_t> speech = Tessel::testing::SpeechLike(kSeconds, 1);
    return speech;
}

void Count(benchmark::State& state) { state.SetBytesProcessed(int64_t(kSamples) * 2 * state.iterations()); }

struct Codec {
    const char* table;  // the name the conversion library loads it by
    size_t codedFrame;
};

void OursEncode(benchmark::State& state, Codec codec) {
    PluginUnderTest plugin(codec.table);
    if (!plugin.Loaded()) return state.SkipWithError((std::string(codec.table) + " did not load").c_str());
    auto enc = plugin.Encoder();
    std::vector<uint8_t> out(size_t(kFrames) * codec.codedFrame);
    for (auto _ : state) {
        enc->Encode(out.data(), Speech().data(), kFrames);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    Count(state);
}

void OursDecode(benchmark::State& state, Codec codec) {
    PluginUnderTest plugin(codec.table);
    if (!plugin.Loaded()) return state.SkipWithError((std::string(codec.table) + " did not load").c_str());
    std::vector<uint8_t> coded(size_t(kFrames) * codec.codedFrame);
    plugin.Encoder()->Encode(coded.data(), Speech().data(), kFrames);
    auto dec = plugin.Decoder();
    std::vector<int16_t> out(kSamples);
    for (auto _ : state) {
        dec->Decode(out.data(), coded.data(), kFrames, 0);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    Count(state);
}

void SpandspAlawEncode(benchmark::State& state) {
    g711_state_t* g = g711_init(nullptr, G711_ALAW);
    std::vector<uint8_t> out(kSamples);
    for (auto _ : state) {
        g711_encode(g, out.data(), Speech().data(), int(kSamples));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    g711_free(g);
    Count(state);
}

void SpandspAlawDecode(benchmark::State& state) {
    g711_state_t* g = g711_init(nullptr, G711_ALAW);
    std::vector<uint8_t> coded(kSamples);
    g711_encode(g, coded.data(), Speech().data(), int(kSamples));
    std::vector<int16_t> out(kSamples);
    for (auto _ : state) {
        g711_decode(g, out.data(), coded.data(), int(kSamples));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    g711_free(g);
    Count(state);
}

void SpandspOkiEncode(benchmark::State& state, int bitRate) {
    oki_adpcm_state_t* s = oki_adpcm_init(nullptr, bitRate);
    std::vector<uint8_t> out(kSamples);
    for (auto _ : state) {
        oki_adpcm_encode(s, out.data(), Speech().data(), int(kSamples));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    oki_adpcm_free(s);
    Count(state);
}

void SpandspOkiDecode(benchmark::State& state, int bitRate) {
    oki_adpcm_state_t* s = oki_adpcm_init(nullptr, bitRate);
    std::vector<uint8_t> coded(kSamples);
    coded.resize(size_t(oki_adpcm_encode(s, coded.data(), Speech().data(), int(kSamples))));
    oki_adpcm_free(s);
    s = oki_adpcm_init(nullptr, bitRate);
    std::vector<int16_t> out(kSamples + 64);
    for (auto _ : state) {
        // Each pass decodes the 60 seconds; the 24 kbit/s filter's few
        // samples of delay make it give back slightly fewer.
        benchmark::DoNotOptimize(oki_adpcm_decode(s, out.data(), coded.data(), int(coded.size())));
        benchmark::ClobberMemory();
    }
    oki_adpcm_free(s);
    Count(state);
}

// The console output, followed by a table of each pair: MB/s of PCM and
// the real-time factor from CPU time (the median when repeated), and our
// speed over spandsp's.
class PairReporter : public benchmark::ConsoleReporter {
public:
    PairReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const std::string& name = r.run_name.function_name;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (!median && (r.run_type != Run::RT_Iteration || medians_.count(name))) continue;
            if (median) medians_.insert(name);
            if (!seconds_.count(name)) order_.push_back(name);
            seconds_[name] = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-16s %21s %23s %13s\n", "", "MB/s of PCM", "x real time", "ours/spandsp");
        std::printf("%-16s %10s %10s %11s %11s\n", "", "ours", "spandsp", "ours", "spandsp");
        const double mb = double(kSamples) * 2 / 1e6;
        for (const std::string& name : order_) {
            const auto slash = name.rfind("/ours");
            if (slash == std::string::npos) continue;
            const std::string pair = name.substr(0, slash);
            const auto peer = seconds_.find(pair + "/spandsp");
            if (peer == seconds_.end()) continue;
            const double ours = seconds_[name], theirs = peer->second;
            std::printf("%-16s %10.0f %10.0f %11.0f %11.0f %12.2fx\n", pair.c_str(), mb / ours, mb / theirs,
                        kSeconds / ours, kSeconds / theirs, theirs / ours);
        }
        std::printf("goals: A-law at least 2x spandsp's speed, ADPCM at least 1x\n");
    }

private:
    std::map<std::string, double> seconds_;
    std::set<std::string> medians_;
    std::vector<std::string> order_;
};

}  // namespace

int main(int argc, char** argv) {
    const Codec alaw{"AuralCodecG711a.dll", 160}, dlg32{"AuralCodecDlg32K.dll", 80}, dlg24{"AuralCodecDlg24k.dll", 60};
    benchmark::RegisterBenchmark("alaw_encode/ours", OursEncode, alaw);
    benchmark::RegisterBenchmark("alaw_encode/spandsp", SpandspAlawEncode);
    benchmark::RegisterBenchmark("alaw_decode/ours", OursDecode, alaw);
    benchmark::RegisterBenchmark("alaw_decode/spandsp", SpandspAlawDecode);
    benchmark::RegisterBenchmark("adpcm32k_encode/ours", OursEncode, dlg32);
    benchmark::RegisterBenchmark("adpcm32k_encode/spandsp", SpandspOkiEncode, 32000);
    benchmark::RegisterBenchmark("adpcm32k_decode/ours", OursDecode, dlg32);
    benchmark::RegisterBenchmark("adpcm32k_decode/spandsp", SpandspOkiDecode, 32000);
    benchmark::RegisterBenchmark("adpcm24k_encode/ours", OursEncode, dlg24);
    benchmark::RegisterBenchmark("adpcm24k_encode/spandsp", SpandspOkiEncode, 24000);
    benchmark::RegisterBenchmark("adpcm24k_decode/ours", OursDecode, dlg24);
    benchmark::RegisterBenchmark("adpcm24k_decode/spandsp", SpandspOkiDecode, 24000);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PairReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
