// The energy detector of silence_bands.h: mean power per 20 ms window
// against a fixed level, a hangover after every loud window, and the quiet
// stretches that last long enough kept as bands.
#include "platform/mci/silence_bands.h"

#include <algorithm>
#include <cmath>

namespace platform::mci {
namespace {

uint64_t FramesOf(double seconds, uint32_t rate) {
    return static_cast<uint64_t>(std::max(1.0, std::round(seconds * rate)));
}

}  // namespace

SilenceDetector::SilenceDetector(uint32_t rate, uint16_t channels, double minimumSeconds)
    : channels_(std::max<uint16_t>(channels, 1)),
      window_(FramesOf(kWindowSeconds, rate)),
      hangover_(FramesOf(kHangoverSeconds, rate)),
      minimum_(FramesOf(minimumSeconds, rate)),
      threshold_(32768.0 * 32768.0 * std::pow(10.0, kThresholdDbfs / 10.0)) {}

void SilenceDetector::Feed(const int16_t* samples, size_t frames) {
    while (frames > 0) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(frames, window_ - windowFrames_));
        int64_t power = 0;  // at most 2^30 per sample, a window of a few thousand samples
        for (size_t i = 0, n = take * channels_; i < n; ++i) power += int64_t{samples[i]} * samples[i];
        windowPower_ += static_cast<double>(power);
        windowFrames_ += take;
        frame_ += take;
        samples += take * channels_;
        frames -= take;
        if (windowFrames_ == window_) EndWindow();
    }
}

std::vector<SilenceBand> SilenceDetector::Finish() {
    if (windowFrames_ > 0) EndWindow();  // the last, shorter window is judged on its own frames
    if (quiet_) CloseBand(frame_);
    quiet_ = false;
    return std::move(bands_);
}

void SilenceDetector::EndWindow() {
    const uint64_t start = frame_ - windowFrames_;
    const bool loud = windowPower_ >= threshold_ * static_cast<double>(windowFrames_ * channels_);
    windowFrames_ = 0;
    windowPower_ = 0;
    if (loud) {
        if (quiet_) CloseBand(start);
        quiet_ = false;
        soundUntil_ = frame_ + hangover_;
    } else if (!quiet_ && soundUntil_ < frame_) {
        quiet_ = true;
        quietFrom_ = std::max(start, soundUntil_);
    }
}

void SilenceDetector::CloseBand(uint64_t end) {
    if (end - quietFrom_ >= minimum_) bands_.push_back({quietFrom_, end - quietFrom_});
}

std::vector<SilenceBand> FindSilenceBands(const WavFile& wav, double minimumSeconds) {
    SilenceDetector detector(wav.Rate(), wav.Channels(), minimumSeconds);
    constexpr size_t kFrames = 8192;
    std::vector<int16_t> block(kFrames * wav.Channels());
    std::vector<uint8_t> bytes;
    for (uint64_t at = 0; at < wav.Frames();) {
        const size_t got = wav.Read(at, kFrames, block.data(), bytes);
        if (got == 0) break;  // a read error: the bands of what could be read
        detector.Feed(block.data(), got);
        at += got;
    }
    return detector.Finish();
}

}  // namespace platform::mci
