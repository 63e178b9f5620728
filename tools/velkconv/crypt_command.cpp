// velkconv's encryption and decryption (see crypt_command.h).
#include "crypt_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

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

// A string wiped when it goes.
struct Secret {
    std::string text;
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { explicit_bzero(text.data(), text.size()); }
};

// The mask of a mask file: its bytes without the line end at the end ("\n"
// or "\r\n"), so that `echo MASK > FILE` gives MASK. Read straight into the
// secret, so no stream buffer keeps a copy.
bool ReadMaskFile(const char* file, Secret& mask) {
    const bool standardInput = !std::strcmp(file, "-");
    const int fd = standardInput ? STDIN_FILENO : ::open(file, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    mask.text.resize(kMaskFileLimit + 1);
    std::size_t got = 0;
    ssize_t n = 0;
    while (got < mask.text.size() && ((n = ::read(fd, mask.text.data() + got, mask.text.size() - got)) > 0 ||
                                      (n < 0 && errno == EINTR)))
        got += std::size_t(std::max<ssize_t>(n, 0));
    if (!standardInput) ::close(fd);
    if (n < 0 || got > kMaskFileLimit) return false;
    mask.text.resize(got);
    if (mask.text.ends_with('\n')) {
        mask.text.pop_back();
        if (mask.text.ends_with('\r')) mask.text.pop_back();
    }
    return true;
}

}  // namespace

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
        // Blanked where /proc/PID/cmdline shows it, as soon as it is read.
        if (request.maskArgument) explicit_bzero(request.maskArgument, mask.text.size());
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
