// player: the waveform of one recording computed on a thread of its own, so
// that reading a ten-hour call never holds the window. The window starts a
// job when a recording is loaded, asks it at its ticks whether the waveform
// is ready and drops it when the recording changes: dropping a job stops its
// thread at the next block it reads and joins it.
#pragma once

#include <future>
#include <optional>
#include <thread>

#include "platform/mci/wav_file.h"
#include "player/core/playback/waveform.h"

namespace player {

class WaveformJob {
public:
    // Takes the opened file: the thread owns it and touches nothing else.
    explicit WaveformJob(platform::mci::WavFile wav);
    WaveformJob(const WaveformJob&) = delete;
    WaveformJob& operator=(const WaveformJob&) = delete;

    // Nothing while the thread reads; then its waveform, once (an empty one
    // when the reading failed).
    std::optional<Waveform> Take();

private:
    std::future<Waveform> result_;
    std::jthread worker_;  // declared last: stopped and joined before the rest goes
};

}  // namespace player
