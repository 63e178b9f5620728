// TargetFile over a POSIX descriptor (see target_file.h).
#include "target_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velk {

bool TargetFile::Open(const std::string& path) {
    Close();
    created_ = false;
    error_ = 0;
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
        created_ = true;
    } else if (errno == EEXIST) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        // Only a regular file is written over (and removed again when the
        // conversion fails), never a device, FIFO or the like.
        struct stat st {};
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    if (fd_ < 0) return false;
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(kBufferBytes);
    used_ = 0;
    return true;
}

void TargetFile::WriteThrough(const uint8_t* bytes, size_t count) {
    while (fd_ >= 0 && !Failed() && count > 0) {
        const ssize_t n = ::write(fd_, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : EIO);  // a full disk, an input/output error
            return;
        }
        bytes += n;
        count -= size_t(n);
    }
}

void TargetFile::Flush() {
    if (used_ == 0) return;
    WriteThrough(buffer_.get(), used_);
    used_ = 0;
}

bool TargetFile::Finish(const uint8_t* header, size_t headerLength, uint64_t length) {
    if (fd_ < 0) return false;
    Flush();
    size_t written = 0;
    while (header && !Failed() && written < headerLength) {
        const ssize_t n = ::pwrite(fd_, header + written, headerLength - written, off_t(written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail(n < 0 ? errno : EIO);
        else written += size_t(n);
    }
    if (!Failed() && ::ftruncate(fd_, off_t(length)) != 0) Fail(errno);
    if (::close(fd_) != 0) Fail(errno);  // a network file system may say so only now
    fd_ = -1;
    return !Failed();
}

void TargetFile::Abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    used_ = 0;
    if (!path_.empty()) ::unlink(path_.c_str());
}

void TargetFile::Close() {
    if (fd_ < 0) return;
    Flush();
    ::close(fd_);
    fd_ = -1;
}

}  // namespace velk
