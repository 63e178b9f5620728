// player: one rebuild of the record index at a time, across processes.
//
// The window and every `calldeck scan` may rebuild the same Player.mdb. A
// rebuild holds an exclusive lock (flock) on a small file beside the
// database, "Player.mdb.lock", for its whole length, and writes into it
// who holds it ("calldeck, process 4242 on host desk7, since 2026-12-08
// 10:15:02"), so that a second rebuild can say whom it waited for. The
// system drops the lock with the process that held it, however it ended,
// so a killed rebuild never leaves the index locked.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace player {

class RebuildLock {
public:
    // Tries for up to `wait` (calling `meanwhile` between tries, about 20
    // times a second); nullopt with `holder` set to who holds the lock when
    // it stays taken. Throws RunError when the lock file cannot be opened.
    static std::optional<RebuildLock> Take(const std::string& databaseFile, std::chrono::milliseconds wait,
                                           const std::function<void()>& meanwhile, std::string& holder);
    RebuildLock(RebuildLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    RebuildLock& operator=(RebuildLock&&) = delete;
    RebuildLock(const RebuildLock&) = delete;
    ~RebuildLock();

private:
    explicit RebuildLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace player
