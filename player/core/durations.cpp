// Recording lengths: see durations.h.
#include "durations.h"

#include <algorithm>
#include <filesystem>

#include "cut_text.h"

namespace player {
namespace {

std::int32_t RateOfExtension(const std::string& trimmedPath) {
    const std::string ext = text::UCase(text::Right(trimmedPath, 3));
    if (ext == "VOC" || ext == "WAV") return 8000;
    if (ext == "VC2") return 4000;
    if (ext == "VC5") return 1600;
    if (ext == "VC8" || ext == "NTC" || ext == "VD8" || ext == "DEC") return 1000;
    return 0;
}

}  // namespace

std::int32_t ByteRate(const std::string& path) {
    const std::string trimmed = text::Trim(path);
    std::error_code ec;
    if (trimmed.empty() || !std::filesystem::is_regular_file(trimmed, ec)) return 0;
    return RateOfExtension(trimmed);
}

std::int32_t DurationOfSize(const std::string& path, std::uintmax_t size) {
    const std::int32_t rate = RateOfExtension(text::Trim(path));
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
