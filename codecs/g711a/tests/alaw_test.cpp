// The A-law tables, called directly: their ends, and how near every 16-bit
// sample comes back. The reference codes and levels are checked through
// the plug-in, and every code and sample against spandsp.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>

#include "codecs/g711a/alaw.h"

namespace {

TEST(AlawCompression, TableRunsFromTheSmallestToTheLargestCode) {
    EXPECT_EQ(alaw::kCompress[0], 0xD5);
    EXPECT_EQ(alaw::kCompress[1], 0xD4);
    EXPECT_EQ(alaw::kCompress[2047], 0xAA);
    EXPECT_EQ(alaw::kCompress[2048], 0x2A) << "only -32768 reaches this entry, for the largest negative code";
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
