// player: how the operator listens -- the speeds the player block offers,
// the volume it remembers, and the volume that brings a recording's peak to
// -3 dBFS. The volume is kept in PlayerPrefs.cfg of the work folder rather
// than in PlayerMisc.cfg, whose one fixed 255-byte record is the main folder
// and keeps that format; the window keeps no other state between runs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace player {

// Thousandths of the recorded speed, slowest first.
inline constexpr std::array<std::int32_t, 6> kSpeedSteps{500, 750, 1000, 1250, 1500, 2000};
// The step `by` steps away from the step nearest `thousandths`, held at
// the slowest and the fastest.
std::int32_t StepSpeed(std::int32_t thousandths, int by);

inline constexpr std::int32_t kDefaultVolumePercent = 100, kLargestVolumePercent = 200;
// WorkFolder() + "/PlayerPrefs.cfg".
std::string PlayerPrefsFile();
// The remembered volume, 0..200 %; 100 when none is remembered or the
// file cannot be read.
std::int32_t ReadVolumePercent();
// Remembers the volume: the file is written under a temporary name, 0600,
// and renamed over the old one. False (and a run-log line) when it cannot.
bool WriteVolumePercent(std::int32_t percent);

// The volume in percent that brings the open recording's largest sample to
// -3 dBFS, at most 200; nothing when nothing is open or it is silent.
std::optional<std::int32_t> NormalizedVolumePercent();

}  // namespace player
