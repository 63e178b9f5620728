// player/core/testing: a file the system refuses to change or delete.
//
// The refusal must come from the system, with its own error number, so it is
// made the way an administrator makes it: the immutable flag (chattr +i) where
// the process may set it (root), otherwise the file made read-only, and
// its folder too when the file must not be deleted either; that stops any
// other user. Root without the right to set the
// flag cannot be stopped at all; Refused() is then false and a test skips.
// Everything is put back when the object goes.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace player::testing {

class UnwritableFile {
public:
    enum class Folder { Writable, ReadOnly };
    explicit UnwritableFile(std::filesystem::path file, Folder folder = Folder::ReadOnly) : file_(std::move(file)) {
        if (SetImmutable(true)) {
            error_ = EPERM;
            return;
        }
        namespace fs = std::filesystem;
        folderMode_ = fs::status(file_.parent_path()).permissions();
        fileMode_ = fs::status(file_).permissions();
        fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        if (folder == Folder::ReadOnly)
            fs::permissions(file_.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
        if (::access(file_.c_str(), W_OK) != 0 && errno == EACCES) error_ = EACCES;
    }
    UnwritableFile(const UnwritableFile&) = delete;
    UnwritableFile& operator=(const UnwritableFile&) = delete;
    ~UnwritableFile() {
        if (error_ == EPERM) {
            SetImmutable(false);
            return;
        }
        std::error_code ec;
        std::filesystem::permissions(file_.parent_path(), folderMode_, ec);
        std::filesystem::permissions(file_, fileMode_, ec);
    }

    bool Refused() const { return error_ != 0; }
    // The error number a write or delete meets: EPERM for the immutable
    // flag, EACCES for the permissions.
    int Error() const { return error_; }

private:
    bool SetImmutable(bool on) {
        const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (set) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            set = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return set;
    }

    std::filesystem::path file_;
    std::filesystem::perms folderMode_{}, fileMode_{};
    int error_ = 0;
};

}  // namespace player::testing
