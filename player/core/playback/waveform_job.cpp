// The waveform's thread (waveform_job.h): it reads its own WavFile and hands
// the waveform back through a future, which the window's thread polls.
#include "player/core/playback/waveform_job.h"

#include <chrono>
#include <utility>

namespace player {

WaveformJob::WaveformJob(platform::mci::WavFile wav) {
    std::promise<Waveform> promise;
    result_ = promise.get_future();
    worker_ = std::jthread([wav = std::move(wav), promise = std::move(promise)](std::stop_token stop) mutable {
        Waveform waveform;
        try {
            waveform = ComputeWaveform(wav, stop);
        } catch (...) {  // no memory for a block: the strip shows no waveform
        }
        promise.set_value(std::move(waveform));
    });
}

std::optional<Waveform> WaveformJob::Take() {
    if (!result_.valid() || result_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return std::nullopt;
    return result_.get();
}

}  // namespace player
