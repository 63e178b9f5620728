// velkconv: converts one recording from the command line through VelkCodec,
// the way the player does -- the library loaded by name, the conversion
// started with cvt_VelkCodec, its progress polled until 100, and ended
// with cvt_StopConvert -- for operators and scripts:
//
//   velkconv SOURCE SOURCE_CODE TARGET TARGET_CODE
//   velkconv encrypt|decrypt SOURCE TYPE TARGET [--mask MASK]
//
// The second form encrypts or decrypts a recording through cvt_SetVoiceMask
// and cvt_EncryptFile / cvt_DecryptFile (mask: the player's own unless
// given), prints the answer's text and exits 0 only when the target was
// written, 1 otherwise.
//
// A conversion prints the library's line for the start's result code (the same text
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

#include "converter/crypt_result.h"
#include "converter/format_table.h"
#include "converter/result_text.h"
#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

// The mask the player decrypts its recordings with.
constexpr const char* kPlayerMask = "pkrvmhaxbqzetwnjcydsoul";

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
                 "at least two whole frames. An existing TARGET is written over and ends at the\n"
                 "last frame written; a conversion that fails leaves no TARGET. The player\n"
                 "converts its recordings with codes 3 -> 0.\n"
                 "\n"
                 "velkconv prints the library's result line (\"conv success!\" or what went\n"
                 "wrong), the progress, and exits 0 when the conversion reached 100%%, 1 when\n"
                 "it was refused or stopped (Ctrl-C stops it after the current frame), 2 on a\n"
                 "usage error and 3 when VelkCodec.dll cannot be loaded.\n"
                 "\n"
                 "usage: velkconv encrypt SOURCE TYPE TARGET [--mask MASK]\n"
                 "       velkconv decrypt SOURCE TYPE TARGET [--mask MASK]\n"
                 "\n"
                 "Encrypts the recording SOURCE into TARGET, or decrypts an encrypted one,\n"
                 "through VelkCodec's cvt_EncryptFile / cvt_DecryptFile. TYPE is 0 (WAV) or\n"
                 "3 (NTC) and is written into, and checked against, the encrypted header.\n"
                 "The key comes from MASK (default: the player's voice mask) and, when the\n"
                 "program folder holds SiteKey.bin (32 bytes), from that file as well.\n"
                 "TARGET is replaced only when the whole file was written and, on\n"
                 "decryption, authenticated. Exit status: 0 written, 1 refused (the code and\n"
                 "its text are printed), 2 usage, 3 VelkCodec.dll cannot be loaded.\n"
                 "Codes:\n");
    for (int32_t code = velk::kCryptNoMask; code <= velk::kCryptInternal; ++code)
        std::fprintf(to, "  %3d  %s\n", code, velk::CryptResultText(code));
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

// velkconv encrypt|decrypt SOURCE TYPE TARGET [--mask MASK]
int Crypt(int argc, char** argv) {
    const bool encrypt = !std::strcmp(argv[1], "encrypt");
    int32_t type = 0;
    std::string mask = kPlayerMask;
    if (argc == 7 && !std::strcmp(argv[5], "--mask")) {
        mask = argv[6];
    } else if (argc != 5) {
        Help(stderr);
        return 2;
    }
    if (!ParseCode(argv[3], type)) {
        Help(stderr);
        return 2;
    }
    std::string source = argv[2], target = argv[4];

    platform::dynlib::Library library(velk::kLibraryName);
    auto setMask = reinterpret_cast<velk::SetVoiceMaskFn>(library.symbol(velk::kSetVoiceMaskName));
    auto run = reinterpret_cast<velk::CryptFileFn>(
        library.symbol(encrypt ? velk::kEncryptFileName : velk::kDecryptFileName));
    if (!setMask || !run) {
        std::fprintf(stderr, "velkconv: cannot load %s: %s\n", velk::kLibraryName,
                     platform::dynlib::LastError().c_str());
        return 3;
    }
    setMask(mask.data());
    const int16_t code = run(source.data(), type, target.data());
    if (code == velk::kCryptDone) {
        std::printf("%s %s -> %s\n", encrypt ? "encrypted" : "decrypted", source.c_str(), target.c_str());
        return 0;
    }
    std::printf("%s failed with code %d: %s\n", encrypt ? "encryption" : "decryption", code,
                velk::CryptResultText(code));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        Help(stdout);
        return 0;
    }
    if (argc >= 2 && (!std::strcmp(argv[1], "encrypt") || !std::strcmp(argv[1], "decrypt"))) return Crypt(argc, argv);
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
