// player: a recording copied (see copy_recording.h).
#include "player/core/convert/copy_recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace player {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

// A descriptor closed when it goes; Close() says whether the close held.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

constexpr std::size_t kBlock = 256 * 1024;

}  // namespace

std::error_code CopyRecording(const std::string& from, const std::string& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (in.get() < 0) return LastError();
    // Emptying the target first would destroy a recording copied onto itself.
    struct stat source {}, target {};
    if (::fstat(in.get(), &source) == 0 && ::stat(to.c_str(), &target) == 0 && source.st_dev == target.st_dev &&
        source.st_ino == target.st_ino)
        return std::make_error_code(std::errc::file_exists);
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
    if (out.get() < 0) return LastError();
    const auto block = std::make_unique_for_overwrite<char[]>(kBlock);
    for (;;) {
        const ssize_t got = ::read(in.get(), block.get(), kBlock);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return LastError();
        if (got == 0) break;
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::write(out.get(), block.get() + put, std::size_t(got - put));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return LastError();
            put += n;
        }
    }
    if (!out.Close()) return LastError();  // a network file system may refuse only now
    return {};
}

}  // namespace player
