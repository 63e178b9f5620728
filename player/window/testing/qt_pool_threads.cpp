// The end of Qt's pool threads: see qt_pool_threads.h.
#include "qt_pool_threads.h"

#include <QThreadPool>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace player::window_testing {

void EndQtPoolThreads() {
    QThreadPool::globalInstance()->waitForDone();
    // The pool has waited for its threads; each still runs its own last
    // steps. The program's other threads have ended by now, so wait (a
    // little, at most) until this one is alone.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    auto threads = [] {
        std::error_code ec;
        return std::distance(fs::directory_iterator("/proc/self/task", ec), fs::directory_iterator());
    };
    while (threads() > 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace player::window_testing
