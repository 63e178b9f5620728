// player: the waveform of the loaded recording -- the lowest and highest
// sample of each of a fixed number of equal stretches (buckets), and the
// silences -- read in one pass over the temporary WAV. A fixed number of
// buckets keeps a ten-hour call as small as a short one (16 KiB of peaks);
// the strip rescales them to its width. docs/playback.md, "The waveform".
#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <vector>

#include "platform/mci/silence_bands.h"
#include "platform/mci/wav_file.h"

namespace player {

struct Waveform {
    static constexpr std::size_t kBuckets = 4096;

    struct Peak {
        std::int16_t low, high;
    };
    std::uint32_t rate = 0;
    std::uint64_t frames = 0;
    // Bucket i covers the frames [i * frames / n, (i + 1) * frames / n) of n
    // buckets: kBuckets, or one a frame for a recording shorter than that.
    std::vector<Peak> peaks;
    std::vector<platform::mci::SilenceBand> silences;

    double Seconds() const { return rate ? static_cast<double>(frames) / rate : 0; }
    // What it holds, for the memory it costs.
    std::size_t Bytes() const {
        return sizeof(*this) + peaks.capacity() * sizeof(Peak) + silences.capacity() * sizeof(silences[0]);
    }
};

// Reads `wav` from its first frame to its last (every channel counts for the
// peaks). A stop request ends the reading early; what it returns then is
// incomplete and only fit to be thrown away.
Waveform ComputeWaveform(platform::mci::WavFile& wav, std::stop_token stop = {},
                         std::size_t buckets = Waveform::kBuckets);

}  // namespace player
