// The program ended from outside: SIGTERM, SIGINT and SIGHUP end a window
// that plays a decrypted call as "Exit Player" answered Yes does, without
// the question, within two seconds, with exit status 0, and leave no
// temporary WAV and no decrypted copy behind. The program is the signal
// probe (the real start, event loop and end), on a staged program folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "player/core/index/record_database.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/encrypted_recordings.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace player;
using namespace player::testing;

namespace {

using Clock = std::chrono::steady_clock;

class EndOnSignal : public ::testing::TestWithParam<int> {};

TEST_P(EndOnSignal, APlayingWindowEndsCleanlyWithinTwoSeconds) {
    const int signal = GetParam();
    StagedPlayer staged;
    staged.StageLibrary("VelkCodec.so");
    const fs::path calls = staged.Folder() / "calls", plain = calls / "plain.wav", call = calls / "0012345E.WAV";
    WriteBytes(plain, ALawWavHeader(8000 * 20) + std::string(8000 * 20, '\x55'));
    Encrypt(plain, 0, call);
    fs::remove(plain);
    staged.Start();
    InsertFileInfo({true, call.string(), "2024-05-06 10:00:00", "0001", "555", "00:00:20", "IN"});
    CloseAccess();

    const fs::path outputs = staged.Folder();
    const pid_t pid = StartProgram(SIGNAL_PROBE_PROGRAM, {}, outputs,
                                   {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIODELAY=20",
                                    "SDL_DISKAUDIOFILE=" + (staged.Folder() / "device.raw").string()});
    ASSERT_GT(pid, 0);
    std::string said;
    for (const auto limit = Clock::now() + 60s; said.empty() && Clock::now() < limit; std::this_thread::sleep_for(20ms))
        said = ReadBytes(outputs / "program.out");
    if (said != "playing\n") {
        ::kill(pid, SIGKILL);
        FAIL() << "the window did not play the encrypted call (it said \"" << said
               << "\"): " << FinishProgram(pid, outputs).err;
    }
    std::this_thread::sleep_for(300ms);  // a few buffers reach the device

    const auto sent = Clock::now();
    ASSERT_EQ(::kill(pid, signal), 0);
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() - sent < 10s)
        std::this_thread::sleep_for(10ms);
    const double took = std::chrono::duration<double>(Clock::now() - sent).count();
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "the window was still running 10 s after " << strsignal(signal);
    }
    const Ran ran = ResultOf(status, outputs);
    EXPECT_LT(took, 2.0) << "the window took " << took << " s to end after " << strsignal(signal);
    EXPECT_EQ(ran.code, 0) << "the window did not end with exit status 0 after " << strsignal(signal) << ": "
                           << ran.err;
    EXPECT_FALSE(fs::exists(staged.Folder() / "ConvertTemp.wav"))
        << "the decrypted call stayed in ConvertTemp.wav after " << strsignal(signal);
    for (const auto& entry : fs::directory_iterator(staged.Folder() / "decryptTmp"))
        ADD_FAILURE() << entry.path().filename() << " stayed in decryptTmp after " << strsignal(signal);
}

INSTANTIATE_TEST_SUITE_P(Signals, EndOnSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace
