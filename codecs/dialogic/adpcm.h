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
// Everything here is inline: the frame routines call these once per sample,
// and each sample's code depends on the state the previous one left, so the
// time per sample is the length of that chain.
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

// How far code magnitude m (0..7) moves the predictor at each step index:
// step / 8, plus step / 4 for bit 0, step / 2 for bit 1 and step for bit 2,
// every division a shift. Tabled so that decoding a code is one load.
inline constexpr std::array<int16_t, kStepSizes.size() * 8> kMoves = [] {
    std::array<int16_t, kStepSizes.size() * 8> t{};
    for (size_t index = 0; index < kStepSizes.size(); ++index) {
        const int step = kStepSizes[index];
        for (unsigned m = 0; m < 8; ++m) {
            int move = step >> 3;
            if (m & 1) move += step >> 2;
            if (m & 2) move += step >> 1;
            if (m & 4) move += step;
            t[index * 8 + m] = int16_t(move);
        }
    }
    return t;
}();

// The step index after a code of magnitude m (0..7) at each step index: the
// index-adjust table's entry added and the sum held within 0..48. Tabled so
// that the next step is known one load after the code.
inline constexpr std::array<int8_t, kStepSizes.size() * 8> kNextIndex = [] {
    std::array<int8_t, kStepSizes.size() * 8> t{};
    for (int index = 0; index <= kMaxStepIndex; ++index)
        for (int m = 0; m < 8; ++m)
            t[size_t(index * 8 + m)] = int8_t(std::clamp(index + kIndexAdjust[size_t(m)], 0, kMaxStepIndex));
    return t;
}();

// Applies code c (0..15) to the state and returns the new predictor. Bit 3
// negates the move; the predictor is clamped to +-1024 and the step index to
// 0..48. Written without branches: the codes of speech are what a branch
// predictor guesses worst.
[[gnu::always_inline]] inline int DecodeCode(AdpcmState& st, unsigned c) {
    const int move = kMoves[size_t(st.stepIndex) * 8 + (c & 7)];
    const int negate = -int(c >> 3);  // 0 or -1
    const int diff = (move ^ negate) - negate;
    const int predictor = std::clamp(st.predictor + diff, -kPredictorLimit, kPredictorLimit);
    st.predictor = int16_t(predictor);
    st.stepIndex = kNextIndex[size_t(st.stepIndex) * 8 + (c & 7)];
    return predictor;
}

// The levels of the encoder's successive approximation at each step index:
// level m (0..7) = step for bit 2 + step / 2 for bit 1 + step / 4 for bit 0.
// Since step > step / 2 + step / 4, the levels rise with m, and picking the
// bits one by one (bit 2 when |d| reaches the step, then bit 1 when what is
// left reaches step / 2, then bit 0 for step / 4) gives the largest m whose
// level |d| reaches: the number of levels above 0 that it reaches.
inline constexpr std::array<int16_t, kStepSizes.size() * 8> kLevels = [] {
    std::array<int16_t, kStepSizes.size() * 8> t{};
    for (size_t index = 0; index < kStepSizes.size(); ++index) {
        const int step = kStepSizes[index];
        for (unsigned m = 0; m < 8; ++m)
            t[index * 8 + m] = int16_t((m & 4 ? step : 0) + (m & 2 ? step >> 1 : 0) + (m & 1 ? step >> 2 : 0));
    }
    return t;
}();

// Codes the 12-bit value x (-2048..2047) against the state, moves the state
// exactly as the decoder will, and returns the code: bit 3 for a negative
// d = x - predictor, bits 2..0 the largest level that |d| reaches. The seven
// comparisons do not wait for each other, which keeps the chain from one
// sample's predictor to the next short.
[[gnu::always_inline]] inline unsigned EncodeValue(AdpcmState& st, int x) {
    const int16_t* level = &kLevels[size_t(st.stepIndex) * 8];
    int d = x - st.predictor;
    const int negative = d >> 31;  // 0 or -1 (arithmetic shift)
    d = (d ^ negative) - negative;
    const unsigned m = unsigned(((d >= level[1]) + (d >= level[2])) + ((d >= level[3]) + (d >= level[4])) +
                                ((d >= level[5]) + (d >= level[6])) + (d >= level[7]));
    const unsigned c = (unsigned(negative) & 8) | m;
    DecodeCode(st, c);
    return c;
}

}  // namespace dialogic
