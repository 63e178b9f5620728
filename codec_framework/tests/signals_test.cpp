// The test signals must be what codec tests take them for: speech-like,
// repeatable, and measured correctly, or every codec bound built on them
// means nothing.
#include "codec_framework/testing/signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace Tessel::testing;

namespace {

TEST(TestSignals, SpeechLikeIsRepeatableVoiceWithPausesAtTheRequestedLevel) {
    const auto a = SpeechLike(4, 7), b = SpeechLike(4, 7), c = SpeechLike(4, 8);
    ASSERT_EQ(a.size(), 4u * 8000);
    EXPECT_EQ(a, b) << "the same seed must give the same samples";
    EXPECT_NE(a, c);
    const auto peak = *std::max_element(a.begin(), a.end(), [](int16_t x, int16_t y) { return std::abs(x) < std::abs(y); });
    EXPECT_NEAR(std::abs(peak), 12000, 1);
    // Some 20 ms frames are pauses, and most are voiced.
    int quiet = 0, loud = 0;
    for (size_t f = 0; f + 160 <= a.size(); f += 160) {
        double e = 0;
        for (size_t i = f; i < f + 160; ++i) e += double(a[i]) * a[i];
        (e / 160 < 100 * 100 ? quiet : loud)++;
    }
    EXPECT_GT(quiet, 5);
    EXPECT_GT(loud, quiet);
}

TEST(TestSignals, MeasuresFindTheDelayAndTheNoise) {
    const auto ref = SpeechLike(2, 3);
    std::vector<int16_t> delayed(ref.size() + 40, 0);
    std::copy(ref.begin(), ref.end(), delayed.begin() + 40);
    EXPECT_EQ(BestLag(ref, delayed, 100), 40);
    EXPECT_NEAR(Correlation(ref, delayed, 40), 1.0, 1e-9);
    EXPECT_GE(SnrDb(ref, delayed, 40), 199);

    std::vector<int16_t> noisy(ref);
    for (size_t i = 0; i < noisy.size(); ++i) noisy[i] = int16_t(noisy[i] + ((i * 7919) % 201) - 100);
    const double snr = SnrDb(ref, noisy);
    EXPECT_GT(snr, 20);
    EXPECT_LT(snr, 50);
    EXPECT_LT(SegmentalSnrDb(ref, noisy), 35);

    const auto sweep = Chirp(1, 200, 3400, 10000);
    EXPECT_EQ(sweep.size(), 8000u);
    EXPECT_LT(Correlation(sweep, ref, 0), 0.2);
}

}  // namespace
