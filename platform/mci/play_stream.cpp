// The play stream: the file's frames read straight into the device's buffer
// at 1x, or written in small chunks into the stretcher and its output read
// back at other speeds; a jump over each skipped span as the reading reaches
// it; the gain last, on whatever is handed out.
#include "platform/mci/play_stream.h"

#include <sonic.h>

#include <algorithm>
#include <utility>

namespace platform::mci {
namespace {

// Frames written to the stretcher at a time: small, so the position (the
// frames read) runs little ahead of what the stretcher has handed out.
constexpr size_t kChunk = 256;

}  // namespace

void PlayStream::StretcherDeleter::operator()(sonicStreamStruct* s) const { sonicDestroyStream(s); }

PlayStream::PlayStream(WavFile wav) : wav_(std::move(wav)), input_(kChunk * wav_.Channels()) {}

PlayStream::Stretcher PlayStream::NewStretcher() const {
    Stretcher s(sonicCreateStream(static_cast<int>(wav_.Rate()), wav_.Channels()));
    if (s) sonicSetSpeed(s.get(), static_cast<float>(speed_) / kNormalSpeed);
    return s;
}

bool PlayStream::Finished() const {
    return next_ >= wav_.Frames() && flushed_ && (!stretcher_ || sonicSamplesAvailable(stretcher_.get()) == 0);
}

void PlayStream::MoveTo(uint64_t frame) {
    next_ = std::min(frame, wav_.Frames());
    if (stretcher_) stretcher_ = NewStretcher();
    flushed_ = true;
    span_ = 0;
}

void PlayStream::SetSpeed(uint32_t thousandths) {
    if (thousandths == speed_) return;
    if (thousandths == kNormalSpeed) {
        // 1x reads past the stretcher: what it still holds goes out first.
        if (stretcher_ && !flushed_) sonicFlushStream(stretcher_.get());
        flushed_ = true;
        speed_ = thousandths;
        return;
    }
    const uint32_t before = speed_;
    speed_ = thousandths;
    if (stretcher_)
        sonicSetSpeed(stretcher_.get(), static_cast<float>(speed_) / kNormalSpeed);
    else if (!(stretcher_ = NewStretcher()))
        speed_ = before;  // no memory for it: the speed stays
}

void PlayStream::SkipSilence(const std::vector<SilenceBand>& bands) {
    const uint64_t quarter = wav_.Rate() / 4;
    skipped_.clear();
    for (const SilenceBand& band : bands)
        if (band.frameCount > 2 * quarter)
            skipped_.push_back({band.firstFrame + quarter, band.firstFrame + band.frameCount - quarter});
    span_ = 0;
}

// Where the next read must stop: the end of the file, or the start of the
// next span to skip. A read that has reached a span jumps to its end first.
uint64_t PlayStream::NextStop() {
    while (span_ < skipped_.size() && skipped_[span_].to <= next_) ++span_;
    if (span_ < skipped_.size() && skipped_[span_].from <= next_) {
        next_ = skipped_[span_++].to;
        ++skips_;
    }
    return span_ < skipped_.size() ? std::min(skipped_[span_].from, wav_.Frames()) : wav_.Frames();
}

size_t PlayStream::Fill(int16_t* out, size_t frames) {
    const size_t channels = wav_.Channels();
    const bool stretching = speed_ != kNormalSpeed;
    size_t got = 0;
    while (got < frames) {
        if (stretcher_) {
            got += static_cast<size_t>(
                sonicReadShortFromStream(stretcher_.get(), out + got * channels, static_cast<int>(frames - got)));
            if (got == frames) break;
        }
        const uint64_t stop = NextStop();
        if (next_ >= stop) {  // the end of the file: the stretcher gives up what it holds
            if (stretcher_ && !flushed_) {
                sonicFlushStream(stretcher_.get());
                flushed_ = true;
                continue;
            }
            break;
        }
        int16_t* to = stretching ? input_.data() : out + got * channels;
        const size_t n = wav_.Read(next_, static_cast<size_t>(std::min<uint64_t>(stretching ? kChunk : frames - got,
                                                                                   stop - next_)),
                                   to);
        if (n == 0) break;  // unreadable: it ends as the end does
        next_ += n;
        if (!stretching) {
            got += n;
        } else {
            sonicWriteShortToStream(stretcher_.get(), input_.data(), static_cast<int>(n));
            flushed_ = false;
        }
    }
    ApplyGain(out, got * channels);
    return got;
}

// Rounded half away from zero, then clipped to 16 bits.
void PlayStream::ApplyGain(int16_t* samples, size_t count) const {
    if (gain_ == kUnityGain) return;
    const auto gain = static_cast<int32_t>(gain_);
    for (size_t i = 0; i < count; ++i) {
        const int32_t scaled = samples[i] * gain;
        const int32_t rounded = (scaled >= 0 ? scaled + 500 : scaled - 500) / 1000;
        samples[i] = static_cast<int16_t>(std::clamp<int32_t>(rounded, -32768, 32767));
    }
}

}  // namespace platform::mci
