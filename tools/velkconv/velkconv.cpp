// velkconv: converts one recording from the command line through VelkCodec,
// the way the player does -- the library loaded by name, the conversion
// started with cvt_VelkCodec, its progress polled until 100, and ended
// with cvt_StopConvert -- for operators and scripts:
//
//   velkconv SOURCE SOURCE_CODE TARGET TARGET_CODE
//
// It prints the library's line for the start's result code (the same text
// a job describes itself with; both come from converter/result_text) and a
// progress bar on a terminal, plain percentages otherwise. Ctrl-C stops the
// conversion after its current frame. Exit status: 0 converted, 1 refused
// or stopped, 2 usage, 3 VelkCodec could not be loaded.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "converter/format_table.h"
#include "converter/result_text.h"
#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void Help(std::FILE* to) {
    std::fprintf(to,
                 "usage: velkconv SOURCE SOURCE_CODE TARGET TARGET_CODE\n"
                 "\n"
                 "Converts the recording SOURCE, coded in the format SOURCE_CODE, into the\n"
                 "file TARGET in the format TARGET_CODE, through the conversion library\n"
                 "VelkCodec and its codec plug-ins (found in the program folder).\n"
                 "\n"
                 "Format codes:\n");
    for (const velk::FormatEntry& e : velk::FormatTable())
        std::fprintf(to, "  %3d  %-22s %s\n", e.code, e.library, e.description);
    std::fprintf(to,
                 "\n"
                 "The first frame after a source's header is not converted, and a source needs\n"
                 "at least two whole frames. An existing TARGET is written over from its start\n"
                 "but not shortened. The player converts its recordings with codes 3 -> 0.\n"
                 "\n"
                 "velkconv prints the library's result line (\"conv success!\" or what went\n"
                 "wrong), the progress, and exits 0 when the conversion reached 100%%, 1 when\n"
                 "it was refused or stopped (Ctrl-C stops it after the current frame), 2 on a\n"
                 "usage error and 3 when VelkCodec.dll cannot be loaded.\n");
}

bool ParseCode(const char* text, int32_t& code) {
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, code);
    return ec == std::errc() && ptr == end && ptr != text;
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

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        Help(stdout);
        return 0;
    }
    int32_t sourceCode = 0, targetCode = 0;
    if (argc != 5 || !ParseCode(argv[2], sourceCode) || !ParseCode(argv[4], targetCode)) {
        Help(stderr);
        return 2;
    }
    const char* source = argv[1];
    const char* target = argv[3];

    platform::dynlib::Library library(velk::kLibraryName);
    auto start = reinterpret_cast<velk::VelkCodecFn>(library.symbol(velk::kVelkCodecName));
    auto progress = reinterpret_cast<velk::GetConvertProgressFn>(library.symbol(velk::kGetConvertProgressName));
    auto stop = reinterpret_cast<velk::StopConvertFn>(library.symbol(velk::kStopConvertName));
    if (!start || !progress || !stop) {
        std::fprintf(stderr, "velkconv: cannot load %s: %s\n", velk::kLibraryName,
                     platform::dynlib::LastError().c_str());
        return 3;
    }

    const int32_t result = start(source, sourceCode, target, targetCode);
    const velk::JobNames names{velk::CodecLibraryName(targetCode), velk::CodecLibraryName(sourceCode), target,
                               source};
    velk::WriteResultLine(std::cout, result, names).flush();
    if (result != velk::kStarted) return 1;

    std::signal(SIGINT, [](int) { g_interrupted = 1; });
    std::signal(SIGTERM, [](int) { g_interrupted = 1; });
    const bool terminal = isatty(STDOUT_FILENO);
    int32_t shown = -1, percent = 0;
    while (!g_interrupted) {
        percent = progress();  // at 100 this waits for the worker and collects the conversion
        if (percent != shown) Show(shown = percent, terminal);
        if (percent >= 100) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    stop();
    if (terminal) std::printf("\n");
    if (percent < 100) {
        std::printf("stopped at %d%%\n", progress());
        return 1;
    }
    // A conversion that failed while it ran (the source changed, a write
    // failed) reaches 100 too, but leaves no target.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(target, ec)) {
        std::printf("conversion failed: no target was written\n");
        return 1;
    }
    return 0;
}
