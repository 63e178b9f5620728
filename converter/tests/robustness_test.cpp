// The conversion library under what recorders and operators do to it: a
// process ending mid-conversion, a target that is the source, a FIFO as
// source, a source cut or deleted while it is converted, a full disk. None
// of them may crash the host, hang it, destroy a recording or leave a
// target that another call's audio or a lying header fills.
#include <sys/stat.h>
#include <unistd.h>

#include "converter/result_text.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr int32_t kALaw = 0, kG729 = 3, kLinear = 16;

class Robustness : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib.Loaded()) << platform::dynlib::LastError(); }
    int32_t Start(const fs::path& source, int32_t sourceCode, const fs::path& target, int32_t targetCode) {
        return lib.start(source.c_str(), sourceCode, target.c_str(), targetCode);
    }
    // Polls as the player does until 100, then stops; false when it never got there.
    bool PollToTheEndAndStop() {
        const auto limit = Clock::now() + 60s;
        while (lib.progress() < 100) {
            if (Clock::now() > limit) return false;
            std::this_thread::sleep_for(20ms);
        }
        lib.stop();
        return true;
    }
    // Runs the exit probe; its exit status, or -signal when a signal ended it.
    static int Probe(const std::vector<std::string>& args) {
        return RunProgram(BuiltProgramFolder() / "velkcodec_exit_probe", args);
    }

    TempDir dir;
    VelkCodecLibrary lib;
};

TEST_F(Robustness, AProcessThatEndsMidConversionEndsCleanly) {
    // Ten minutes of speech-like PCM, and an hour of G.729 frames: long
    // enough that the worker is still converting when the process ends.
    WriteFile(dir / "pcm.raw", LinearFrames(30000));
    Bytes g729(20 * 180000);
    for (size_t i = 0; i < g729.size(); ++i) g729[i] = uint8_t(i * 2654435761u >> 13);
    WriteFile(dir / "call.vc8", g729);
    struct Case {
        const char* source;
        int32_t from, to;
    };
    for (const Case& c : {Case{"call.vc8", kG729, kALaw}, Case{"pcm.raw", kLinear, kG729}})
        for (const char* ms : {"0", "200"})  // as the worker begins, and in the middle of its frames
            for (const char* mode : {"unload", "keep"}) {
                const int rc = Probe({(dir / c.source).string(), std::to_string(c.from), (dir / "out.wav").string(),
                                      std::to_string(c.to), ms, mode});
                EXPECT_EQ(rc, 0) << c.source << " to code " << c.to << ", ended after " << ms << " ms (" << mode
                                 << "): the process did not end cleanly";
            }
}

TEST_F(Robustness, ATargetThatIsTheSourceIsRefusedAndTheRecordingKept) {
    const Bytes recording = LinearFrames(40);
    WriteFile(dir / "self.wav", recording);
    fs::create_hard_link(dir / "self.wav", dir / "link.wav");
    for (const fs::path& target : {dir / "self.wav", dir / "link.wav", dir / "." / "self.wav"})
        EXPECT_EQ(Start(dir / "self.wav", kLinear, target, kLinear), kTargetIsSource) << target;
    EXPECT_EQ(ReadFile(dir / "self.wav"), recording) << "the recording was changed";
    EXPECT_EQ(ResultText(kTargetIsSource, {"", "", "/r/x.wav", ""}), "target wav file is the source wav file:/r/x.wav");
}

TEST_F(Robustness, AFifoAsSourceIsRefusedAtOnce) {
    ASSERT_EQ(mkfifo((dir / "pipe.vc8").c_str(), 0600), 0);
    const auto t0 = Clock::now();
    EXPECT_EQ(Start(dir / "pipe.vc8", kLinear, dir / "t.wav", kLinear), kSourceNotOpened);
    EXPECT_LT(Clock::now() - t0, 1s) << "the start waited on the FIFO";
}

// The gated stand-in, staged as the G.729 plug-in, holds the worker in its
// first frame with the first 256 KiB of the 640 000-byte source read: the
// source is cut or deleted meanwhile, and the worker's next read finds out.
TEST_F(Robustness, ASourceCutOrDeletedWhileTheWorkerConvertsEndsWithoutATarget) {
    StagedProgramFolder folder;
    folder.Stage("StandInGated", "AuralCodecWren2.dll");
    platform::dynlib::Library gated(TestLib("StandInGated"));
    auto decodeCalls = reinterpret_cast<int32_t (*)()>(gated.symbol("StandInDecodeCalls"));
    auto openGate = reinterpret_cast<void (*)()>(gated.symbol("StandInOpenGate"));
    ASSERT_TRUE(decodeCalls && openGate) << "the gated stand-in lacks its entry points";
    for (const bool deleted : {false, true}) {
        WriteFile(dir / "s.vc8", LinearFrames(2000));
        const int32_t before = decodeCalls();
        ASSERT_EQ(Start(dir / "s.vc8", kG729, dir / "t.wav", kLinear), kStarted);
        ASSERT_TRUE(WaitUntil([&] { return decodeCalls() > before; }, 30s)) << "the worker never began a frame";
        if (deleted)
            fs::remove(dir / "s.vc8");
        else
            ASSERT_EQ(truncate((dir / "s.vc8").c_str(), 100), 0);
        openGate();
        ASSERT_TRUE(PollToTheEndAndStop()) << "the conversion never ended";
        EXPECT_FALSE(fs::exists(dir / "t.wav")) << (deleted ? "deleted" : "cut") << " source: a target was left";
    }
}

TEST_F(Robustness, AFullDiskLeavesNoTarget) {
    WriteFile(dir / "s.raw", LinearFrames(2000));            // a 640 000-byte target
    WriteFile(dir / "earlier.wav", Bytes(1000, 0x55));        // an earlier export it overwrites
    FileSizeLimit full(300 * 1024);
    for (const char* target : {"new.wav", "earlier.wav"}) {
        ASSERT_EQ(Start(dir / "s.raw", kLinear, dir / target, kLinear), kStarted);
        ASSERT_TRUE(PollToTheEndAndStop()) << "the conversion never ended";
        EXPECT_FALSE(fs::exists(dir / target)) << target << ": a short target was left behind";
    }
}

}  // namespace
