// The site key file, SiteKey.bin in the program folder: what it may look
// like, and what the player and the tools say about it.
//
// The site key keys every recording key, so whoever can read it decrypts the
// site's recordings with any copy of the program: it is used only when no one
// but its owner (and at most the owner's group, read-only) may read it; a
// wider mode refuses every encryption and decryption (kCryptSiteKeyExposed).
// Without it a recording is protected by the voice mask alone, which every
// copy of the program holds; calldeck and velkconv say so once per run that
// decrypts (SiteKeyNotice). The remedy is docs/encryption.md, "Site key".
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace velk {

inline constexpr const char* kSiteKeyFileName = "SiteKey.bin";
inline constexpr size_t kSiteKeyBytes = 32;

// True when `mode` gives anyone but the owner more than reading by the
// owner's group: the mode is not within 0640 (0600, 0640, 0400, ...).
inline bool SiteKeyModeExposed(mode_t mode) { return (mode & 037) != 0; }

struct SiteKeyFile {
    enum class State { kAbsent, kPresent, kExposed } state = State::kAbsent;
    std::filesystem::path path;
    mode_t mode = 0;  // the permission bits, when present
};

// How `programFolder`'s SiteKey.bin is, as far as its name and mode go (a
// file of the wrong size or one that cannot be read counts as present: the
// encryption refuses it with its own code).
SiteKeyFile InspectSiteKey(const std::filesystem::path& programFolder);

// The line a program that decrypts with the player's voice mask says once, or
// "" when there is nothing to say: the site key's mode when it is refused
// for it, and when there is no site key, that the recordings are protected
// by the built-in mask only and what to do. `builtInMask`: the mask in use is
// the player's own (another mask is the site's own secret).
std::string SiteKeyNotice(const std::filesystem::path& programFolder, bool builtInMask);

}  // namespace velk
