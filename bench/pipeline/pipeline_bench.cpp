// The conversion pipeline's own cost: the worker's frame loop (decode ->
// gain control -> encode -> write to the target file) over a one-hour
// recording, beside the bare codec calls on the same data in the same run.
//
// The loop is timed on its own, without the job's start and its worker
// thread, so the figures say what the pipeline adds to the codecs: mapping
// reads, the gain control when a recording asks for it, the buffered
// writes. Each iteration converts the hour once with bare codec calls and
// once through the loop, alternating which goes first, and both are timed
// in CPU seconds of this thread (system time of the writes included), so
// other work on the machine does not tilt the comparison. Counters:
// frames per second of each side and the pipeline's overhead in per cent
// of the codecs' time; its budget is 20 % with the gain control off.
//
// Conversions measured: G.729 -> A-law (the player's own) and A-law ->
// linear, each once its plug-ins are built, and G.729 -> linear.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "converter/frame_loop.h"
#include "converter/source_file.h"
#include "converter/source_layout.h"

namespace {

namespace fs = std::filesystem;
using Tessel::Ref;
using Tessel::testing::PluginUnderTest;

constexpr int kSourceMinutes = 60;

double CpuSeconds(const auto& f) {
    timespec t0, t1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    f();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    return double(t1.tv_sec - t0.tv_sec) + 1e-9 * double(t1.tv_nsec - t0.tv_nsec);
}

// One conversion's codecs, loaded by name as the conversion library loads
// them, and a one-hour source recording in the source format.
struct Conversion {
    PluginUnderTest source, target;
    Ref<Tessel::ICodecDecoder> decoder;
    Ref<Tessel::ICodecEncoder> encoder;
    fs::path sourceFile, targetFile;
    velk::SourceFile file;  // the worker's reader
    std::vector<uint8_t> image;  // the whole source in memory, for the bare codecs
    velk::SourceLayout layout;
    uint32_t sourceFrame = 0, targetFrame = 0;
    std::string error;

    Conversion(const std::string& sourceLib, const std::string& targetLib, const std::string& tag)
        : source(sourceLib), target(targetLib) {
        if (!source.Loaded() || !target.Loaded()) {
            error = sourceLib + " or " + targetLib + " did not load";
            return;
        }
        decoder = source.Decoder();
        encoder = target.Encoder();
        if (decoder->Init() != 0 || encoder->Init() != 0) {
            error = "a codec of " + tag + " is not ready";
            return;
        }
        sourceFrame = uint32_t(decoder->GetCodedFrameSize());
        targetFrame = uint32_t(encoder->GetCodedFrameSize());
        sourceFile = fs::temp_directory_path() / ("pipeline-bench-" + tag + ".src");
        targetFile = fs::temp_directory_path() / ("pipeline-bench-" + tag + ".out");
        WriteSource();
        auto factory = source.Factory();
        std::ifstream in(sourceFile, std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), {});
        if (!file.Open(sourceFile.string()) ||
            velk::MeasureSource(*factory.get(), image.data(), uint32_t(image.size()), uint32_t(image.size()),
                                sourceFrame, layout) != 0)
            error = "the generated source of " + tag + " was not accepted";
    }
    ~Conversion() {
        std::error_code ignored;
        fs::remove(sourceFile, ignored);
        fs::remove(targetFile, ignored);
    }

    // A minute of speech coded with the source codec's own encoder,
    // repeated to an hour, behind the codec's header where it carries one.
    void WriteSource() {
        const auto pcm = Tessel::testing::SpeechLike(60, 5);
        const int frames = int(pcm.size() / 160);
        auto coder = source.Encoder();
        coder->Init();
        std::vector<uint8_t> minute(size_t(frames) * sourceFrame);
        for (int f = 0; f < frames; ++f) coder->Encode(&minute[size_t(f) * sourceFrame], &pcm[size_t(f) * 160], 1);
        std::FILE* out = std::fopen(sourceFile.c_str(), "wb");
        if (coder->GetOwnHeaderSize() > 0) {
            uint8_t header[128];
            const int32_t n = coder->WriteHeader(header, uint32_t(minute.size() * kSourceMinutes));
            std::fwrite(header, 1, size_t(n), out);
        }
        for (int m = 0; m < kSourceMinutes; ++m) std::fwrite(minute.data(), 1, minute.size(), out);
        std::fclose(out);
    }

