// The flags a conversion shares between the caller's thread and its worker:
// the running flag, the stop request and the progress.
//
// The flags are atomics, read and written without a lock. Waiting for the
// worker's end is waiting on the event itself: the worker clears the
// running flag through EndRunning, which wakes every caller blocked in
// WaitUntilEnded, so a collection or a stop returns as soon as the worker
// is done and never sleeps on the clock. The order the job relies on: the
// worker sets the final progress, closes (or removes) the target and
// releases its codecs before it clears the flag, so a caller that saw the
// flag cleared may destroy the job (which unloads the codec libraries) at
// once. The job refers to the state; whoever owns the job owns the state
// too, and keeps it past the job's end (the progress outlives it, and the
// worker's wake-up touches only the state).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velk {

struct ConvertState {
    std::atomic<int32_t> running{0};      // 1 from the worker's start until it has finished
    std::atomic<int32_t> stopRequest{0};  // set by a stop, read after each frame
    std::atomic<int32_t> progress{0};     // per cent, 0-100

    // The worker's last act: clears the running flag and wakes every waiter.
    // Touches nothing but this state, so the job may be destroyed as soon
    // as a waiter sees the flag cleared.
    void EndRunning() {
        {
            // Cleared under the lock: a waiter that found the flag set is
            // already waiting when the wake-up comes, and cannot miss it.
            std::lock_guard lock(m_);
            running.store(0, std::memory_order_release);
        }
        ended_.notify_all();
    }

    // Returns once the running flag is clear: at once when no worker runs.
    void WaitUntilEnded() {
        std::unique_lock lock(m_);
        ended_.wait(lock, [this] { return running.load(std::memory_order_acquire) == 0; });
    }

private:
    std::mutex m_;
    std::condition_variable ended_;
};

}  // namespace velk
