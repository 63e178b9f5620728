// VelkCodec as the player meets it: loaded by name, driven only through
// cvt_VelkCodec, cvt_GetConvertProgress and cvt_StopConvert.
//
// Each case is its own process (the library's state is process-wide). The
// waiting calls wait on the worker's end itself: a conversion costs its
// frames, and a collection or a stop returns as soon as the worker has
// ended, at once when none runs. Where a case says "at once" or "as soon
// as", its bound (half a second) is far above what the calls take and
// below the second the calls once slept.
#include "converter/result_text.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int32_t kLinearCode = 16;

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Far above what a call that does not sleep takes, even under the sanitizers
// on a busy machine, and half the second those calls once slept.
constexpr double kAtOnce = 0.5;

class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib.Loaded()) << "VelkCodec.dll did not load: " << platform::dynlib::LastError(); }
    int32_t Start(const fs::path& source, int32_t sourceCode, const fs::path& target, int32_t targetCode) {
        return lib.start(source.c_str(), sourceCode, target.c_str(), targetCode);
    }
    // Polls the progress as the player does until it reports 100.
    void PollToTheEnd() {
        const auto limit = Clock::now() + 30s;
        while (lib.progress() < 100) {
            ASSERT_LT(Clock::now(), limit) << "the conversion never reached 100 per cent";
            std::this_thread::sleep_for(20ms);
        }
    }
    // A linear source of `frames` frames and what its conversion must give.
    Bytes LinearSource(const fs::path& file, int frames) {
        const Bytes source = LinearFrames(frames);
        WriteFile(file, source);
        return source;
    }
    static void ExpectLinearConversion(const fs::path& target, const Bytes& source) {
        const Bytes t = ReadFile(target);
        ASSERT_EQ(t.size(), 58 + source.size() - 320) << target;
        EXPECT_TRUE(std::equal(t.begin() + 58, t.end(), source.begin() + 320)) << target << " differs from its source";
    }

    TempDir dir;
    VelkCodecLibrary lib;
};

TEST_F(EntryPoints, ProgressIsZeroAtOnceWhenNothingWasEverStarted) {
    const auto t0 = Clock::now();
    EXPECT_EQ(lib.progress(), 0);
    EXPECT_LT(SecondsSince(t0), kAtOnce) << "a progress below 100 must be answered at once";
}

TEST_F(EntryPoints, UnknownCodesAreReportedBeforeAMissingSource) {
    LinearSource(dir / "s.raw", 3);
    EXPECT_EQ(Start(dir / "s.raw", kLinearCode, dir / "t.wav", 4), kTargetLibraryNotLoaded);
    EXPECT_EQ(Start(dir / "s.raw", -1, dir / "t.wav", kLinearCode), kSourceLibraryNotLoaded);
    EXPECT_EQ(Start(dir / "missing", kLinearCode, dir / "t.wav", 99), kTargetLibraryNotLoaded)
        << "library failures must be reported before file failures";
    EXPECT_EQ(Start(dir / "missing", kLinearCode, dir / "t.wav", kLinearCode), kSourceNotOpened);
    EXPECT_EQ(lib.start(nullptr, kLinearCode, nullptr, kLinearCode), kSourceNotOpened) << "null paths";
    EXPECT_FALSE(fs::exists(dir / "t.wav")) << "a refused start created the target";
    EXPECT_EQ(lib.progress(), 0);
}

TEST_F(EntryPoints, RefusesAnotherStartUntilTheConversionIsCollected) {
    const Bytes source = LinearSource(dir / "s.raw", 2);
    ASSERT_EQ(Start(dir / "s.raw", kLinearCode, dir / "t.wav", kLinearCode), kStarted);
    EXPECT_EQ(Start(dir / "s.raw", kLinearCode, dir / "second.wav", kLinearCode), kJobExists);
    EXPECT_FALSE(fs::exists(dir / "second.wav")) << "a refused start must change nothing";

    // Let the worker finish without polling the progress: still refused.
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(dir / "t.wav").size() == 58 + 320; }, 30s));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Start(dir / "s.raw", kLinearCode, dir / "second.wav", kLinearCode), kJobExists)
        << "a finished conversion that was never collected must still block a start";

    const auto t0 = Clock::now();
    EXPECT_EQ(lib.progress(), 100);
    EXPECT_LT(SecondsSince(t0), kAtOnce) << "collecting a conversion whose worker had ended did not return at once";
    ExpectLinearConversion(dir / "t.wav", source);

    ASSERT_EQ(Start(dir / "s.raw", kLinearCode, dir / "second.wav", kLinearCode), kStarted)
        << "a start after the collection was refused";
    EXPECT_EQ(lib.stop(), 0);
}

