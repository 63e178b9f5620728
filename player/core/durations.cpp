// Recording lengths: see durations.h.
#include "durations.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

#include "cut_text.h"

namespace player {
namespace {

constexpr std::int32_t kTableWavRate = 8000;

std::int32_t RateOfExtension(const std::string& trimmedPath) {
    const std::string ext = text::UCase(text::Right(trimmedPath, 3));
    if (ext == "VOC" || ext == "WAV") return 8000;
    if (ext == "VC2") return 4000;
    if (ext == "VC5") return 1600;
    if (ext == "VC8" || ext == "NTC" || ext == "VD8" || ext == "DEC") return 1000;
    return 0;
}

bool IsWav(const std::string& trimmedPath) { return text::UCase(text::Right(trimmedPath, 3)) == "WAV"; }

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::int32_t WavByteRate(const std::string& path) {
    std::array<unsigned char, kWavHeaderProbe> head{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return 0;
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    ::close(fd);
    if (got < 12 || std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, "WAVE", 4) != 0) return 0;
    // Chunks from byte 12 on, each an id, a length and the length's bytes
    // (padded to an even count); the rate is at byte 8 of "fmt ".
    std::size_t at = 12;
    while (at + 8 <= static_cast<std::size_t>(got)) {
        const std::uint32_t length = Le32(head.data() + at + 4);
        if (std::memcmp(head.data() + at, "fmt ", 4) == 0) {
            if (length < 16 || at + 20 > static_cast<std::size_t>(got)) return 0;
            const std::uint32_t rate = Le32(head.data() + at + 16);
            return rate >= 1 && rate <= INT32_MAX ? static_cast<std::int32_t>(rate) : 0;
        }
        if (length > head.size()) return 0;  // no fmt chunk within the probe
        at += 8 + length + (length & 1);
    }
    return 0;
}

std::int32_t ByteRate(const std::string& path) {
    const std::string trimmed = text::Trim(path);
    std::error_code ec;
    if (trimmed.empty() || !std::filesystem::is_regular_file(trimmed, ec)) return 0;
    if (IsWav(trimmed))
        if (const std::int32_t own = WavByteRate(trimmed)) return own;
    return RateOfExtension(trimmed);
}

std::int32_t DurationOfSize(const std::string& path, std::uintmax_t size) {
    const std::string trimmed = text::Trim(path);
    std::int32_t rate = RateOfExtension(trimmed);
    if (IsWav(trimmed))
        if (const std::int32_t own = WavByteRate(trimmed)) rate = own;
    std::uintmax_t seconds = rate >= 1 ? size / static_cast<std::uintmax_t>(rate) : 0;
    return static_cast<std::int32_t>(std::clamp<std::uintmax_t>(seconds, 1, INT32_MAX));
}

std::int32_t DurationOf(const std::string& path) {
    std::error_code ec;
    std::uintmax_t size = std::filesystem::file_size(text::Trim(path), ec);
    if (ec || ByteRate(path) < 1) return 1;
    return DurationOfSize(path, size);
}

std::string FormatTime(std::int32_t seconds) {
    if (seconds < 0) return {};
    return text::ZeroPad(seconds / 3600, 2) + ":" + text::ZeroPad(seconds / 60 % 60, 2) + ":" + text::ZeroPad(seconds % 60, 2);
}

}  // namespace player
