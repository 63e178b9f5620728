// velkconv encrypt|decrypt SOURCE TYPE TARGET [--mask MASK | --mask-file FILE]:
// one recording through VelkCodec's cvt_SetVoiceMask and cvt_EncryptFile /
// cvt_DecryptFile.
//
// The exit status is the library's answer itself (0 written, 1 to 12 the
// codes of docs/encryption.md), so that a script tells a wrong key (5) from
// a damaged file (6) or a missing one (2). The statuses of velkconv's own
// failures lie above the codes: 64 a usage error, 66 a mask file that cannot
// be read, 69 no VelkCodec, 70 an answer this velkconv does not know.
//
// The mask given on the command line is visible to every user while the
// process starts (/proc/PID/cmdline); --mask-file reads it from a file or
// standard input instead. Either way it is wiped from memory once handed to
// the library.
#pragma once

#include <cstdint>
#include <string>

namespace velkconv {

inline constexpr int kCryptUsage = 64;
inline constexpr int kCryptMaskUnreadable = 66;
inline constexpr int kCryptNoLibrary = 69;
inline constexpr int kCryptUnknownAnswer = 70;

struct CryptRequest {
    bool encrypt = false;
    std::string source, target;
    int32_t type = 0;
    char* maskArgument = nullptr;   // --mask MASK, in argv: blanked once read
    const char* maskFile = nullptr;  // --mask-file FILE ("-": standard input)
};

// Runs it; prints "encrypted SOURCE -> TARGET" or "decryption failed with
// code N: TEXT", and the site key's notice on standard error. The exit
// status above.
int Crypt(const CryptRequest& request);

}  // namespace velkconv
