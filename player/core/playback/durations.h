// player: a recording's length from its size and its extension.
//
// The recorder's coded formats have fixed byte rates (the table in
// convert/recording_format.h), so a recording's length is its size divided
// by the rate, truncated, and at least one second. A WAV file says its own rate in its header (16-bit PCM at 8 kHz
// is 16 000 bytes a second, A-law 8 000): the rate is read from the "fmt "
// chunk within the file's first 512 bytes, and only where that walk fails
// is 8 000 taken. FormatTime writes seconds as hh:mm:ss with hours not limited to
// 24 (100:00:00 and more). The scan, which already knows each file's size
// from its folder listing, passes it in instead of asking the disk again.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace player {

inline constexpr std::size_t kWavHeaderProbe = 512;

std::int32_t ByteRate(const std::string& path);
// Whether a name ends in WAV, in any letter case.
bool IsWav(std::string_view name);
// The bytes-per-second field of a WAV file's "fmt " chunk, from the first
// bytes of the file (a folder's descriptor and a name in it, or AT_FDCWD
// and a path): 0 when its first kWavHeaderProbe bytes hold no such chunk,
// -1 when the file cannot be opened. With `st`, the open file's status is
// written there too (one lookup of the name serves both).
std::int32_t WavByteRateAt(int folder, const char* name, struct stat* st);
std::int32_t WavByteRateOf(const unsigned char* head, std::size_t length);
std::int32_t DurationOf(const std::string& path);
// The same for a file whose size is known (it exists), and for a WAV file
// whose header rate is known too (0: the header told nothing).
std::int32_t DurationOfSize(const std::string& path, std::uintmax_t size,
                            std::optional<std::int32_t> wavRate = std::nullopt);
std::string FormatTime(std::int32_t seconds);

}  // namespace player
