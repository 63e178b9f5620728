// A machine without sound: the open answers kNoAudioOutput, prints nothing,
// opens nothing, and the reason is there for the player's run log.
#include "platform/mci/tests/mci_testing.h"

using namespace mci_testing;
using namespace platform::mci;

namespace {

TEST(MciNoAudioOutput, TheOpenFailsSilentlyAndTheReasonIsKept) {
    const fs::path wav = fs::temp_directory_path() / ("calldeck-mci-quiet-" + std::to_string(::getpid()) + ".wav");
    WriteFile(wav, WavHeader(6, 1, 8000, 8, 800) + std::string(800, '\x55'));
    ::setenv("SDL_AUDIODRIVER", "no-such-sound-system", 1);
    EXPECT_EQ(LastAudioProblem(), "") << "a problem was reported before anything failed";
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const uint32_t first = Send(OpenCommand(wav, "a"));
    const uint32_t second = Send(OpenCommand(wav, "a"));
    const std::string out = ::testing::internal::GetCapturedStdout(), err = ::testing::internal::GetCapturedStderr();
    fs::remove(wav);
    EXPECT_EQ(first, kNoAudioOutput) << "an open without any audio output did not say so";
    EXPECT_EQ(second, kNoAudioOutput) << "a second try should fail the same way, not find the alias in use";
    EXPECT_EQ(out + err, "") << "the layer printed something itself";
    EXPECT_EQ(Send("Status \"a\" mode"), kUnknownAlias) << "a failed open left a device open";
    EXPECT_NE(LastAudioProblem(), "") << "the operator is given no reason for the silence";
}

}  // namespace
