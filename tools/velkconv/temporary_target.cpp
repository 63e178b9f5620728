// velkconv: the temporary beside the target (see temporary_target.h).
#include "temporary_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace velkconv {
namespace {

namespace fs = std::filesystem;

std::error_code LastError() { return {errno, std::generic_category()}; }

fs::path FolderOf(const fs::path& file) {
    const fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

TemporaryTarget::TemporaryTarget(const fs::path& target) : target_(target) {
    std::string name = (FolderOf(target) / ("." + target.filename().string() + ".velkconv-XXXXXX")).string();
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);  // mode 0600 whatever the umask
    if (fd_ < 0)
        error_ = LastError();
    else
        path_ = std::move(name);
}

TemporaryTarget::~TemporaryTarget() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
}

bool TemporaryTarget::Exists() const {
    struct stat st {};
    return !path_.empty() && ::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::error_code TemporaryTarget::Commit() {
    // The converted bytes reach the disk before the name does, so a power
    // cut cannot leave an empty file under the target's name.
    if (::fsync(fd_) != 0) return LastError();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return LastError();
    if (::rename(path_.c_str(), target_.c_str()) != 0) return LastError();
    path_.clear();
    const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);  // makes the name durable; best effort
        ::close(folder);
    }
    return {};
}

}  // namespace velkconv
