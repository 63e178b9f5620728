// The site key file's checks and notices (see site_key.h).
#include "site_key.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

namespace velk {

SiteKeyFile InspectSiteKey(const std::filesystem::path& programFolder) {
    SiteKeyFile file;
    file.path = programFolder / kSiteKeyFileName;
    struct stat st {};
    if (::stat(file.path.c_str(), &st) == 0) {
        file.mode = st.st_mode & 07777;
        file.state = SiteKeyModeExposed(st.st_mode) ? SiteKeyFile::State::kExposed : SiteKeyFile::State::kPresent;
    } else if (errno != ENOENT || ::lstat(file.path.c_str(), &st) == 0) {
        file.state = SiteKeyFile::State::kPresent;  // unreadable, or a dangling link: refused as unreadable
    }
    return file;
}

std::string SiteKeyNotice(const std::filesystem::path& programFolder, bool builtInMask) {
    const SiteKeyFile key = InspectSiteKey(programFolder);
    if (key.state == SiteKeyFile::State::kExposed) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(key.mode));
        return key.path.string() + " has mode " + mode +
               ": other users may read it, so it is refused and no recording is encrypted or decrypted; "
               "make it 0600, or 0640 for a group of operators (chmod 600 " + key.path.string() + ")";
    }
    if (key.state == SiteKeyFile::State::kPresent || !builtInMask) return {};
    return "recordings are protected by the built-in mask only: anyone with a copy of this program can decrypt "
           "them. The remedy is a site key: SiteKey.bin in " + programFolder.string() +
           ", the same 32 random bytes the recorders use, readable by the player's user only "
           "(docs/encryption.md, \"Site key\")";
}

}  // namespace velk
