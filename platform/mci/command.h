// One command string taken apart: the verb, the quoted alias (and path for an
// open) and the verb's words. Strict: anything but the forms the player sends
// gives nullopt, which the layer answers with kUnknownCommand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::mci {

enum class Verb { kOpen, kSetTimeFormat, kSetSpeed, kSetVolume, kSetSkipSilence, kPlay, kPause, kStop, kSeek, kStatus,
                  kClose };
enum class StatusItem { kLength, kPosition, kMode, kSkips, kPeak };

struct Command {
    Verb verb{};
    std::string alias;
    std::string path;         // kOpen
    std::string device_type;  // kOpen, upper-cased ("WAVEAUDIO", "AVIVIDEO", ...)
    bool wait = false;        // kPlay
    uint32_t to_ms = 0;       // kSeek
    uint32_t value = 0;       // kSetSpeed, kSetVolume: thousandths; kSetSkipSilence: 1 on, 0 off
    StatusItem item{};        // kStatus
};

std::optional<Command> ParseCommand(std::string_view text);

}  // namespace platform::mci
