// The A-law buffer loops, kept out of line so that the plug-in, its tests
// and the benchmark run the very same code. Each sample is one table load;
// the encoder's sign handling is written without branches, since the sign of
// speech samples is what a branch predictor guesses worst, and the loops are
// unrolled, since at one load a sample their own counting is a fair share of
// the work.
#include "alaw.h"

namespace alaw {

void EncodeSamples(uint8_t* out, const int16_t* in, size_t count) {
#pragma GCC unroll 8
    for (size_t i = 0; i < count; ++i) out[i] = Compress(in[i]);
}

void DecodeSamples(int16_t* out, const uint8_t* in, size_t count) {
#pragma GCC unroll 8
    for (size_t i = 0; i < count; ++i) out[i] = kExpand[in[i]];
}

}  // namespace alaw
