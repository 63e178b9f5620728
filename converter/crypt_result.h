// The answers of cvt_EncryptFile and cvt_DecryptFile, and the one-line text
// that says what each means.
//
// 0 is success; every failure has a positive code of its own, so a caller
// that logs only the number still says what went wrong. Shared by VelkCodec
// and velkconv; the format and the codes are described in docs/encryption.md.
#pragma once

#include <cstdint>

namespace velk {

enum CryptResult : int16_t {
    kCryptDone = 0,
    kCryptNoMask = 1,              // the voice mask is "" (never set, or cleared)
    kCryptSourceUnreadable = 2,    // missing, no regular file, or a read failed
    kCryptNotEncrypted = 3,        // magic or version are not this format's
    kCryptTypeMismatch = 4,        // the header's type code is not the one asked for
    kCryptAuthFailed = 5,          // wrong mask, wrong or missing site key, or altered
    kCryptTruncated = 6,           // ends before its final chunk, or goes on after it
    kCryptTargetNotWritable = 7,   // folder missing or refused, no regular file, a write failed
    kCryptTargetIsSource = 8,      // the target names the source file itself
    kCryptUnknownType = 9,         // a type code other than 0 (WAV) or 3 (NTC)
    kCryptSiteKeyUnreadable = 10,  // SiteKey.bin exists but is not 32 readable bytes
    kCryptInternal = 11,           // libsodium did not start, or no memory
    kCryptSiteKeyExposed = 12,     // SiteKey.bin's mode lets others read it (beyond 0640)
};
inline constexpr int16_t kCryptLastCode = kCryptSiteKeyExposed;

// Type codes of the recordings.
inline constexpr int32_t kCryptTypeWav = 0;
inline constexpr int32_t kCryptTypeNtc = 3;

// "authentication failed (wrong mask, wrong site key, or altered file)", ...;
// "unknown crypt result" for a code not above.
const char* CryptResultText(int32_t code);

}  // namespace velk
