// Private files and folders of the player: see private_files.h.
#include "player/core/private_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "player/core/audit/audit_trail.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/run_log.h"

namespace fs = std::filesystem;

namespace player {

void MakePrivateFolder(const fs::path& folder) {
    std::error_code ec;
    if (folder.has_parent_path() && !fs::is_directory(folder.parent_path(), ec))
        fs::create_directories(folder.parent_path(), ec);
    if (::mkdir(folder.c_str(), kPrivateFolder) != 0 && errno != EEXIST)
        throw std::system_error(errno, std::generic_category(), "cannot make the folder " + folder.string());
    if (!fs::is_directory(folder, ec))  // a file of that name is there
        throw std::system_error(EEXIST, std::generic_category(), "cannot make the folder " + folder.string());
    NarrowToOwner(folder);
}

bool NarrowToOwner(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || st.st_uid != ::geteuid()) return false;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return false;
    if ((st.st_mode & 077) == 0) return false;
    return ::chmod(path.c_str(), st.st_mode & 07700) == 0;
}

PrivateCreation::PrivateCreation() : previous_(::umask(077)) {}
PrivateCreation::~PrivateCreation() { ::umask(previous_); }

std::vector<std::string> NarrowStateModes() {
    const PlayerProcess& p = Process();
    std::vector<std::string> narrowed;
    const auto narrow = [&](const fs::path& path) {
        if (NarrowToOwner(path)) narrowed.push_back(path.filename().string());
    };
    for (const std::string& file : {p.DatabaseFile, p.DatabaseFile + ".lock", p.MiscConfigFile, ConvertTempFile()})
        narrow(file);
    for (const fs::path& folder : {fs::path(p.PlayerLogFolder), fs::path(p.DecryptTmpFolder),
                                  AuditFolder()}) {
        narrow(folder);
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            narrow(it->path());
    }
    if (!narrowed.empty()) {
        std::string names;
        for (const std::string& n : narrowed) names += (names.empty() ? "" : ", ") + n;
        WriteRunLog("Made private what other users could read: " + names);
    }
    return narrowed;
}

}  // namespace player
