// player: a recording's length from its size and its extension.
//
// The recorder's formats have fixed byte rates (VOC and WAV 8000 bytes a
// second, VC2 4000, VC5 1600, VC8/NTC/VD8/DEC 1000), so a recording's
// length is its size divided by the rate, truncated, and at least one
// second. FormatTime writes seconds as hh:mm:ss with hours not limited to
// 24 (100:00:00 and more). The scan, which already knows each file's size
// from its folder listing, passes it in instead of asking the disk again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace player {

std::int32_t ByteRate(const std::string& path);
std::int32_t DurationOf(const std::string& path);
// The same for a file whose size is known (it exists).
std::int32_t DurationOfSize(const std::string& path, std::uintmax_t size);
std::string FormatTime(std::int32_t seconds);

}  // namespace player
