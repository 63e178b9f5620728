// Recording lengths: see durations.h.
#include "player/core/playback/durations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "codec_framework/riff_chunks.h"
#include "player/core/convert/recording_format.h"
#include "player/core/text.h"

namespace player {
namespace {

std::int32_t RateOfExtension(const std::string& trimmedPath) {
    const RecordingFormat* format = RecordingFormatOf(trimmedPath);
    return format ? format->byteRate : 0;
}

}  // namespace

bool IsWav(std::string_view name) {
    if (name.size() < 3) return false;
    const std::string_view ext = name.substr(name.size() - 3);
    return (ext[0] | 0x20) == 'w' && (ext[1] | 0x20) == 'a' && (ext[2] | 0x20) == 'v';
}

std::int32_t WavByteRateOf(const unsigned char* head, std::size_t got) {
    if (got < 12 || !Tessel::riff::OpensRiffWave(head)) return 0;
    // The rate is at byte 8 of the "fmt " chunk's body.
    Tessel::riff::ChunkWalk chunks(Tessel::riff::ImageReader{head, got});
    while (const auto chunk = chunks.Next()) {
        if (!chunk->Is("fmt ")) continue;
        if (chunk->length < 16 || chunk->Body() + 12 > got) return 0;
        const std::uint32_t rate = Tessel::riff::Le32(head + chunk->Body() + 8);
        return rate >= 1 && rate <= INT32_MAX ? static_cast<std::int32_t>(rate) : 0;
    }
    return 0;  // no fmt chunk within what was read
}

std::int32_t WavByteRateAt(int folder, const char* name, struct stat* st) {
    std::array<unsigned char, kWavHeaderProbe> head{};
    const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    if (st && ::fstat(fd, st) != 0) {
        ::close(fd);
        return -1;
    }
    const ssize_t got = !st || S_ISREG(st->st_mode) ? ::pread(fd, head.data(), head.size(), 0) : 0;
    ::close(fd);
    return got > 0 ? WavByteRateOf(head.data(), static_cast<std::size_t>(got)) : 0;
}

namespace {

// The rate of a trimmed path: a WAV file's own (read now unless the caller
// read it already), else the extension's.
std::int32_t RateOf(const std::string& trimmed, std::optional<std::int32_t> wavRate) {
    if (IsWav(trimmed)) {
        const std::int32_t own = wavRate ? *wavRate : WavByteRateAt(AT_FDCWD, trimmed.c_str(), nullptr);
        if (own > 0) return own;
    }
    return RateOfExtension(trimmed);
}

std::int32_t SecondsOf(std::uintmax_t size, std::int32_t rate) {
    const std::uintmax_t seconds = rate >= 1 ? size / static_cast<std::uintmax_t>(rate) : 0;
    return static_cast<std::int32_t>(std::clamp<std::uintmax_t>(seconds, 1, INT32_MAX));
}

}  // namespace

std::int32_t ByteRate(const std::string& path) {
    const std::string trimmed = text::Trim(path);
    std::error_code ec;
    if (trimmed.empty() || !std::filesystem::is_regular_file(trimmed, ec)) return 0;
    return RateOf(trimmed, std::nullopt);
}

std::int32_t DurationOfSize(const std::string& path, std::uintmax_t size, std::optional<std::int32_t> wavRate) {
    return SecondsOf(size, RateOf(text::Trim(path), wavRate));
}

std::int32_t DurationOf(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(text::Trim(path), ec);
    const std::int32_t rate = ec ? 0 : ByteRate(path);  // a WAV header is read once
    return SecondsOf(size, rate);
}

std::string FormatTime(std::int32_t seconds) {
    if (seconds < 0) return {};
    return text::ZeroPad(seconds / 3600, 2) + ":" + text::ZeroPad(seconds / 60 % 60, 2) + ":" + text::ZeroPad(seconds % 60, 2);
}

}  // namespace player
