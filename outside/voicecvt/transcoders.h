// The three recording formats, each way: a Transcoder turns the bytes of
// one side (recording, or a WAV's sample data) into the other's, chunk by
// chunk, keeping its codec state between chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace voicecvt {

enum class Direction { ToWave, FromWave };

// What a WAV's sample data is: 16-bit PCM or A-law bytes, 8 kHz mono.
enum class WaveCoding { Pcm16, ALaw };

class Transcoder {
public:
    virtual ~Transcoder() = default;
    // Appends what `in` becomes to `out`. `last` marks the source's final
    // bytes: a partial unit there is padded (encoders) or dropped (decoders).
    // False when the codec refused the data.
    virtual bool Convert(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) = 0;
};

// Target bytes per source byte, the bound for one chunk's output.
inline constexpr size_t kMaxGrowth = 10;

// The transcoder for `type` (0 VOC, 1 VC2, 4 VC5) in `direction`; `coding`
// is the WAV side's. Null when the codec state cannot be made.
std::unique_ptr<Transcoder> MakeTranscoder(int32_t type, Direction direction, WaveCoding coding, double gain);

}  // namespace voicecvt
