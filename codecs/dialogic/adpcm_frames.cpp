// The Dialogic ADPCM frame routines (see adpcm_frames.h), out of line so
// that both plug-ins, the tests and the benchmark share one copy.
//
// Each routine works on a local copy of the channel state and stores it back
// at the end: the stores of output bytes could otherwise alias the state, and
// the compiler would reload it from memory on every sample's critical path.
#include "adpcm_frames.h"

namespace dialogic {
namespace {

constexpr size_t kGroups24k = 20;  // 8 PCM samples against 3 bytes each

[[gnu::always_inline]] inline int16_t Scaled(AdpcmState& st, unsigned code) { return int16_t(DecodeCode(st, code) * 16); }

[[gnu::always_inline]] inline uint8_t EncodePair(AdpcmState& st, int first, int second) {
    const unsigned high = EncodeValue(st, first);
    const unsigned low = EncodeValue(st, second);
    return uint8_t(high << 4 | low);
}

}  // namespace

void Decode32kFrame(AdpcmState& channel, int16_t* pcm, const uint8_t* coded) {
    AdpcmState st = channel;
    for (size_t i = 0; i < kCodedBytes32k; ++i) {
        pcm[2 * i] = Scaled(st, coded[i] >> 4);
        pcm[2 * i + 1] = Scaled(st, coded[i] & 0x0F);
    }
    channel = st;
}

void Encode32kFrame(AdpcmState& channel, uint8_t* coded, const int16_t* pcm) {
    AdpcmState st = channel;
    for (size_t i = 0; i < kCodedBytes32k; ++i) coded[i] = EncodePair(st, pcm[2 * i] >> 4, pcm[2 * i + 1] >> 4);
    channel = st;
}

void Decode24kFrame(AdpcmState& channel, int16_t* pcm, const uint8_t* coded) {
    AdpcmState st = channel;
    int prev = 0;
    for (size_t g = 0; g < kGroups24k; ++g, coded += 3, pcm += 8) {
        int s[6];
        for (int b = 0; b < 3; ++b) {
            s[2 * b] = Scaled(st, coded[b] >> 4);
            s[2 * b + 1] = Scaled(st, coded[b] & 0x0F);
        }
        pcm[0] = int16_t(prev + ((s[0] - prev) * 3 >> 2));
        pcm[1] = int16_t(s[0] + ((s[1] - s[0]) >> 1));
        pcm[2] = int16_t(s[1] + ((s[2] - s[1]) >> 2));
        pcm[3] = int16_t(s[2]);
        pcm[4] = int16_t(s[2] + ((s[3] - s[2]) * 3 >> 2));
        pcm[5] = int16_t(s[3] + ((s[4] - s[3]) >> 1));
        pcm[6] = int16_t(s[4] + ((s[5] - s[4]) >> 2));
        pcm[7] = int16_t(s[5]);
        prev = s[5];
    }
    channel = st;
}

void Encode24kFrame(AdpcmState& channel, uint8_t* coded, const int16_t* pcm) {
    AdpcmState st = channel;
    for (size_t g = 0; g < kGroups24k; ++g, coded += 3, pcm += 8) {
        const int x0 = pcm[0], x1 = pcm[1], x2 = pcm[2], x3 = pcm[3];
        const int x4 = pcm[4], x5 = pcm[5], x6 = pcm[6], x7 = pcm[7];
        // Each sum lies between two neighbouring samples, so it is still a
        // 16-bit value when it is shifted.
        coded[0] = EncodePair(st, (x0 + (x1 - x0) / 3) >> 4, (x1 + 2 * (x2 - x1) / 3) >> 4);
        coded[1] = EncodePair(st, x3 >> 4, (x4 + (x5 - x4) / 3) >> 4);
        coded[2] = EncodePair(st, (x5 + 2 * (x6 - x5) / 3) >> 4, x7 >> 4);
    }
    channel = st;
}

}  // namespace dialogic