    uint64_t FirstFrameOffset() const { return uint64_t(layout.headerSize) + sourceFrame; }
    const uint8_t* FirstFrame() const { return image.data() + FirstFrameOffset(); }

    // The codecs alone: decode and encode every frame, nothing else.
    void Bare() {
        alignas(16) int16_t pcm[velk::kPcmBufferBytes / 2];
        alignas(16) uint8_t coded[velk::kCodedBufferBytes];
        const uint8_t* cursor = FirstFrame();
        for (uint32_t i = 0; i < layout.frames; ++i, cursor += sourceFrame) {
            decoder->Decode(pcm, cursor, 1, 0);
            encoder->Encode(coded, pcm, 1);
            benchmark::DoNotOptimize(coded);
        }
    }

    // The worker's loop, into a fresh target file.
    void Pipeline(bool gainControl) {
        velk::TargetFile target;
        target.Open(targetFile.string());
        velk::FramePipeline p;
        p.decoder = decoder.get();
        p.encoder = encoder.get();
        p.target = &target;
        p.source = &file;
        file.Seek(FirstFrameOffset());
        p.frames = int32_t(layout.frames);
        p.sourceFrameSize = sourceFrame;
        p.targetFrameSize = targetFrame;
        p.gainControl = gainControl;
        std::atomic<int32_t> progress{0}, stop{0};
        velk::RunFrames(p, progress, stop);
        target.Close();
    }
};

void Measure(benchmark::State& state, const char* sourceLib, const char* targetLib, const char* tag) {
    static std::map<std::string, std::unique_ptr<Conversion>> made;
    auto& c = made[tag];
    if (!c) c = std::make_unique<Conversion>(sourceLib, targetLib, tag);
    if (!c->error.empty()) return state.SkipWithError(c->error.c_str());
    const bool gainControl = state.range(0) != 0;

    double bare = 0, pipeline = 0;
    bool bareFirst = true;
    for (auto _ : state) {
        auto runBare = [&] { bare += CpuSeconds([&] { c->Bare(); }); };
        auto runPipeline = [&] { pipeline += CpuSeconds([&] { c->Pipeline(gainControl); }); };
        if (bareFirst) runBare(), runPipeline();
        else runPipeline(), runBare();
        bareFirst = !bareFirst;
    }
    const double n = double(state.iterations()) * c->layout.frames;
    state.counters["codec_frames_per_s"] = n / bare;
    state.counters["pipeline_frames_per_s"] = n / pipeline;
    state.counters["overhead_pct"] = 100 * (pipeline - bare) / bare;
    state.SetLabel(gainControl ? "gain control on" : "gain control off (budget 20 %)");
}

}  // namespace

#if VELK_BENCH_HAVE_G711A && VELK_BENCH_HAVE_WREN2
BENCHMARK_CAPTURE(Measure, G729ToALaw, "AuralCodecWren2.dll", "AuralCodecG711a.dll", "g729-alaw")
    ->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(4);
#endif
#if VELK_BENCH_HAVE_G711A
BENCHMARK_CAPTURE(Measure, ALawToLinear, "AuralCodecG711a.dll", "AuralCodecLinear.dll", "alaw-linear")
    ->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);
#endif
#if VELK_BENCH_HAVE_WREN2
BENCHMARK_CAPTURE(Measure, G729ToLinear, "AuralCodecWren2.dll", "AuralCodecLinear.dll", "g729-linear")
    ->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(4);
#endif

BENCHMARK_MAIN();