TEST_F(EntryPoints, ACollectedConversionKeepsAnswering100AtOnce) {
    const Bytes source = LinearSource(dir / "s.raw", 30);
    ASSERT_EQ(Start(dir / "s.raw", kLinearCode, dir / "t.wav", kLinearCode), kStarted);
    PollToTheEnd();
    ExpectLinearConversion(dir / "t.wav", source);
    const auto t0 = Clock::now();
    EXPECT_EQ(lib.progress(), 100);
    EXPECT_EQ(lib.stop(), 0) << "the player always ends with a stop, also after 100";
    EXPECT_EQ(lib.progress(), 100) << "the progress must outlive the job";
    EXPECT_LT(SecondsSince(t0), kAtOnce) << "a poll and a stop after the collection did not return at once";
}

TEST_F(EntryPoints, AStopWhileIdleReturnsAtOnceAndHasNoLastingEffect) {
    const auto t0 = Clock::now();
    EXPECT_EQ(lib.stop(), 0);
    EXPECT_LT(SecondsSince(t0), kAtOnce) << "a stop with no conversion did not return at once";
    const Bytes source = LinearSource(dir / "s.raw", 10);
    ASSERT_EQ(Start(dir / "s.raw", kLinearCode, dir / "t.wav", kLinearCode), kStarted);
    PollToTheEnd();
    ExpectLinearConversion(dir / "t.wav", source);  // not cut short by the old stop request
}

// The slow stand-in staged as the G.729 plug-in, so code 3 takes the road
// of the player's conversion, each frame 300 ms. The worker begins its
// first frame at once; a collection through the progress and a stop during
// a frame each return after the worker released its codecs (the stand-in
// notes when its decoder went) and as soon as it did, not a second later.
TEST_F(EntryPoints, ACollectionAndAStopOfAG729ConversionReturnAsSoonAsTheWorkerEnded) {
    StagedProgramFolder folder;
    folder.Stage("StandInSlow", "AuralCodecWren2.dll");
    platform::dynlib::Library slow(TestLib("StandInSlow"));
    auto decodeCalls = reinterpret_cast<int32_t (*)()>(slow.symbol("StandInDecodeCalls"));
    auto releasedAt = reinterpret_cast<int64_t (*)()>(slow.symbol("StandInDecoderReleasedAt"));
    ASSERT_TRUE(decodeCalls && releasedAt) << "the slow stand-in lacks its counters";
    // Seconds from the worker's release of its decoder to `t`.
    auto sinceRelease = [&](Clock::time_point t) {
        return std::chrono::duration<double>(t.time_since_epoch() - std::chrono::nanoseconds(releasedAt())).count();
    };
    WriteFile(dir / "short.vc8", LinearFrames(3));  // two frames converted
    WriteFile(dir / "long.vc8", LinearFrames(11));  // ten

    const auto started = Clock::now();
    ASSERT_EQ(Start(dir / "short.vc8", 3, dir / "a.wav", kLinearCode), kStarted);
    ASSERT_TRUE(WaitUntil([&] { return decodeCalls() >= 1; }, 30s)) << "the worker never began a frame";
    EXPECT_LT(SecondsSince(started), kAtOnce) << "the worker paused before its first frame";
    PollToTheEnd();
    const auto collected = Clock::now();
    ASSERT_NE(releasedAt(), 0) << "the worker never released its decoder";
    EXPECT_GE(sinceRelease(collected), 0.0) << "the collection returned before the worker had released its codecs";
    EXPECT_LT(sinceRelease(collected), kAtOnce) << "the collection went on waiting after the worker had ended";
    EXPECT_EQ(ReadFile(dir / "a.wav").size(), 58u + 2 * 320) << "the collected conversion's target";

    ASSERT_EQ(Start(dir / "long.vc8", 3, dir / "b.wav", kLinearCode), kStarted)
        << "the finished conversion was not collected";
    ASSERT_TRUE(WaitUntil([&] { return decodeCalls() >= 2 + 4; }, 30s)) << "the slow decoder never reached frame 3";
    EXPECT_EQ(lib.stop(), 0);
    const auto stopped = Clock::now();
    EXPECT_GE(sinceRelease(stopped), 0.0) << "the stop returned before the worker had released its codecs";
    EXPECT_LT(sinceRelease(stopped), kAtOnce) << "the stop went on waiting after the worker had ended";
    EXPECT_EQ(decodeCalls(), 2 + 4) << "the worker went on decoding after the stop";
    EXPECT_EQ(lib.progress(), 30) << "the progress a stop in frame 3 of 10 leaves";
    EXPECT_EQ(ReadFile(dir / "b.wav").size(), 58u + 4 * 320) << "the stopped conversion's target";
    ASSERT_EQ(Start(dir / "short.vc8", 3, dir / "c.wav", kLinearCode), kStarted)
        << "the stopped conversion was not collected";
    EXPECT_EQ(lib.stop(), 0);
}

}  // namespace
