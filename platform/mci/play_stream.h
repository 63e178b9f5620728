// What a device plays, made from its WAV file's frames: at a speed other than
// 1x through a pitch-keeping time stretcher (sonic, made for speech), with the
// stretches of silence to be skipped jumped over, and with a gain. The file's
// frames stay the measure of the position whatever the device hears, so a
// player that counts the recording's seconds keeps its count. Not
// thread-safe: the device's lock guards it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/mci/silence_bands.h"
#include "platform/mci/wav_file.h"

struct sonicStreamStruct;

namespace platform::mci {

inline constexpr uint32_t kNormalSpeed = 1000;  // thousandths: 1x
inline constexpr uint32_t kSlowestSpeed = 500, kFastestSpeed = 2000;
inline constexpr uint32_t kUnityGain = 1000, kLargestGain = 2000;  // thousandths: 100 %, 200 %

class PlayStream {
public:
    explicit PlayStream(WavFile wav);
    PlayStream(const PlayStream&) = delete;
    PlayStream& operator=(const PlayStream&) = delete;

    const WavFile& Wav() const { return wav_; }
    // The next frame of the file to be read: the position.
    uint64_t Next() const { return next_; }
    // Every frame has been read and every stretched sample handed on.
    bool Finished() const;
    // Goes to `frame` (at most the end); what the stretcher held is dropped.
    void MoveTo(uint64_t frame);

    // Writes up to `frames` frames of 16-bit samples to `out`; fewer only at
    // the end of the file (or when it cannot be read).
    size_t Fill(int16_t* out, size_t frames);

    // Thousandths, kSlowestSpeed..kFastestSpeed. What the stretcher holds
    // still sounds at the old speed.
    void SetSpeed(uint32_t thousandths);
    // Thousandths, 0..kLargestGain; samples are clipped to 16 bits.
    void SetGain(uint32_t thousandths) { gain_ = thousandths; }
    // The silence to jump over: of each band, all but a quarter second at
    // either edge. Empty: nothing is skipped.
    void SkipSilence(const std::vector<SilenceBand>& bands);
    // The jumps made over silence so far.
    uint64_t Skips() const { return skips_; }

private:
    struct Span {
        uint64_t from, to;
    };
    struct StretcherDeleter {
        void operator()(sonicStreamStruct* s) const;
    };
    using Stretcher = std::unique_ptr<sonicStreamStruct, StretcherDeleter>;

    Stretcher NewStretcher() const;
    uint64_t NextStop();
    void ApplyGain(int16_t* samples, size_t count) const;

    WavFile wav_;
    uint64_t next_ = 0;
    uint32_t speed_ = kNormalSpeed, gain_ = kUnityGain;
    Stretcher stretcher_;  // made at the first speed other than 1x
    bool flushed_ = true;  // the stretcher holds no input it has not turned into output
    std::vector<int16_t> input_;
    std::vector<Span> skipped_;
    size_t span_ = 0;  // the first span that ends after next_
    uint64_t skips_ = 0;
};

}  // namespace platform::mci
