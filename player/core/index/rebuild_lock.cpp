// One rebuild at a time: see rebuild_lock.h.
#include "player/core/index/rebuild_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <thread>

#include "player/core/private_files.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"

namespace player {
namespace {

std::string Holder() {
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) != 0) host[0] = '\0';
    const LocalTime now = Process().Now();
    return std::string(program_invocation_short_name) + ", process " + std::to_string(getpid()) + " on host " +
           host.data() + ", since " + FormatDate(now) + " " + FormatClock(now);
}

std::string ReadHolder(int fd) {
    std::array<char, 512> text{};
    const ssize_t n = pread(fd, text.data(), text.size() - 1, 0);
    if (n <= 0) return "another program";
    return std::string(text.data(), static_cast<std::size_t>(n));
}

}  // namespace

std::optional<RebuildLock> RebuildLock::Take(const std::string& databaseFile, std::chrono::milliseconds wait,
                                             const std::function<void()>& meanwhile, std::string& holder) {
    const std::string file = databaseFile + ".lock";
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kPrivateFile);
    if (fd < 0) throw FileError({errno, std::generic_category()});
    RebuildLock lock(fd);
    const auto giveUp = std::chrono::steady_clock::now() + wait;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) throw FileError({errno, std::generic_category()});
        if (std::chrono::steady_clock::now() >= giveUp) {
            holder = ReadHolder(fd);
            return std::nullopt;
        }
        if (meanwhile) meanwhile();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // A name that cannot be written costs only the words of a second
    // rebuild's message; the lock holds all the same.
    const std::string me = Holder();
    [[maybe_unused]] const bool named = ftruncate(fd, 0) == 0 && pwrite(fd, me.data(), me.size(), 0) > 0;
    return lock;
}

RebuildLock::~RebuildLock() {
    if (fd_ < 0) return;
    [[maybe_unused]] const bool unnamed = ftruncate(fd_, 0) == 0;
    ::close(fd_);  // releases the lock
}

}  // namespace player
