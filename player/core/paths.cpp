// The program's paths and its main-folder setting: see paths.h.
#include "player/core/paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "player/core/private_files.h"
#include "player/core/process_state.h"
#include "player/core/index/site_file.h"
#include "player/core/state_folder.h"
#include "player/core/file_utilities.h"
#include "player/core/text.h"
#include "player/core/run_error.h"

namespace player {
namespace {

constexpr std::size_t kRecordLength = 255;

// The settings file, opened for reading and writing as a random-access
// file is: created when missing.
class SettingsFile {
public:
    SettingsFile() : fd_(::open(Process().MiscConfigFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kPrivateFile)) {
        if (fd_ < 0) throw FileError({errno, std::generic_category()});
    }
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;
    ~SettingsFile() { ::close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

void ReadMiscConfig() {
    // Opened for reading only, so that a folder that cannot be written
    // still gives its setting.
    const int fd = ::open(Process().MiscConfigFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) throw FileError({errno, std::generic_category()});
    char record[kRecordLength];
    ssize_t n = fd < 0 ? 0 : ::pread(fd, record, sizeof record, 0);
    const int readError = errno;
    if (fd >= 0) ::close(fd);
    if (n < 0) throw FileError({readError, std::generic_category()});
    // A record the file does not hold (yet) reads as an empty folder.
    Process().MainFolder = std::string_view(record, static_cast<std::size_t>(n));
}

void WriteMiscConfig() {
    SettingsFile file;
    const std::string& record = Process().MainFolder.str();
    ssize_t n = ::pwrite(file.fd(), record.data(), record.size(), 0);
    if (n < 0) throw FileError({errno, std::generic_category()});
    if (static_cast<std::size_t>(n) != record.size()) throw RunError(61, "Disk full");
}

void InitPath() {
    PlayerProcess& p = Process();
    const std::string folder = StateFolder(), work = WorkFolder();
    p.PlayerLogFolder = work + "/PlayerLog";
    p.DatabaseFile = folder + "/Player.mdb";
    p.MiscConfigFile = folder + "/PlayerMisc.cfg";
    p.DecryptTmpFolder = work + "/decryptTmp";
    p.SiteServer.clear();
    try {
        p.SiteServer = ReadSiteFile(std::filesystem::path(ProgramFolder()) / kSiteFileName);
        MakeStateFolder();
        MakePrivateFolder(p.PlayerLogFolder);
        NarrowStateModes();
        ReadMiscConfig();
        if (MyTrim(p.MainFolder.str()).empty()) p.MainFolder = kDefaultMainFolder;
        if (work == folder) WriteMiscConfig();  // else nothing can be stored there: the index says so
    } catch (const std::exception& e) {
        p.dialogs->Information("!InitPath " + Describe(e));
    }
}

}  // namespace player
