// CMappedFile over POSIX mmap (see mapped_file.h).
#include "mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velk {

bool CMappedFile::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    void* view = MAP_FAILED;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && uint64_t(st.st_size) <= UINT32_MAX)
        view = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);  // the mapping keeps the file
    if (view == MAP_FAILED) return false;
    view_ = static_cast<const uint8_t*>(view);
    size_ = uint32_t(st.st_size);
    return true;
}

void CMappedFile::Close() {
    if (view_) ::munmap(const_cast<uint8_t*>(view_), size_);
    view_ = nullptr;
    size_ = 0;
}

}  // namespace velk
