// A whole stream through the frame routines of one variant, with one channel
// state from the first frame to the last, as an encoder or decoder object
// runs them over a recording. For the tests that call the routines directly.
#pragma once

#include <vector>

#include "codecs/dialogic/adpcm_frames.h"

namespace dialogic::testing {

struct Variant {
    const char* name;
    size_t codedBytes;  // per 160-sample frame
    void (*encode)(AdpcmState&, uint8_t*, const int16_t*);
    void (*decode)(AdpcmState&, int16_t*, const uint8_t*);
};
inline const Variant k32{"32 kbit/s", kCodedBytes32k, Encode32kFrame, Decode32kFrame};
inline const Variant k24{"24 kbit/s", kCodedBytes24k, Encode24kFrame, Decode24kFrame};

// Whole frames only; a partial frame at the end is left out.
inline std::vector<uint8_t> EncodeStream(const Variant& v, const std::vector<int16_t>& pcm) {
    AdpcmState st;
    const size_t frames = pcm.size() / kFrameSamples;
    std::vector<uint8_t> coded(frames * v.codedBytes);
    for (size_t f = 0; f < frames; ++f) v.encode(st, &coded[f * v.codedBytes], &pcm[f * kFrameSamples]);
    return coded;
}

inline std::vector<int16_t> DecodeStream(const Variant& v, const std::vector<uint8_t>& coded) {
    AdpcmState st;
    const size_t frames = coded.size() / v.codedBytes;
    std::vector<int16_t> pcm(frames * kFrameSamples);
    for (size_t f = 0; f < frames; ++f) v.decode(st, &pcm[f * kFrameSamples], &coded[f * v.codedBytes]);
    return pcm;
}

}  // namespace dialogic::testing
