// CConvertJob: the order of its checks, what a successful start leaves
// behind, the implementer's answers to codecs that cannot work, and whole
// conversions through its worker.
#include <system_error>

#include "converter/convert_job.h"
#include "converter/format_table.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;

namespace {

using namespace std::chrono_literals;

const std::string kLinear = CodecLibraryName(16);

class ConvertJobTest : public ::testing::Test {
protected:
    // A starter that records whether the flags were set before the worker
    // would exist, then runs no worker: construction alone is under test.
    CConvertJob::ThreadStarter NoWorker() {
        return [this](std::function<void()>) {
            flagsSetBeforeWorker = state.running.load() == 1 && state.stopRequest.load() == 0;
            state.running.store(0);
            return std::thread([] {});
        };
    }
    std::unique_ptr<CConvertJob> Make(const std::string& targetLib, const std::string& sourceLib,
                                      const fs::path& target, const fs::path& source,
                                      const CConvertJob::ThreadStarter& starter) {
        return std::make_unique<CConvertJob>(targetLib.c_str(), sourceLib.c_str(), target.c_str(), source.c_str(),
                                             state, starter);
    }
    // Waits for a started job's worker to finish.
    void WaitForWorker() { ASSERT_TRUE(WaitUntil([&] { return state.running.load() == 0; }, 30s)) << "the worker never finished"; }

