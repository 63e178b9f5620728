// VoiceCvt under what recorders, operators and the player do to it: a
// process ending mid-conversion, a target that is the source, a FIFO, a
// source cut or deleted while it is read, a refused write, a longer earlier
// target, a second start. None may crash or hang the host, destroy a
// recording, or leave a target that is not the whole conversion.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "outside/voicecvt/result_codes.h"
#include "outside/voicecvt/tests/voicecvt_testing.h"

using namespace voicecvt;
using namespace voicecvt::testing;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// An hour of VC5 frames (5.76 MB): long enough that the worker is still
// decoding when the test interferes. Its bytes need not be valid Opus.
Bytes AnHourOfVc5() {
    Bytes b(3600 * 1600);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    return b;
}

// A WAV whose lengths agree with its size: what a stopped or finished
// conversion may leave, never a torn file.
void ExpectWholeWave(const fs::path& file) {
    const Bytes w = ReadFile(file);
    ASSERT_GE(w.size(), 44u) << file << " is cut inside its header";
    EXPECT_EQ(U32At(w, 4), w.size() - 8) << file << ": RIFF length does not match the file";
    EXPECT_EQ(U32At(w, 40), w.size() - 44) << file << ": data length does not match the file";
}

class VoiceCvtRobustness : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Loaded()) << platform::dynlib::LastError();
        lib.init();
    }
    int32_t Start(const fs::path& source, const fs::path& target, int32_t type) {
        return lib.toWave(source.c_str(), target.c_str(), type, 1.0);
    }
    bool ReachesHundred(std::chrono::seconds limit = 60s) {
        const auto end = Clock::now() + limit;
        while (lib.progress() < 100)
            if (Clock::now() > end) return false;
            else std::this_thread::sleep_for(5ms);
        return true;
    }
    // Runs the exit probe; its exit status, or -signal when a signal ended it.
    static int Probe(const std::vector<std::string>& args) {
        return RunProgram(BuiltProgramFolder() / "voicecvt_exit_probe", args);
    }

    TempDir dir;
    VoiceCvtLibrary lib;
};

TEST_F(VoiceCvtRobustness, AProcessThatEndsMidConversionEndsCleanly) {
    WriteFile(dir / "call.vc5", AnHourOfVc5());
    for (const char* ms : {"0", "300"})
        for (const char* mode : {"unload", "keep"}) {
            const fs::path target = dir / (std::string("out-") + ms + mode + ".wav");
            const int rc = Probe({(dir / "call.vc5").string(), target.string(), "4", ms, mode});
            EXPECT_EQ(rc, 0) << "ended after " << ms << " ms (" << mode << "): the process did not end cleanly";
            if (fs::exists(target)) ExpectWholeWave(target);
        }
}

TEST_F(VoiceCvtRobustness, ATargetThatIsTheSourceIsRefusedAndTheRecordingKept) {
    const Bytes recording(4000, 0x5A);
    WriteFile(dir / "call.vc2", recording);
    fs::create_hard_link(dir / "call.vc2", dir / "hard.wav");
    fs::create_symlink(dir / "call.vc2", dir / "soft.wav");
    for (const char* target : {"call.vc2", "hard.wav", "soft.wav"}) {
        EXPECT_EQ(Start(dir / "call.vc2", dir / target, kTypeVc2), kTargetIsSource) << target;
        EXPECT_EQ(lib.progress(), 100) << "a refused start must not leave the player waiting";
    }
    EXPECT_EQ(ReadFile(dir / "call.vc2"), recording) << "the recording was written over";
}

TEST_F(VoiceCvtRobustness, AFifoSourceIsRefusedAtOnce) {
    ASSERT_EQ(mkfifo((dir / "pipe.voc").c_str(), 0600), 0);
    auto start = std::async(std::launch::async, [&] { return Start(dir / "pipe.voc", dir / "out.wav", kTypeVoc); });
    if (start.wait_for(3s) != std::future_status::ready) {
        close(open((dir / "pipe.voc").c_str(), O_WRONLY | O_NONBLOCK));  // lets the start go
        FAIL() << "the start waited for a writer on a FIFO";
    }
    EXPECT_EQ(start.get(), kSourceUnusable);
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
}

