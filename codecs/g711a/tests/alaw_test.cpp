// The A-law tables, called directly: the documented levels and codes, and
// what must hold for every code and every sample.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>

#include "codecs/g711a/alaw.h"

namespace {

TEST(AlawExpansion, GivesTheG711LevelsScaledTo16Bits) {
    struct Case {
        uint8_t code;
        int16_t sample;
    };
    for (Case c : {Case{0xD5, 8}, Case{0x55, -8}, Case{0x80, 5504}, Case{0x00, -5504}, Case{0xAA, 32256},
                   Case{0x2A, -32256}}) {
        EXPECT_EQ(alaw::Expand(c.code), c.sample) << "code 0x" << std::hex << int(c.code);
    }
}

TEST(AlawCompression, CodesSmallLoudAndNegativeSamplesAsRecordingsHoldThem) {
    EXPECT_EQ(alaw::kCompress[0], 0xD5);
    EXPECT_EQ(alaw::kCompress[1], 0xD4);
    EXPECT_EQ(alaw::kCompress[2047], 0xAA);
    EXPECT_EQ(alaw::kCompress[2048], 0x2A);

    EXPECT_EQ(alaw::Compress(0), 0xD5);
    for (int s = -15; s <= -1; ++s) EXPECT_EQ(alaw::Compress(int16_t(s)), 0x55) << "sample " << s;
    // A negative sample is coded by its true magnitude: -16 starts the
    // second quantization interval, one step above -15.
    EXPECT_EQ(alaw::Compress(-16), 0x54);
    EXPECT_EQ(alaw::Expand(0x54), -24);
    EXPECT_EQ(alaw::Compress(32767), 0xAA);
    EXPECT_EQ(alaw::Compress(-32768), 0x2A) << "the most negative sample must take the largest negative code";
}

TEST(AlawCompression, EveryCodeSurvivesDecodingAndEncodingAgain) {
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(alaw::Compress(alaw::Expand(uint8_t(c))), c)
            << "code 0x" << std::hex << c << " decoded to " << std::dec << alaw::Expand(uint8_t(c))
            << " and encoded to a different code";
    }
}

TEST(AlawCompression, NeverMissesASampleByMoreThanOneQuantizationStep) {
    // Every 16-bit value lands on a level of its own sign, no farther away
    // than the width of its quantization interval (16 in the two lowest
    // segments, doubling with each segment above).
    for (int s = -32768; s <= 32767; ++s) {
        const int back = alaw::Expand(alaw::Compress(int16_t(s)));
        const int magnitude = s < 0 ? -s : s;
        const int width = magnitude < 512 ? 16 : 16 << (std::bit_width(unsigned(magnitude)) - 9);
        ASSERT_LE(std::abs(back - s), width) << "sample " << s << " came back as " << back;
        if (s != 0) {
            ASSERT_EQ(back < 0, s < 0) << "sample " << s << " changed sign";
        }
    }
}

}  // namespace
