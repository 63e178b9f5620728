// A program that starts a conversion through VoiceCvt and ends without
// stopping it, as a player closed in the middle of an export would:
//
//   voicecvt_exit_probe SOURCE TARGET TYPE MS unload|keep
//
// It waits MS milliseconds after the start, then returns from main: with
// "unload" the library's handle is closed on the way out, with "keep" it
// stays loaded and only the exit handlers run. Exit code 0 means the
// process ended cleanly; 3 that the start failed.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "outside/voicecvt/voicecvt_api.h"
#include "platform/dynlib/dynlib.h"

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    platform::dynlib::Library library(voicecvt::kLibraryName);
    auto init = reinterpret_cast<voicecvt::InitCvtFn>(library.symbol(voicecvt::kInitCvtName));
    auto start = reinterpret_cast<voicecvt::StartCvtFn>(library.symbol(voicecvt::kStartCvtToFileWaveName));
    if (!init || !start || init() != 0 || start(argv[1], argv[2], std::atoi(argv[3]), 1.0) != 0) return 3;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[4])));
    if (std::strcmp(argv[5], "keep") == 0) library.release();  // left for the exit handlers
    return 0;
}
