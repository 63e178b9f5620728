// Stretches of silence in a WAV file, for the waveform's bands and for
// skipping silence while a device plays. An energy detector with a hangover
// rather than a trained voice detector: it needs no other library, gives the
// same bands for the same file on every machine, and reads an hour of 8 kHz
// audio in a few milliseconds beside the decoding (docs/mci.md, "Silence").
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/mci/wav_file.h"

namespace platform::mci {

// Frames in the file's own rate (one frame holds a sample of every channel).
struct SilenceBand {
    uint64_t firstFrame, frameCount;
};

// The file's silences of at least `minimumSeconds`, in order. Reads the
// whole file from its first frame through a buffer of its own, so the file
// may be one another reader uses too.
std::vector<SilenceBand> FindSilenceBands(const WavFile& wav, double minimumSeconds = 1.0);

// The same detector fed block by block, for a reader that goes over the
// samples anyway (the waveform's peaks): Feed the interleaved frames in
// order, then Finish once.
class SilenceDetector {
public:
    // A 20 ms window is quiet when its mean power is below -55 dBFS; a loud
    // window keeps the next 100 ms as sound (the hangover), so a word's
    // fading end is not taken for silence.
    static constexpr double kWindowSeconds = 0.020, kHangoverSeconds = 0.100, kThresholdDbfs = -55.0;

    SilenceDetector(uint32_t rate, uint16_t channels, double minimumSeconds = 1.0);
    void Feed(const int16_t* samples, size_t frames);
    std::vector<SilenceBand> Finish();

private:
    void EndWindow();
    void CloseBand(uint64_t end);

    uint16_t channels_;
    uint64_t window_, hangover_, minimum_;
    double threshold_;           // mean power per sample, squared amplitude
    uint64_t frame_ = 0;         // frames fed so far
    uint64_t windowFrames_ = 0;  // frames in the open window
    double windowPower_ = 0;     // their summed squares
    uint64_t soundUntil_ = 0;    // the hangover after the last loud window ends here
    uint64_t quietFrom_ = 0;     // where the quiet stretch being measured began
    bool quiet_ = false;
    std::vector<SilenceBand> bands_;
};

}  // namespace platform::mci