    TempDir dir;
    ConvertState state;
    bool flagsSetBeforeWorker = false;
};

TEST_F(ConvertJobTest, ReportsTheEarliestFaultWhenSeveralAreThere) {
    const fs::path missing = dir / "missing.vc8";
    const fs::path empty = dir / "empty.raw";
    WriteFile(empty, {});
    const fs::path oneFrame = dir / "one.raw";
    WriteFile(oneFrame, LinearFrames(1));
    const fs::path truncatedWav = dir / "cut.wav";
    WriteFile(truncatedWav, ALawHeader(1600));  // header only, audio lost
    const fs::path rawALaw = dir / "raw.wav";
    WriteFile(rawALaw, Bytes(58 + 1600, 0xD5));
    const fs::path good = dir / "good.raw";
    WriteFile(good, LinearFrames(3));
    const fs::path target = dir / "target.wav";
    const fs::path unwritable = dir / "no-such-folder" / "target.wav";

    struct Case {
        std::string targetLib, sourceLib;
        fs::path source, target;
        int32_t expected;
    } cases[] = {
        {"", "", missing, unwritable, kTargetLibraryNotLoaded},
        {CodecLibraryName(20), kLinear, missing, unwritable, kTargetLibraryNotLoaded},
        {kLinear, CodecLibraryName(-1), missing, unwritable, kSourceLibraryNotLoaded},
        {TestLib("StandInNotACodec"), kLinear, good, target, kTargetLibraryNotLoaded},
        {TestLib("StandInNullFactory"), TestLib("StandInNullFactory"), missing, unwritable, kNoTargetFactory},
        {kLinear, TestLib("StandInNullFactory"), missing, unwritable, kNoSourceFactory},
        {TestLib("StandInNullCodecs"), TestLib("StandInNullCodecs"), missing, unwritable, kNoEncoder},
        {kLinear, TestLib("StandInNullCodecs"), missing, unwritable, kNoDecoder},
        {TestLib("StandInHugeFrames"), TestLib("StandInInitFails"), missing, unwritable, kTargetFrameSizeUnsupported},
        {kLinear, TestLib("StandInHugeFrames"), missing, unwritable, kSourceFrameSizeUnsupported},
        {TestLib("StandInInitFails"), TestLib("StandInInitFails"), missing, unwritable, kEncoderNotReady},
        {kLinear, TestLib("StandInInitFails"), good, target, kDecoderNotReady},
        {kLinear, kLinear, missing, unwritable, kSourceNotOpened},
        {kLinear, kLinear, empty, unwritable, kSourceNotOpened},
        {kLinear, kLinear, oneFrame, unwritable, kSourceTooSmall},
        {kLinear, TestLib("StandInHeadered"), truncatedWav, unwritable, kSourceTooSmall},
        {kLinear, TestLib("StandInHeadered"), rawALaw, unwritable, kSourceFormatError},
        {kLinear, kLinear, good, unwritable, kTargetNotCreated},
    };
    for (const Case& c : cases) {
        auto job = Make(c.targetLib, c.sourceLib, c.target, c.source, NoWorker());
        EXPECT_EQ(job->Result(), c.expected) << "target library " << c.targetLib << ", source library " << c.sourceLib
                                             << ", source " << c.source.filename();
        EXPECT_EQ(state.running.load(), 0) << "a failed start left the running flag set";
        EXPECT_FALSE(fs::exists(target)) << "a failed start created the target";
    }
}

TEST_F(ConvertJobTest, AFailedStartUnloadsWhatItLoaded) {
    const std::string initFails = TestLib("StandInInitFails");
    {
        auto job = Make(kLinear, initFails, dir / "t.wav", dir / "missing", NoWorker());
        EXPECT_EQ(job->Result(), kDecoderNotReady);
        EXPECT_TRUE(StillLoaded(initFails));
    }
    EXPECT_FALSE(StillLoaded(initFails)) << "destroying a failed job did not unload its codec library";
}

TEST_F(ConvertJobTest, AWorkerThatCannotBeStartedFailsTheStartAndRemovesTheTargetItMade) {
    WriteFile(dir / "s.raw", LinearFrames(4));
    auto noThread = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    auto job = Make(kLinear, kLinear, dir / "t.wav", dir / "s.raw", noThread);
    EXPECT_EQ(job->Result(), kNoWorkerThread);
    EXPECT_EQ(state.running.load(), 0) << "the running flag was left set without a worker";
    EXPECT_FALSE(fs::exists(dir / "t.wav")) << "a start without a worker left a target that looks converted";

    WriteFile(dir / "old.wav", Bytes(10, 1));
    auto again = Make(kLinear, kLinear, dir / "old.wav", dir / "s.raw", noThread);
    EXPECT_EQ(again->Result(), kNoWorkerThread);
    EXPECT_TRUE(fs::exists(dir / "old.wav")) << "a file that existed before the start was removed";
}

TEST_F(ConvertJobTest, HeaderedSourceOf11FramesGivesTenAndATargetHeaderAnnouncingThem) {
    Bytes source = ALawHeader(160 * 11);
    source.resize(58 + 160 * 11, 0x20);
    WriteFile(dir / "s.wav", source);
    auto job = Make(kLinear, TestLib("StandInHeadered"), dir / "t.wav", dir / "s.wav", NoWorker());
    ASSERT_EQ(job->Result(), kStarted);
    EXPECT_TRUE(flagsSetBeforeWorker) << "running flag and stop request must be set before the worker starts";
    EXPECT_EQ(job->SourceHeaderSize(), 58u);
    EXPECT_EQ(job->FrameCount(), 10);
    const Bytes target = ReadFile(dir / "t.wav");
    ASSERT_EQ(target.size(), 58u) << "the header must be written once, before any frame";
    EXPECT_EQ(U32At(target, 54), 320u * 10) << "the data length must be target frame size x 10";
    EXPECT_EQ(U32At(target, 4), 320u * 10 + 50);
}

TEST_F(ConvertJobTest, TwentyByteSourceIntoAHeaderedTargetAnnounces160BytesAFrame) {
    WriteFile(dir / "s.vc8", Bytes(20 * 9, 0x40));
    auto job = Make(TestLib("StandInHeadered"), TestLib("StandInTwenty"), dir / "t.wav", dir / "s.vc8", NoWorker());
    ASSERT_EQ(job->Result(), kStarted);
    EXPECT_EQ(job->FrameCount(), 8);
    EXPECT_EQ(job->TargetFrameSize(), 160u);
    const Bytes header = ReadFile(dir / "t.wav");
    ASSERT_EQ(header.size(), 58u);
    EXPECT_EQ(U32At(header, 54), 160u * 8);
    EXPECT_EQ(U32At(header, 46), 160u * 8) << "the fact value must equal the data length";
}

TEST_F(ConvertJobTest, ConvertsLinearToLinearFromTheSecondFrameOn) {
    const Bytes source = LinearFrames(25);
    WriteFile(dir / "s.raw", source);
    auto job = Make(kLinear, kLinear, dir / "t.wav", dir / "s.raw", CConvertJob::StartThread);
    ASSERT_EQ(job->Result(), kStarted);
    WaitForWorker();
    EXPECT_EQ(state.progress.load(), 100);
    EXPECT_EQ(state.stopRequest.load(), 0);
    const Bytes target = ReadFile(dir / "t.wav");
    ASSERT_EQ(target.size(), 58u + 24 * 320);
    EXPECT_EQ(U32At(target, 54), 24u * 320);
    EXPECT_TRUE(std::equal(target.begin() + 58, target.end(), source.begin() + 320))
        << "the target's audio differs from the source's second frame on";
}

TEST_F(ConvertJobTest, AConversionIntoALongerFileLeavesNothingOfItsTail) {
    // Finished: 4 frames after the header, and the file ends there.
    const Bytes source = LinearFrames(5);
    WriteFile(dir / "s.raw", source);
    WriteFile(dir / "t.wav", Bytes(10000, 0x77));
    auto job = Make(kLinear, kLinear, dir / "t.wav", dir / "s.raw", CConvertJob::StartThread);
    ASSERT_EQ(job->Result(), kStarted);
    WaitForWorker();
    Bytes target = ReadFile(dir / "t.wav");
    ASSERT_EQ(target.size(), 58u + 4 * 320) << "the earlier call's audio was left after the new one";
    EXPECT_TRUE(std::equal(target.begin() + 58, target.end(), source.begin() + 320));
    EXPECT_EQ(U32At(target, 54), 4u * 320) << "the header's data length";

    // Stopped after its first frame (the stop asked for before the worker,
    // which starts at once, exists): the file ends at that frame and its
    // header announces just that frame.
    job.reset();
    WriteFile(dir / "long.raw", LinearFrames(400));
    WriteFile(dir / "t.wav", Bytes(1000000, 0x77));
    auto stoppedAtOnce = [this](std::function<void()> work) {
        state.stopRequest.store(1);
        return std::thread(std::move(work));
    };
    job = Make(kLinear, kLinear, dir / "t.wav", dir / "long.raw", stoppedAtOnce);
    ASSERT_EQ(job->Result(), kStarted);
    WaitForWorker();
    target = ReadFile(dir / "t.wav");
    ASSERT_EQ(target.size(), 58u + 320) << "a stopped conversion kept the earlier file's tail";
    EXPECT_EQ(U32At(target, 54), 320u) << "the stopped conversion's header announces frames it never wrote";
    EXPECT_EQ(U32At(target, 4), 58u - 8 + 320) << "the RIFF length";
}

TEST_F(ConvertJobTest, TwentyByteFramesConvertIntoHeaderedFramesOf160Bytes) {
    Bytes source(20 * 6);
    for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t(i);
    WriteFile(dir / "s.vc8", source);
    auto job = Make(TestLib("StandInHeadered"), TestLib("StandInTwenty"), dir / "t.wav", dir / "s.vc8",
                    CConvertJob::StartThread);
    ASSERT_EQ(job->Result(), kStarted);
    WaitForWorker();
    const Bytes target = ReadFile(dir / "t.wav");
    ASSERT_EQ(target.size(), 58u + 5 * 160);
    for (int f = 0; f < 5; ++f)
        for (int s = 0; s < 160; ++s)
            ASSERT_EQ(target[58 + 160 * f + s], source[20 * (f + 1) + s / 8]) << "frame " << f << " sample " << s;
}

}  // namespace
