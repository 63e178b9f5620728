// The "fmt " rate probe on any head of a WAV file: the bytes in a buffer of
// exactly their length (the probe reads at most kWavHeaderProbe of a file),
// the answer 0 or a rate from 1 to INT32_MAX.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "player/core/playback/durations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > player::kWavHeaderProbe) return 0;
    const std::vector<unsigned char> head(data, data + size);
    const int32_t rate = player::WavByteRateOf(head.data(), head.size());
    if (rate < 0) std::abort();
    return 0;
}
