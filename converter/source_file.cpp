// SourceFile over pread (see source_file.h).
#include "source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velk {
namespace {

// Reads up to `count` bytes at `offset`, carrying on after short reads;
// the bytes read, fewer only at the end of the file or on an error.
size_t ReadAt(int fd, uint8_t* into, size_t count, uint64_t offset) {
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, into + got, count - got, off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    return got;
}

}  // namespace

bool SourceFile::Open(const std::string& path) {
    Close();
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || uint64_t(st.st_size) > UINT32_MAX) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = uint32_t(st.st_size);
    device_ = st.st_dev;
    inode_ = st.st_ino;
    headSize_ = std::min(size_, kHeadBytes);
    head_ = std::make_unique<uint8_t[]>(headSize_);
    if (ReadAt(fd_, head_.get(), headSize_, 0) != headSize_) {
        Close();
        return false;
    }
    return true;
}

void SourceFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = headSize_ = 0;
    head_.reset();
    pos_ = end_ = 0;
    offset_ = 0;
}

void SourceFile::Seek(uint64_t offset) {
    pos_ = end_ = 0;
    offset_ = offset;
}

const uint8_t* SourceFile::Refill(uint32_t count) {
    if (fd_ < 0 || count > kChunkBytes) return nullptr;
    if (!chunk_) chunk_ = std::make_unique<uint8_t[]>(kChunkBytes);
    // A recording deleted while it is converted is not converted to the end.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_nlink == 0) return nullptr;
    const uint32_t left = end_ - pos_;
    std::memmove(chunk_.get(), chunk_.get() + pos_, left);
    const size_t got = ReadAt(fd_, chunk_.get() + left, kChunkBytes - left, offset_);
    offset_ += got;
    pos_ = 0;
    end_ = left + uint32_t(got);
    if (end_ < count) return nullptr;  // the file has shrunk under the conversion
    pos_ = count;
    return chunk_.get();
}

}  // namespace velk
