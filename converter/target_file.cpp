// TargetFile over a POSIX descriptor (see target_file.h).
#include "target_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace velk {

bool TargetFile::Open(const std::string& path) {
    Close();
    created_ = false;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
        created_ = true;
    } else if (errno == EEXIST) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    }
    if (fd_ < 0) return false;
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(kBufferBytes);
    used_ = 0;
    return true;
}

void TargetFile::WriteThrough(const uint8_t* bytes, size_t count) {
    while (fd_ >= 0 && count > 0) {
        const ssize_t n = ::write(fd_, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // disk full, I/O error: the conversion goes on regardless
        bytes += n;
        count -= size_t(n);
    }
}

void TargetFile::Flush() {
    if (used_ == 0) return;
    WriteThrough(buffer_.get(), used_);
    used_ = 0;
}

void TargetFile::Close() {
    if (fd_ < 0) return;
    Flush();
    ::close(fd_);
    fd_ = -1;
}

}  // namespace velk
