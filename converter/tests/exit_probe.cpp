// A program that starts a conversion through VelkCodec and ends without
// stopping it, as a player closed in the middle of an export would:
//
//   velkcodec_exit_probe SOURCE SOURCE-CODE TARGET TARGET-CODE MS unload|keep
//
// It waits MS milliseconds after the start, then returns from main: with
// "unload" the library is unloaded on the way out (its handle goes out of
// scope), with "keep" it stays loaded and only the exit handlers run. Exit
// code 0 means the process ended cleanly; 3 that the start failed.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"

int main(int argc, char** argv) {
    if (argc != 7) return 2;
    platform::dynlib::Library library(velk::kLibraryName);
    auto start = reinterpret_cast<velk::VelkCodecFn>(library.symbol(velk::kVelkCodecName));
    if (!start || start(argv[1], std::atoi(argv[2]), argv[3], std::atoi(argv[4])) != 0) return 3;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[5])));
    if (std::strcmp(argv[6], "keep") == 0) library.release();  // left for the exit handlers
    return 0;
}
