// velkconv's conversion (see convert_command.h).
#include "convert_command.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "converter/format_table.h"
#include "converter/result_text.h"
#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"
#include "temporary_target.h"

namespace velkconv {
namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t g_stopSignal = 0;

// While it lives, SIGINT, SIGTERM, SIGHUP and SIGPIPE only ask the
// conversion to stop, so that velkconv removes what it wrote instead of
// dying with a half file; a reader of the output that went away then shows
// as a failed write (SIGPIPE).
class StopSignals {
public:
    StopSignals() {
        struct sigaction action {};
        action.sa_handler = [](int signal) { g_stopSignal = signal; };
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kCount; ++i) sigaction(kSignals[i], &action, &previous_[i]);
    }
    ~StopSignals() {
        std::cout.flush();  // what is still buffered meets a gone reader while SIGPIPE is caught
        std::fflush(stdout);
        for (std::size_t i = 0; i < kCount; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    static constexpr std::size_t kCount = std::size(kSignals);
    struct sigaction previous_[kCount] {};
};

// The file the conversion is to replace: `target`, or the file a symbolic
// link of that name points to. The library's codes for a target that is
// the source itself (by path or link) or that cannot be replaced -- a
// folder, a device, a link to nothing -- are found here, since the library
// only ever sees the temporary.
int32_t FileToReplace(const fs::path& source, const fs::path& target, fs::path& file) {
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(target, ec);
    file = target;
    if (!fs::exists(link)) return velk::kStarted;  // a new file (or a folder it cannot be made in)
    if (fs::is_symlink(link)) file = fs::canonical(target, ec);
    if (ec || !fs::is_regular_file(fs::status(file, ec))) return velk::kTargetNotCreated;
    if (fs::equivalent(source, file, ec)) return velk::kTargetIsSource;
    return velk::kStarted;
}

// Shows `percent`: a bar redrawn in place on a terminal, a line per change
// otherwise.
void Show(int32_t percent, bool terminal) {
    if (!terminal) {
        std::printf("%d%%\n", percent);
    } else {
        const int filled = percent * 40 / 100;
        std::printf("\r[%.*s%.*s] %3d%%", filled, "########################################", 40 - filled,
                    "........................................", percent);
    }
    std::fflush(stdout);
}

}  // namespace

int Convert(const char* source, int32_t sourceCode, const char* target, int32_t targetCode) {
    const StopSignals signals;  // a signal from here on stops the conversion, never velkconv
    platform::dynlib::Library library(velk::kLibraryName);
    auto start = reinterpret_cast<velk::VelkCodecFn>(library.symbol(velk::kVelkCodecName));
    auto progress = reinterpret_cast<velk::GetConvertProgressFn>(library.symbol(velk::kGetConvertProgressName));
    auto stop = reinterpret_cast<velk::StopConvertFn>(library.symbol(velk::kStopConvertName));
    if (!start || !progress || !stop) {
        std::fprintf(stderr, "velkconv: cannot load %s: %s\n", velk::kLibraryName,
                     platform::dynlib::LastError().c_str());
        return 3;
    }
    const velk::JobNames names{velk::CodecLibraryName(targetCode), velk::CodecLibraryName(sourceCode), target,
                               source};
    fs::path file;
    if (const int32_t refused = FileToReplace(source, target, file); refused != velk::kStarted) {
        velk::WriteResultLine(std::cout, refused, names).flush();
        return 1;
    }
    TemporaryTarget temporary(file);
    if (temporary.Error()) {
        velk::WriteResultLine(std::cout, velk::kTargetNotCreated, names).flush();
        std::fprintf(stderr, "velkconv: no temporary file can be made beside %s: %s\n", target,
                     temporary.Error().message().c_str());
        return 1;
    }

    const int32_t result = start(source, sourceCode, temporary.Path().c_str(), targetCode);
    velk::WriteResultLine(std::cout, result, names).flush();
    if (result != velk::kStarted) return 1;
    const bool terminal = isatty(STDOUT_FILENO);
    int32_t shown = -1, percent = 0;
    while (!g_stopSignal) {
        percent = progress();  // at 100 this waits for the worker and collects the conversion
        if (percent != shown) Show(shown = percent, terminal);
        if (percent >= 100) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    stop();
    if (terminal) std::printf("\n");
    if (g_stopSignal) {
        std::printf("stopped at %d%%: no target was written\n", progress());
        return 1;
    }
    // A conversion that failed while it ran (the source changed, a write
    // failed) reaches 100 too, but removes what it wrote.
    if (!temporary.Exists()) {
        std::printf("conversion failed: no target was written\n");
        return 1;
    }
    if (const std::error_code ec = temporary.Commit()) {
        std::printf("conversion failed: the converted file cannot be named %s: %s\n", target, ec.message().c_str());
        return 1;
    }
    return 0;
}

}  // namespace velkconv