TEST_F(VoiceCvtRobustness, ASourceCutOrDeletedWhileConvertedLeavesNoTarget) {
    for (const bool deleted : {false, true}) {
        const char* what = deleted ? "deleted" : "cut";
        WriteFile(dir / "call.vc5", AnHourOfVc5());
        WriteFile(dir / "out.wav", Bytes(1000, 1));  // an earlier export of that name
        ASSERT_EQ(Start(dir / "call.vc5", dir / "out.wav", kTypeVc5), kStarted);
        std::this_thread::sleep_for(20ms);
        ASSERT_LT(lib.progress(), 100) << "the hour was converted before it could be " << what;
        if (deleted) fs::remove(dir / "call.vc5");
        else fs::resize_file(dir / "call.vc5", 3200);
        EXPECT_TRUE(ReachesHundred()) << "a source " << what << " meanwhile left the player waiting";
        lib.stop();
        EXPECT_FALSE(fs::exists(dir / "out.wav")) << "a source " << what << " meanwhile still gave a target";
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_NE(entry.path().filename().string()[0], '.')
                << "a temporary file was left behind (source " << what << "): " << entry.path();
    }
}

TEST_F(VoiceCvtRobustness, ARefusedWriteFailsTheConversion) {
    WriteFile(dir / "call.vc2", Bytes(40000, 0x17));  // ten seconds: 160 044 bytes as WAV
    int32_t code = 0;
    bool ended = false;
    {
        const velk::testing::FileSizeLimit full(100000);  // a write past this fails as on a full disk
        code = Start(dir / "call.vc2", dir / "out.wav", kTypeVc2);
        ended = ReachesHundred();
    }
    lib.stop();
    EXPECT_EQ(code, kStarted);
    EXPECT_TRUE(ended) << "a refused write left the player waiting";
    EXPECT_FALSE(fs::exists(dir / "out.wav")) << "a conversion that could not be written still left a target";
}

TEST_F(VoiceCvtRobustness, ALongerEarlierTargetIsReplacedExactly) {
    WriteFile(dir / "call.vc2", Bytes(8000, 0x39));
    ASSERT_EQ(lib.Run(lib.toWave, dir / "call.vc2", dir / "fresh.wav", kTypeVc2), kStarted);
    WriteFile(dir / "out.wav", Bytes(2'000'000, 0x55));
    ASSERT_EQ(lib.Run(lib.toWave, dir / "call.vc2", dir / "out.wav", kTypeVc2), kStarted);
    EXPECT_EQ(ReadFile(dir / "out.wav"), ReadFile(dir / "fresh.wav"))
        << "the export over a longer earlier file is not the conversion alone";
}

TEST_F(VoiceCvtRobustness, OneConversionAtATimeAndAStopKeepsAWholeWave) {
    WriteFile(dir / "call.vc5", AnHourOfVc5());
    ASSERT_EQ(Start(dir / "call.vc5", dir / "out.wav", kTypeVc5), kStarted);
    EXPECT_EQ(Start(dir / "call.vc5", dir / "second.wav", kTypeVc5), kJobExists);
    EXPECT_LT(lib.progress(), 100) << "a refused second start disturbed the running one";
    const auto asked = Clock::now();
    EXPECT_EQ(lib.stop(), 0);
    EXPECT_LT(Clock::now() - asked, 2s) << "the stop took too long to join the worker";
    EXPECT_EQ(lib.progress(), 100);
    ExpectWholeWave(dir / "out.wav");
    EXPECT_FALSE(fs::exists(dir / "second.wav"));
    EXPECT_EQ(Start(dir / "call.vc5", dir / "again.wav", kTypeVc5), kStarted) << "a stopped job still blocks starts";
    lib.stop();
}

}  // namespace
