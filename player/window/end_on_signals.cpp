// Signals that end the player: see end_on_signals.h.
#include "end_on_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

namespace player {
namespace {

// The pipe's two ends; the handler sees only the writing one.
int g_readEnd = -1;
volatile std::sig_atomic_t g_writeEnd = -1;

extern "C" void WriteSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (g_writeEnd >= 0) [[maybe_unused]] const auto written = ::write(g_writeEnd, &number, 1);
    errno = saved;
}

}  // namespace

EndOnSignals::EndOnSignals(std::function<void(int)> end) : end_(std::move(end)) {
    if (g_readEnd >= 0) throw std::logic_error("signals already end the player");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    notifier_ = std::make_unique<QSocketNotifier>(g_readEnd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        unsigned char number = 0;
        while (::read(g_readEnd, &number, 1) == 1) {
            if (ended_) continue;
            ended_ = true;
            // The handlers in place before come back, so a second signal
            // does what it did before this one: an end that hangs can still
            // be forced with Ctrl+C twice.
            for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
            end_(number);
        }
    });
    struct sigaction action {};
    action.sa_handler = WriteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous_[i]);
}

EndOnSignals::~EndOnSignals() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
    notifier_.reset();
    ::close(g_writeEnd);
    ::close(g_readEnd);
    g_writeEnd = -1;
    g_readEnd = -1;
}

}  // namespace player
