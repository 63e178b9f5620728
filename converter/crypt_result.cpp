// The texts of the encryption entry points' answers (see crypt_result.h).
#include "crypt_result.h"

namespace velk {

const char* CryptResultText(int32_t code) {
    switch (code) {
        case kCryptDone: return "done";
        case kCryptNoMask: return "no voice mask set";
        case kCryptSourceUnreadable: return "source missing, unreadable or not a regular file";
        case kCryptNotEncrypted: return "source is not an encrypted recording (magic or version)";
        case kCryptTypeMismatch: return "type code does not match the recording's header";
        case kCryptAuthFailed: return "authentication failed (wrong mask, wrong or missing site key, or altered file)";
        case kCryptTruncated: return "truncated (no final chunk, or data after it)";
        case kCryptTargetNotWritable: return "target not writable";
        case kCryptTargetIsSource: return "target is the source file";
        case kCryptUnknownType: return "unknown type code (0 WAV, 3 NTC)";
        case kCryptSiteKeyUnreadable: return "site key file SiteKey.bin is not 32 readable bytes";
        case kCryptInternal: return "internal failure (libsodium did not start, or no memory)";
        case kCryptSiteKeyExposed: return "site key file SiteKey.bin may be read by other users (mode beyond 0640)";
        default: return "unknown crypt result";
    }
}

}  // namespace velk
