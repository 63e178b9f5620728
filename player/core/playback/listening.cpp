// player: the speed steps, the remembered volume and normalizing; see
// listening.h. PlayerPrefs.cfg is lines of "Name=value"; names it does not
// know are passed over, so a later setting can join without a new format.
#include "player/core/playback/listening.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "player/core/private_files.h"
#include "player/core/process_state.h"
#include "player/core/run_log.h"
#include "player/core/state_folder.h"

namespace player {
namespace {

constexpr const char* kVolumeName = "Volume=";
// -3 dBFS of 16-bit full scale: 32768 * 10^(-3/20).
constexpr double kNormalPeak = 32768.0 * 0.7079457843841379;

}  // namespace

std::int32_t StepSpeed(std::int32_t thousandths, int by) {
    const auto nearest = std::min_element(kSpeedSteps.begin(), kSpeedSteps.end(), [&](std::int32_t a, std::int32_t b) {
        return std::abs(a - thousandths) < std::abs(b - thousandths);
    });
    const long at = std::clamp<long>(nearest - kSpeedSteps.begin() + by, 0, long(kSpeedSteps.size()) - 1);
    return kSpeedSteps[static_cast<std::size_t>(at)];
}

std::string PlayerPrefsFile() { return WorkFolder() + "/PlayerPrefs.cfg"; }

std::int32_t ReadVolumePercent() {
    std::ifstream in(PlayerPrefsFile());
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(kVolumeName, 0) != 0) continue;
        const std::string value = line.substr(std::strlen(kVolumeName));
        char* end = nullptr;
        const long percent = std::strtol(value.c_str(), &end, 10);
        if (!value.empty() && *end == '\0' && percent >= 0 && percent <= kLargestVolumePercent)
            return static_cast<std::int32_t>(percent);
    }
    return kDefaultVolumePercent;
}

bool WriteVolumePercent(std::int32_t percent) {
    const std::string file = PlayerPrefsFile(), temporary = file + ".new";
    const std::string text = kVolumeName + std::to_string(percent) + "\n";
    int error = 0;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kPrivateFile);
    if (fd < 0) {
        error = errno;
    } else {
        // fchmod: a temporary file left by an earlier run keeps its mode otherwise.
        if (::fchmod(fd, kPrivateFile) != 0) error = errno;
        errno = 0;
        if (!error && ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            error = errno ? errno : EIO;  // a short write sets none
        if (::close(fd) != 0 && !error) error = errno;
        if (!error && ::rename(temporary.c_str(), file.c_str()) != 0) error = errno;
    }
    if (error == 0) return true;
    ::unlink(temporary.c_str());
    WriteRunLog("!WriteVolumePercent " + file + ": " + std::strerror(error));
    return false;
}

std::optional<std::int32_t> NormalizedVolumePercent() {
    const std::int32_t peak = Process().Player->Peak();
    if (peak <= 0) return std::nullopt;
    return static_cast<std::int32_t>(std::min<double>(kLargestVolumePercent, std::lround(100.0 * kNormalPeak / peak)));
}

}  // namespace player
