// The encrypted-recording reader on any file: the input is the file, read
// with the key of the voice mask the sample recordings are made with (the
// seeds are such recordings), so mutations of real recordings reach the
// chunk walk and the authentication. The type asked for is the one the
// header names where that is a known one. A decryption that succeeds must
// leave exactly the plaintext length the header states; one that fails
// must leave no target.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <system_error>

#include "converter/crypt_file.h"
#include "fuzz_codecs.h"

namespace {

constexpr const char* kSampleMask = "pkrvmhaxbqzetwnjcydsoul";  // tools/recgen's voice mask

const velk::RecordingKey& Key() {
    static const velk::RecordingKey key = [] {
        velk::RecordingKey k{};
        if (velk::DeriveRecordingKey(kSampleMask, velk::fuzz::ScratchFolder(), k) != velk::kCryptDone) std::abort();
        return k;
    }();
    return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    const fs::path source = velk::fuzz::ScratchFolder() / "source.enc";
    const fs::path target = velk::fuzz::ScratchFolder() / "target.plain";
    velk::fuzz::WriteFile(source, std::span(data, size));
    std::error_code ignored;
    fs::remove(target, ignored);

    const int32_t type = size > 7 && data[7] == velk::kCryptTypeNtc ? velk::kCryptTypeNtc : velk::kCryptTypeWav;
    const velk::CryptResult r = velk::DecryptRecording(source.c_str(), type, target.c_str(), Key());
    if (r == velk::kCryptDone) {
        uint64_t length = 0;
        for (int i = 0; i < 8; ++i) length |= uint64_t(data[8 + i]) << (8 * i);
        if (fs::file_size(target) != length) {
            std::fprintf(stderr, "fuzz: decrypted %ju bytes where the header says %ju\n",
                         uintmax_t(fs::file_size(target)), uintmax_t(length));
            std::abort();
        }
    } else if (fs::exists(target)) {
        std::fprintf(stderr, "fuzz: a decryption that failed (%d) left its target\n", int(r));
        std::abort();
    }
    return 0;
}
