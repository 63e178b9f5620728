// The ADPCM core and the frame routines of both variants, called directly:
// the channel state after known codes, the clamps, the 24 kbit/s encoder's
// rounding, and round trips of speech. The reference bytes and samples
// (silence, the first decoded samples) are checked through the plug-ins.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "codec_framework/testing/signals.h"
#include "codecs/dialogic/tests/whole_stream.h"

using dialogic::AdpcmState;
using Tessel::testing::SpeechLike;
using namespace dialogic::testing;

namespace {

TEST(AdpcmCore, MovesPredictorAndStepIndexByTheReferenceValues) {
    AdpcmState st;
    EXPECT_EQ(dialogic::DecodeCode(st, 0), 2);
    EXPECT_EQ(dialogic::DecodeCode(st, 0), 4);
    EXPECT_EQ(st.stepIndex, 0) << "code 0 must not lower the step index below 0";

    AdpcmState loud;
    EXPECT_EQ(dialogic::DecodeCode(loud, 7), 30);
    EXPECT_EQ(loud.stepIndex, 8);
    EXPECT_EQ(dialogic::DecodeCode(loud, 7), 93);
    EXPECT_EQ(loud.stepIndex, 16);
    EXPECT_EQ(dialogic::DecodeCode(loud, 15), 93 - (73 / 8 + 73 / 4 + 73 / 2 + 73)) << "code 15 is code 7 negated";
}

TEST(AdpcmCore, HoldsThePredictorAt1024AndTheStepIndexAt48) {
    AdpcmState st;
    int highest = 0;
    for (int i = 0; i < 400; ++i) highest = std::max(highest, dialogic::DecodeCode(st, 7));
    EXPECT_EQ(highest, 1024) << "the predictor must stop at 1024, not at the 12-bit limit";
    EXPECT_EQ(st.predictor, 1024);
    EXPECT_EQ(st.stepIndex, 48);

    int lowest = 0;
    for (int i = 0; i < 400; ++i) lowest = std::min(lowest, dialogic::DecodeCode(st, 15));
    EXPECT_EQ(lowest, -1024);
    EXPECT_EQ(st.stepIndex, 48);

    for (int i = 0; i < 60; ++i) dialogic::DecodeCode(st, 8);
    EXPECT_EQ(st.stepIndex, 0) << "small codes must walk the step index back down to 0 and no further";
}

TEST(AdpcmCore, EncodesEachValueAsTheClosestStepBelowIt) {
    // With a fresh channel the step is 16: thresholds 16, 8 and 4 on what is
    // left after each subtraction.
    struct Case {
        int x;
        unsigned code;
    };
    for (Case c : {Case{0, 0}, Case{3, 0}, Case{4, 1}, Case{8, 2}, Case{12, 3}, Case{16, 4}, Case{28, 7}, Case{2047, 7},
                   Case{-1, 8}, Case{-4, 9}, Case{-27, 14}, Case{-2048, 15}}) {
        AdpcmState st;
        EXPECT_EQ(dialogic::EncodeValue(st, c.x), c.code) << "value " << c.x;
        AdpcmState decoded;
        dialogic::DecodeCode(decoded, c.code);
        EXPECT_EQ(st.predictor, decoded.predictor) << "the encoder's state must follow the decoder's";
        EXPECT_EQ(st.stepIndex, decoded.stepIndex);
    }
}

TEST(AdpcmFrames, Encode24kTakesThirdsTowardZeroBeforeShifting) {
    // x0 = 0, x1 = -145: x0 + (x1 - x0) / 3 = -48 when the division truncates
    // toward zero (-49 if it rounded down), and -48 >> 4 = -3, which a fresh
    // channel codes as 8 (a difference of -4 would give 9).
    std::vector<int16_t> pcm(160, 0);
    pcm[1] = -145;
    AdpcmState st;
    std::vector<uint8_t> coded(60);
    dialogic::Encode24kFrame(st, coded.data(), pcm.data());
    EXPECT_EQ(coded[0] >> 4, 8);

    // x3 = -1 shifts arithmetically to -1 (a shift toward zero gives 0).
    std::vector<int16_t> step(160, 0);
    step[3] = -1;
    AdpcmState fresh;
    dialogic::Encode24kFrame(fresh, coded.data(), step.data());
    // y0 = y1 = 0 code as 0 then 8 (predictor back to 0); y2 = -1 against a
    // predictor of 0 gives code 8 again, where 0 would give code 0.
    EXPECT_EQ(coded[0], 0x08);
    EXPECT_EQ(coded[1] >> 4, 8) << "x3 = -1 must shift to -1";
}

TEST(AdpcmFrames, Encode24kTakesItsValuesAtOneThirdAndTwoThirdsOfTheWay) {
    // x1 = -96 and x5 = 192, the rest 0. The six values are
    //   y0 = (0 - 96 / 3) >> 4 = -2         y1 = (-96 + 2 x 96 / 3) >> 4 = -2
    //   y2 = 0   y3 = (0 + 192 / 3) >> 4 = 4   y4 = (192 - 2 x 192 / 3) >> 4 = 4   y5 = 0
    // which a fresh channel codes as 8 0 | 0 0 | 0 9 (predictor -2, 0, 2, 4,
    // 6, 0). Taking any of the four at the other third changes a code.
    std::vector<int16_t> pcm(160, 0);
    pcm[1] = -96;
    pcm[5] = 192;
    AdpcmState st;
    std::vector<uint8_t> coded(60);
    dialogic::Encode24kFrame(st, coded.data(), pcm.data());
    EXPECT_EQ(coded[0], 0x80) << "y0 must lie a third of the way from x0 to x1, y1 two thirds from x1 to x2";
    EXPECT_EQ(coded[1], 0x00) << "y3 must lie a third of the way from x4 to x5";
    EXPECT_EQ(coded[2], 0x09) << "y4 must lie two thirds of the way from x5 to x6";
}

TEST(AdpcmFrames, ALoudSignalIsClippedAt16384) {
    const auto speech = SpeechLike(4, 3, 30000);
    for (const Variant& v : {k32, k24}) {
        const auto back = DecodeStream(v, EncodeStream(v, speech));
        const auto [lo, hi] = std::minmax_element(back.begin(), back.end());
        EXPECT_EQ(*hi, 16384) << v.name << ": the loudest decoded sample must sit at the clamp";
        EXPECT_EQ(*lo, -16384) << v.name;
    }
}

// Measured on SpeechLike at a peak of 12000, seeds 1 to 5: 32 kbit/s gives
// 16.3 to 19.3 dB, 24 kbit/s 14.0 to 16.6 dB; the bounds sit 1.5 dB below the
// worst seed. A decoder that reads the nibbles in the other order than the
// encoder writes them gives -13 to -18 dB; a predictor clamp at 256 gives 9
// to 10 dB. (A clamp between the speech's level and 1024, or above 1024,
// leaves this speech alone: the loud-signal and run-of-7 cases catch those.)
TEST(AdpcmFrames, RoundTripOfSpeechKeepsItsSignalToNoiseRatio) {
    struct Bound {
        const Variant& v;
        double minDb;
    };
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        const auto speech = SpeechLike(6, seed);
        for (Bound b : {Bound{k32, 14.7}, Bound{k24, 12.5}}) {
            const auto back = DecodeStream(b.v, EncodeStream(b.v, speech));
            ASSERT_EQ(back.size(), speech.size());
            const double snr = Tessel::testing::SnrDb(speech, back);
            EXPECT_GT(snr, b.minDb) << b.v.name << ", speech seed " << seed << ": SNR " << snr << " dB";
            EXPECT_EQ(Tessel::testing::BestLag(speech, back, 8), 0)
                << b.v.name << ": decoded speech must line up with its input, without delay";
        }
    }
}

}  // namespace
