// velkconv: converts, encrypts or decrypts one recording from the command
// line through VelkCodec, the way the player does, for operators and
// scripts:
//
//   velkconv SOURCE SOURCE_CODE TARGET TARGET_CODE           (convert_command.h)
//   velkconv encrypt|decrypt SOURCE TYPE TARGET [--mask MASK | --mask-file FILE]
//                                                            (crypt_command.h)
//
// This file reads the command line and holds the help, which packaging turns
// into the manual page (help2man): its "usage:" lines stay in that form.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "converter/crypt_result.h"
#include "converter/format_table.h"
#include "convert_command.h"
#include "crypt_command.h"

namespace {

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
                 "at least two whole frames. The player converts its recordings with codes\n"
                 "3 -> 0.\n"
                 "\n"
                 "The conversion is written into a temporary file in TARGET's folder,\n"
                 ".TARGET.velkconv-XXXXXX (readable by its owner only), and renamed to TARGET\n"
                 "only when it ended whole: an existing TARGET (or the file a symbolic link\n"
                 "TARGET names) is replaced whole or stays as it was, and a TARGET that is\n"
                 "written has mode 0600. A conversion that fails leaves no TARGET. Ctrl-C,\n"
                 "SIGTERM, SIGHUP and a reader of the output that goes away (SIGPIPE) stop it\n"
                 "after the current frame and leave no TARGET either; after SIGKILL (or a\n"
                 "crash) its temporary file may be left in TARGET's folder, never a TARGET.\n"
                 "\n"
                 "velkconv prints the library's result line (\"conv success!\" or what went\n"
                 "wrong), the progress, and exits 0 when the conversion reached 100%%, 1 when\n"
                 "it was refused, failed or stopped, 2 on a usage error and 3 when\n"
                 "VelkCodec.dll cannot be loaded.\n"
                 "\n"
                 "usage: velkconv encrypt SOURCE TYPE TARGET [--mask MASK | --mask-file FILE]\n"
                 "       velkconv decrypt SOURCE TYPE TARGET [--mask MASK | --mask-file FILE]\n"
                 "\n"
                 "Encrypts the recording SOURCE into TARGET, or decrypts an encrypted one,\n"
                 "through VelkCodec's cvt_EncryptFile / cvt_DecryptFile. TYPE is 0 (WAV) or\n"
                 "3 (NTC) and is written into, and checked against, the encrypted header.\n"
                 "The key comes from the voice mask (default: the player's own) and, when the\n"
                 "program folder holds SiteKey.bin (32 bytes, mode 0600 or 0640), from that\n"
                 "file as well. Without SiteKey.bin, recordings under the player's mask are\n"
                 "protected by that built-in mask only, and velkconv says so on standard\n"
                 "error; a SiteKey.bin that others may read is refused (code 12).\n"
                 "TARGET is replaced only when the whole file was written and, on\n"
                 "decryption, authenticated.\n"
                 "\n"
                 "  --mask MASK       the mask on the command line: other users of the machine\n"
                 "                    can read it while velkconv starts (ps, /proc/PID/cmdline)\n"
                 "  --mask-file FILE  the mask from FILE, or from standard input for \"-\":\n"
                 "                    its bytes without a line end at the end\n"
                 "\n"
                 "Exit status: 0 written; 1 to %d the code below (nothing was written);\n"
                 "%d usage; %d the mask file cannot be read; %d VelkCodec.dll cannot be\n"
                 "loaded; %d an answer not listed below.\n"
                 "\n"
                 "Codes:\n",
                 velk::kCryptLastCode, velkconv::kCryptUsage, velkconv::kCryptMaskUnreadable,
                 velkconv::kCryptNoLibrary, velkconv::kCryptUnknownAnswer);
    for (int32_t code = velk::kCryptNoMask; code <= velk::kCryptLastCode; ++code)
        std::fprintf(to, "  %3d  %s\n", code, velk::CryptResultText(code));
}

bool ParseCode(const char* text, int32_t& code) {
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, code);
    return ec == std::errc() && ptr == end && ptr != text;
}

// velkconv encrypt|decrypt SOURCE TYPE TARGET [--mask MASK | --mask-file FILE];
// nothing for a usage error.
std::optional<velkconv::CryptRequest> ReadCryptArguments(int argc, char** argv) {
    velkconv::CryptRequest r;
    if ((argc != 5 && argc != 7) || !ParseCode(argv[3], r.type)) return std::nullopt;
    r.encrypt = !std::strcmp(argv[1], "encrypt");
    r.source = argv[2];
    r.target = argv[4];
    if (argc == 7 && !std::strcmp(argv[5], "--mask"))
        r.maskArgument = argv[6];
    else if (argc == 7 && !std::strcmp(argv[5], "--mask-file"))
        r.maskFile = argv[6];
    else if (argc == 7)
        return std::nullopt;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        Help(stdout);
        return 0;
    }
    if (argc >= 2 && (!std::strcmp(argv[1], "encrypt") || !std::strcmp(argv[1], "decrypt"))) {
        const auto request = ReadCryptArguments(argc, argv);
        if (!request) {
            Help(stderr);
            return velkconv::kCryptUsage;
        }
        return velkconv::Crypt(*request);
    }
    int32_t sourceCode = 0, targetCode = 0;
    if (argc != 5 || !ParseCode(argv[2], sourceCode) || !ParseCode(argv[4], targetCode)) {
        Help(stderr);
        return 2;
    }
    return velkconv::Convert(argv[1], sourceCode, argv[3], targetCode);
}
