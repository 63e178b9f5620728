// The 4-bit ADPCM of telephony voice boards (Dialogic, or OKI, ADPCM): one
// channel's state and the step that codes or decodes one value.
//
// The state is a predictor on the 12-bit scale and an index into 49 step
// sizes. A code is 4 bits: bit 3 the sign, bits 2..0 how many steps (in
// eighths, with truncating shifts) the predictor moves. Encoding picks the
// code by successive approximation and then runs the decoder, so that the
// encoder's state follows the decoder's exactly.
//
// The predictor is clamped to -1024..1024, not to the 2047 of the full
// 12-bit range: recordings and converted files made by this system were coded
// so, and a decoder must reproduce them sample for sample. Decoded audio
// therefore never exceeds +-16384 after the x16 scaling of the frame
// routines.
//
// Everything here is inline: the frame routines call these once per sample
// and the step sits on the critical path of the predictor chain.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace dialogic {

inline constexpr std::array<int16_t, 49> kStepSizes = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,  45,   50,   55,   60,   66,   73,
    80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209, 230,  253,  279,  307,  337,  371,
    408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552,
};
// Indexed by a code's magnitude bits.
inline constexpr std::array<int8_t, 8> kIndexAdjust = {-1, -1, -1, -1, 2, 4, 6, 8};

inline constexpr int kPredictorLimit = 1024;
inline constexpr int kMaxStepIndex = int(kStepSizes.size()) - 1;

// One channel, as an encoder or a decoder carries it for its whole life.
struct AdpcmState {
    int16_t predictor = 0;  // last reconstructed value, -1024..1024
    int16_t stepIndex = 0;  // 0..48
};

// Applies code c (0..15) to the state and returns the new predictor.
inline int DecodeCode(AdpcmState& st, unsigned c) {
    const int step = kStepSizes[size_t(st.stepIndex)];
    int diff = step >> 3;
    if (c & 1) diff += step >> 2;
    if (c & 2) diff += step >> 1;
    if (c & 4) diff += step;
    if (c & 8) diff = -diff;
    const int predictor = std::clamp(st.predictor + diff, -kPredictorLimit, kPredictorLimit);
    st.predictor = int16_t(predictor);
    st.stepIndex = int16_t(std::clamp(st.stepIndex + kIndexAdjust[c & 7], 0, kMaxStepIndex));
    return predictor;
}

// Codes the 12-bit value x (-2048..2047) against the state, moves the state
// exactly as the decoder will, and returns the code.
inline unsigned EncodeValue(AdpcmState& st, int x) {
    const int step = kStepSizes[size_t(st.stepIndex)];
    int d = x - st.predictor;
    unsigned c = 0;
    if (d < 0) {
        c = 8;
        d = -d;
    }
    if (d >= step) {
        c |= 4;
        d -= step;
    }
    if (d >= step >> 1) {
        c |= 2;
        d -= step >> 1;
    }
    if (d >= step >> 2) c |= 1;
    DecodeCode(st, c);
    return c;
}

}  // namespace dialogic
