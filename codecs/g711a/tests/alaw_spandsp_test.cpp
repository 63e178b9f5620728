// A-law against an independent implementation, Debian's spandsp.
//
// The two agree on every code's level and on every sample but 127: spandsp,
// like most encoders, codes a negative sample by its one's complement
// (-s - 1), where recordings of this system code it by its true magnitude.
// The two differ exactly where the magnitude of a negative sample is a
// multiple of 16 at which a quantization interval begins; there this codec
// gives the code one step larger in magnitude (-16 -> 0x54, spandsp 0x55).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>

#include "codecs/g711a/alaw.h"

namespace {

TEST(AlawAgainstSpandsp, DecodesEveryCodeToTheSameLevel) {
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(alaw::Expand(uint8_t(c)), alaw_to_linear(uint8_t(c))) << "code 0x" << std::hex << c;
    }
}

TEST(AlawAgainstSpandsp, EncodesAlikeExceptNegativeSamplesOnAnIntervalStart) {
    for (int s = 0; s <= 32767; ++s) {
        ASSERT_EQ(alaw::Compress(int16_t(s)), linear_to_alaw(s)) << "positive sample " << s << " is coded differently";
    }
    std::vector<int> differing;
    for (int s = -32768; s < 0; ++s) {
        // True magnitude against one's complement: our code for s is
        // spandsp's code for s - 1, whose complement is our magnitude.
        ASSERT_EQ(alaw::Compress(int16_t(s)), linear_to_alaw(s - 1)) << "negative sample " << s;
        if (alaw::Compress(int16_t(s)) != linear_to_alaw(s)) differing.push_back(s);
    }
    EXPECT_EQ(differing.size(), 127u) << "the negative samples coded differently from spandsp are not the 127 expected";
    for (int s : differing) {
        const int m = -s;
        // The interval of magnitude m starts at m: the next lower magnitude
        // is coded on a lower level.
        EXPECT_EQ(m % 16, 0) << "sample " << s << " differs but is not a multiple of 16";
        EXPECT_NE(alaw::Compress(int16_t(s)), alaw::Compress(int16_t(s + 1))) << "sample " << s << " starts no interval";
        EXPECT_LT(alaw::Expand(alaw::Compress(int16_t(s))), alaw_to_linear(linear_to_alaw(s)))
            << "sample " << s << " should be one level farther from zero than spandsp codes it";
    }
    EXPECT_EQ(alaw::Compress(-16), 0x54);
    EXPECT_EQ(linear_to_alaw(-16), 0x55);
}

}  // namespace
