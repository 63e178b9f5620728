// velkconv's encryption and decryption (see crypt_command.h).
#include "crypt_command.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "converter/crypt_result.h"
#include "converter/site_key.h"
#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"

namespace velkconv {
namespace {

// The mask the player decrypts its recordings with.
constexpr const char* kPlayerMask = "pkrvmhaxbqzetwnjcydsoul";
// More than any mask; a mask file is no recording.
constexpr std::size_t kMaskFileLimit = 4096;

bool ParseType(const char* text, int32_t& type) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (!*text || *end || value < INT32_MIN || value > INT32_MAX) return false;
    type = int32_t(value);
    return true;
}

// A string wiped when it goes.
struct Secret {
    std::string text;
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { explicit_bzero(text.data(), text.size()); }
};

// The mask of a mask file: its bytes without one line end at the end, so
// that `echo MASK > FILE` gives MASK.
bool ReadMaskFile(const char* file, Secret& mask) {
    std::ifstream opened;
    if (std::strcmp(file, "-") != 0) {
        opened.open(file, std::ios::binary);
        if (!opened) return false;
    }
    std::istream& in = opened.is_open() ? static_cast<std::istream&>(opened) : std::cin;
    mask.text.resize(kMaskFileLimit + 1);
    in.read(mask.text.data(), std::streamsize(mask.text.size()));
    if (in.bad() || std::size_t(in.gcount()) > kMaskFileLimit) return false;
    mask.text.resize(std::size_t(in.gcount()));
    if (mask.text.ends_with('\n')) mask.text.pop_back();
    if (mask.text.ends_with('\r')) mask.text.pop_back();
    return true;
}

}  // namespace

std::optional<CryptRequest> ReadCryptArguments(int argc, char** argv) {
    if (argc != 5 && argc != 7) return std::nullopt;
    CryptRequest r;
    r.encrypt = !std::strcmp(argv[1], "encrypt");
    r.source = argv[2];
    r.target = argv[4];
    if (!ParseType(argv[3], r.type)) return std::nullopt;
    if (argc == 7) {
        if (!std::strcmp(argv[5], "--mask")) {
            r.maskArgument = argv[6];
        } else if (!std::strcmp(argv[5], "--mask-file")) {
            r.maskFile = argv[6];
        } else {
            return std::nullopt;
        }
    }
    return r;
}

int Crypt(const CryptRequest& request) {
    Secret mask;
    if (request.maskFile) {
        if (!ReadMaskFile(request.maskFile, mask)) {
            std::fprintf(stderr, "velkconv: cannot read the mask from %s (at most %zu bytes)\n",
                         std::strcmp(request.maskFile, "-") ? request.maskFile : "standard input", kMaskFileLimit);
            return kCryptMaskUnreadable;
        }
    } else {
        mask.text = request.maskArgument ? request.maskArgument : kPlayerMask;
        if (request.maskArgument) explicit_bzero(const_cast<char*>(request.maskArgument), mask.text.size());
    }

    platform::dynlib::Library library(velk::kLibraryName);
    auto setMask = reinterpret_cast<velk::SetVoiceMaskFn>(library.symbol(velk::kSetVoiceMaskName));
    auto run = reinterpret_cast<velk::CryptFileFn>(
        library.symbol(request.encrypt ? velk::kEncryptFileName : velk::kDecryptFileName));
    if (!setMask || !run) {
        std::fprintf(stderr, "velkconv: cannot load %s: %s\n", velk::kLibraryName,
                     platform::dynlib::LastError().c_str());
        return kCryptNoLibrary;
    }
    if (const std::string notice = velk::SiteKeyNotice(platform::dynlib::ProgramFolder(), mask.text == kPlayerMask);
        !notice.empty())
        std::fprintf(stderr, "velkconv: %s\n", notice.c_str());
    setMask(mask.text.data());
    std::string source = request.source, target = request.target;
    const int16_t code = run(source.data(), request.type, target.data());
    char none[] = "";
    setMask(none);  // the library's copy goes too
    if (code == velk::kCryptDone) {
        std::printf("%s %s -> %s\n", request.encrypt ? "encrypted" : "decrypted", source.c_str(), target.c_str());
        return 0;
    }
    std::printf("%s failed with code %d: %s\n", request.encrypt ? "encryption" : "decryption", code,
                velk::CryptResultText(code));
    return code > 0 && code <= velk::kCryptLastCode ? code : kCryptUnknownAnswer;
}

}  // namespace velkconv
