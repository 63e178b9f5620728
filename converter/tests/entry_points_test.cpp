// VelkCodec as the player meets it: loaded by name, driven only through
// cvt_VelkCodec, cvt_GetConvertProgress and cvt_StopConvert.
//
// Each case is its own process (the library's state is process-wide), and
// each keeps to one or two whole conversions: a conversion takes its worker's
// one-second start plus the one-second steps of collecting it.
#include "converter/result_text.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int32_t kLinearCode = 16;

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

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
    EXPECT_LT(SecondsSince(t0), 0.5) << "a progress below 100 must be answered at once";
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
    EXPECT_GE(SecondsSince(t0), 0.9) << "collecting a finished conversion waits one second first";
    ExpectLinearConversion(dir / "t.wav", source);

    ASSERT_EQ(Start(dir / "s.raw", kLinearCode, dir / "second.wav", kLinearCode), kStarted)
        << "a start after the collection was refused";
    EXPECT_EQ(lib.stop(), 0);
}

TEST_F(EntryPoints, ACollectedConversionKeepsAnswering100AfterASecond) {
    const Bytes source = LinearSource(dir / "s.raw", 30);
    ASSERT_EQ(Start(dir / "s.raw", kLinearCode, dir / "t.wav", kLinearCode), kStarted);
    PollToTheEnd();
    ExpectLinearConversion(dir / "t.wav", source);
    const auto t0 = Clock::now();
    EXPECT_EQ(lib.progress(), 100);
    EXPECT_GE(SecondsSince(t0), 0.9);
    EXPECT_EQ(lib.stop(), 0) << "the player always ends with a stop, also after 100";
    EXPECT_EQ(lib.progress(), 100) << "the progress must outlive the job";
}

TEST_F(EntryPoints, AStopWhileIdleHasNoLastingEffect) {
    const auto t0 = Clock::now();
    EXPECT_EQ(lib.stop(), 0);
    EXPECT_GE(SecondsSince(t0), 0.9) << "a stop waits one second";
    const Bytes source = LinearSource(dir / "s.raw", 10);
    ASSERT_EQ(Start(dir / "s.raw", kLinearCode, dir / "t.wav", kLinearCode), kStarted);
    PollToTheEnd();
    ExpectLinearConversion(dir / "t.wav", source);  // not cut short by the old stop request
}

}  // namespace
