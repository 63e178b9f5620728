// player: the MCI layer as the media player's output; see audio_output.h.
#include "player/core/playback/audio_output.h"

#include <atomic>
#include <string>
#include <string_view>

#include "platform/mci/mci.h"
#include "player/core/process_state.h"
#include "player/core/run_log.h"

namespace player {

void UseAudioOutput() {
    Process().MciSend = [](std::string_view command, std::string& reply) {
        const std::uint32_t code = platform::mci::SendString(command, reply);
        static std::atomic<bool> told{false};
        if (code == platform::mci::kNoAudioOutput && !told.exchange(true)) {
            std::string reason = platform::mci::LastAudioProblem();
            if (reason.empty()) reason = "the audio device could not be opened";
            WriteRunLog("No audio output (" + reason + "); recordings play without sound.");
        }
        return code;
    };
}

}  // namespace player
