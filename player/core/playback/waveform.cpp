// The waveform's one pass (waveform.h): blocks of frames are read, their
// samples folded into the bucket each frame belongs to and fed to the
// silence detector; a stop request is looked at between blocks.
#include "player/core/playback/waveform.h"

#include <algorithm>
#include <limits>

namespace player {

Waveform ComputeWaveform(platform::mci::WavFile& wav, std::stop_token stop, std::size_t buckets) {
    Waveform w;
    w.rate = wav.Rate();
    w.frames = wav.Frames();
    const std::uint64_t n = std::min<std::uint64_t>(buckets, w.frames);
    w.peaks.assign(n, {std::numeric_limits<std::int16_t>::max(), std::numeric_limits<std::int16_t>::min()});
    platform::mci::SilenceDetector detector(wav.Rate(), wav.Channels());
    const std::size_t channels = wav.Channels();
    constexpr std::size_t kBlock = 16384;  // frames a read
    std::vector<std::int16_t> block(kBlock * channels);

    std::uint64_t bucket = 0;
    // The first frame of the next bucket; frames * n stays far below 2^64 for any WAV.
    auto boundary = [&](std::uint64_t i) { return (i + 1) * w.frames / n; };
    std::uint64_t next = n ? boundary(0) : 0;
    for (std::uint64_t at = 0; at < w.frames && !stop.stop_requested();) {
        const std::size_t got = wav.Read(at, kBlock, block.data());
        if (got == 0) break;  // a read error: the peaks of what could be read
        detector.Feed(block.data(), got);
        for (std::size_t f = 0; f < got;) {
            while (at + f >= next) next = boundary(++bucket);
            const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(got, next - at));
            Waveform::Peak& peak = w.peaks[bucket];
            std::int16_t low = peak.low, high = peak.high;
            for (std::size_t i = f * channels; i < end * channels; ++i) {
                low = std::min(low, block[i]);
                high = std::max(high, block[i]);
            }
            peak = {low, high};
            f = end;
        }
        at += got;
    }
    w.silences = detector.Finish();
    return w;
}

}  // namespace player
