// platform/mci: the stand-in for mciSendStringA, the media control
// interface the player's MediaPlayer drives with command strings.
//
//   uint32_t SendString(command, reply)
//     Runs one command ("Open \"x.wav\" ALIAS \"x.wav\" TYPE Waveaudio",
//     "set \"x.wav\" time format milliseconds", "set ... speed N", "set ...
//     volume N", "set ... skip silence on|off", "Play \"x.wav\" [wait]",
//     "Pause ...", "Stop ...", "Seek ... to N", "Status ... length|position|
//     mode|skips|peak", "Close ...") and answers 0 or one of the error codes
//     below; `reply` receives a status's answer ("" otherwise).
//
// Waveaudio devices play WAV files through SDL2's audio output, streamed
// from the file. Several aliases may be open at once. docs/mci.md says what
// the layer accepts and how position is counted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::mci {

inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kUnknownCommand = 1001;     // not a command this layer knows, or malformed
inline constexpr uint32_t kUnknownAlias = 1002;       // no device is open under that alias
inline constexpr uint32_t kUnsupportedDevice = 1003;  // AviVideo, Sequencer, any other type
inline constexpr uint32_t kCannotReadFile = 1004;     // missing, unreadable or damaged WAV file
inline constexpr uint32_t kNoAudioOutput = 1005;      // the audio output could not be opened
inline constexpr uint32_t kAliasInUse = 1006;         // an alias that is open already
inline constexpr uint32_t kOutOfRange = 1007;         // a speed outside 500..2000, a volume above 2000

uint32_t SendString(std::string_view command, std::string& reply);

// Why the audio output could not be opened the last time an open answered
// kNoAudioOutput (SDL's own words, short); "" while nothing has failed. The
// layer prints nothing itself: the player writes this to its run log once.
std::string LastAudioProblem();

}  // namespace platform::mci
