// SIGTERM, SIGINT and SIGHUP end the player as "Exit Player" answered Yes
// does, without the question: a logout, `systemctl stop` or Ctrl+C must not
// need SIGKILL in the middle of whatever the player writes.
//
// A signal handler may do almost nothing, so it only writes the signal's
// number into a pipe; the window's thread reads it through a
// QSocketNotifier and calls `end` there, between two events, where the
// player's state may be touched. One EndOnSignals at a time.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <functional>
#include <memory>

namespace player {

class EndOnSignals {
public:
    // `end` is called with the signal's number, once, on the thread that
    // made this object.
    explicit EndOnSignals(std::function<void(int)> end);
    ~EndOnSignals();  // the earlier handlers again, the pipe closed
    EndOnSignals(const EndOnSignals&) = delete;
    EndOnSignals& operator=(const EndOnSignals&) = delete;

    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

private:
    std::function<void(int)> end_;
    bool ended_ = false;
    std::array<struct sigaction, kSignals.size()> previous_{};
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace player
