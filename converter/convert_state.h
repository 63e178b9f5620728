// The flags a conversion shares between the caller's thread and its worker:
// the running flag, the stop request and the progress.
//
// Each side polls the other's flags with one-second sleeps and no lock is
// taken. The flags are atomics so that what one thread writes the other
// sees, in order: the worker sets the final progress before it ends, and
// clears the running flag only after it has closed (or removed) the target
// and released its codecs, so a caller that sees the flag cleared may
// destroy the job (which unloads the codec libraries) at once. The job
// refers to the flags; whoever owns the job owns the flags too, and keeps
// them past the job's end (the progress outlives it).
#pragma once

#include <atomic>
#include <cstdint>

namespace velk {

struct ConvertState {
    std::atomic<int32_t> running{0};      // 1 from the worker's start until it has finished
    std::atomic<int32_t> stopRequest{0};  // set by a stop, read after each frame
    std::atomic<int32_t> progress{0};     // per cent, 0-100
};

}  // namespace velk
