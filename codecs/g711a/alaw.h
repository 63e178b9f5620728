// G.711 A-law as recordings and converted files hold it: 8-bit codes, one
// per 16-bit sample, both directions by table.
//
// Expansion is the G.711 A-law expansion scaled to 16 bits: 256 values,
// indexed by the code. Compression works on a 12-bit magnitude (the sample
// shifted right by 4) through 2049 codes, entry i being the A-law code of
// +16 x i; a negative sample takes the code of its true magnitude with the
// sign bit cleared. That differs from encoders that take the one's
// complement of a negative value: where a negative magnitude is a multiple of
// 16 at which a quantization interval begins (127 of the 32768 negative
// values) the code is one step larger in magnitude, so -16 encodes to 0x54,
// not 0x55. The system's A-law recordings and conversions are coded so,
// and a converted recording must come out byte for byte the same as they.
//
// Both tables are computed at compile time: they are small (512 + 2049
// bytes) and stay in the first-level cache while a file is converted, and one
// load per sample beats computing the segment each time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace alaw {

// Sample value of code c: even bits inverted, 4-bit mantissa, 3-bit segment,
// the sign in bit 7 (set = positive).
constexpr int16_t ExpandCode(uint8_t c) {
    const unsigned v = c ^ 0x55u;
    const int mantissa = int(v & 0x0F);
    const int segment = int((v >> 4) & 7);
    const int magnitude = segment == 0 ? mantissa * 16 + 8 : (mantissa * 16 + 264) << (segment - 1);
    return int16_t((v & 0x80) ? magnitude : -magnitude);
}

// Code of the positive value 16 x i, for i = 0 .. 2047.
constexpr uint8_t CompressMagnitude(int i) {
    int segment = 0;
    if (i >= 32) {
        int k = 5;
        while (i >= (2 << k)) ++k;  // 2^k <= i < 2^(k+1)
        segment = k - 3;
    } else if (i >= 16) {
        segment = 1;
    }
    const int mantissa = segment <= 1 ? (i & 0x0F) : ((i >> (segment - 1)) & 0x0F);
    return uint8_t(((segment << 4) | mantissa) ^ 0xD5);
}

inline constexpr std::array<int16_t, 256> kExpand = [] {
    std::array<int16_t, 256> t{};
    for (int c = 0; c < 256; ++c) t[size_t(c)] = ExpandCode(uint8_t(c));
    return t;
}();

// Indexed by a 12-bit magnitude 0 .. 2048. Entry 2048 is reached only by
// -32768 (magnitude 32768) and gives the largest negative code.
inline constexpr std::array<uint8_t, 2049> kCompress = [] {
    std::array<uint8_t, 2049> t{};
    for (int i = 0; i < 2048; ++i) t[size_t(i)] = CompressMagnitude(i);
    t[2048] = 0x2A;
    return t;
}();

// One sample. The magnitude is taken in 32 bits, so -32768 gives 32768.
constexpr uint8_t Compress(int16_t s) {
    const int32_t m = s < 0 ? -int32_t(s) : int32_t(s);
    const uint8_t sign = s < 0 ? 0x7F : 0xFF;
    return uint8_t(kCompress[size_t(m >> 4)] & sign);
}

constexpr int16_t Expand(uint8_t c) { return kExpand[c]; }

// Whole buffers, in order; `count` codes or samples.
void EncodeSamples(uint8_t* out, const int16_t* in, size_t count);
void DecodeSamples(int16_t* out, const uint8_t* in, size_t count);

}  // namespace alaw
