// Dialogic ADPCM against an independent implementation, Debian's spandsp
// (its OKI ADPCM at 32 and 24 kbit/s).
//
// What was found in spandsp 0.0.6, by its headers and by experiment:
// - the same 49 step sizes, index adjustments and successive-approximation
//   encoder; the same stream layout (two codes a byte, high nibble first)
//   and the same x16 scaling; its encoder keeps a half-filled byte across
//   calls (the code of an odd last sample waits in the low nibble of its
//   state's byte), so odd sample counts carry over;
// - its predictor is clamped to -2048..2047 where this system's is clamped
//   to +-1024, so decoded audio reaches 32752 there and stops at 16384 here;
//   once a signal passes the clamp the two channel states part for good;
// - at 24 kbit/s it resamples 8000 <-> 6000 Hz with a filter (it keeps 32
//   samples of history, and its decoder's output lags by about 13 samples)
//   where this system interpolates linearly within each 8-sample group, so
//   no sample is expected to match; the coded stream itself is the same kind
//   (6000 four-bit codes a second), and each decodes the other's well.
// Its private state struct is installed with the library, which lets the
// decoder be compared from every channel state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <spandsp/telephony.h>
#include <spandsp/oki_adpcm.h>
#include <spandsp/private/oki_adpcm.h>

#include "codec_framework/testing/signals.h"
#include "codecs/dialogic/tests/whole_stream.h"

using dialogic::AdpcmState;
using namespace Tessel::testing;
using namespace dialogic::testing;

namespace {

// One spandsp channel, freed on scope exit.
class Oki {
public:
    explicit Oki(int bitRate) { oki_adpcm_init(&state_, bitRate); }
    Oki(const Oki&) = delete;
    Oki& operator=(const Oki&) = delete;
    ~Oki() { oki_adpcm_release(&state_); }
    oki_adpcm_state_t* operator->() { return &state_; }

    std::vector<uint8_t> Encode(const std::vector<int16_t>& pcm) {
        std::vector<uint8_t> out(pcm.size() / 2 + 1);
        out.resize(size_t(oki_adpcm_encode(&state_, out.data(), pcm.data(), int(pcm.size()))));
        return out;
    }
    std::vector<int16_t> Decode(const std::vector<uint8_t>& coded) {
        std::vector<int16_t> out(coded.size() * 4 + 64);
        out.resize(size_t(oki_adpcm_decode(&state_, out.data(), coded.data(), int(coded.size()))));
        return out;
    }

private:
    oki_adpcm_state_t state_{};
};

TEST(AdpcmAgainstSpandsp, DecoderAgreesFromEveryChannelStateUpToTheClamp) {
    Oki oki(32000);
    size_t compared = 0, clamped = 0;
    for (int16_t index = 0; index <= 48; ++index) {
        for (int16_t predictor = -1024; predictor <= 1024; ++predictor) {
            for (int byte = 0; byte < 256; ++byte) {
                oki->last = predictor;
                oki->step_index = index;
                const uint8_t in = uint8_t(byte);
                int16_t theirs[2];
                ASSERT_EQ(oki_adpcm_decode(oki.operator->(), theirs, &in, 1), 2);

                AdpcmState ours{predictor, index};
                const int first = dialogic::DecodeCode(ours, unsigned(byte) >> 4) * 16;
                if (std::abs(theirs[0]) > 16384) {
                    // Past this system's clamp: here the predictor stops at
                    // +-1024, in spandsp it goes on.
                    ASSERT_EQ(first, theirs[0] > 0 ? 16384 : -16384);
                    ++clamped;
                    continue;
                }
                ASSERT_EQ(first, theirs[0]) << "step index " << index << ", predictor " << predictor << ", byte 0x"
                                            << std::hex << byte << ": first (high-nibble) sample";
                const int second = dialogic::DecodeCode(ours, unsigned(byte) & 0x0F) * 16;
                if (std::abs(theirs[1]) > 16384) {
                    ++clamped;
                    continue;
                }
                ASSERT_EQ(second, theirs[1]) << "step index " << index << ", predictor " << predictor << ", byte 0x"
                                             << std::hex << byte << ": second (low-nibble) sample";
                ASSERT_EQ(ours.stepIndex, oki->step_index) << "step index after byte 0x" << std::hex << byte;
                ++compared;
            }
        }
    }
    const size_t all = 49 * 2049 * 256;
    EXPECT_GT(compared, all * 7 / 10) << "too few channel states were compared: " << compared << " of " << all;
    EXPECT_GT(clamped, 0u);
}

TEST(AdpcmAgainstSpandsp, EncoderPicksTheSameCodeFromEveryStepIndexAndValue) {
    Oki oki(32000);
    for (int16_t index = 0; index <= 48; ++index) {
        for (int16_t predictor : {-1024, -1000, -333, -1, 0, 1, 517, 1000, 1024}) {
            for (int x = -2048; x <= 2047; ++x) {
                // One sample: spandsp keeps its code in the low nibble of the
                // byte it has not finished.
                oki->last = predictor;
                oki->step_index = index;
                oki->mark = 0;
                oki->oki_byte = 0;
                const int16_t sample = int16_t(x * 16);
                uint8_t unused[1];
                ASSERT_EQ(oki_adpcm_encode(oki.operator->(), unused, &sample, 1), 0);
                const unsigned theirs = oki->oki_byte & 0x0F;

                AdpcmState ours{predictor, index};
                ASSERT_EQ(dialogic::EncodeValue(ours, x), theirs)
                    << "step index " << index << ", predictor " << predictor << ", value " << x;
                ASSERT_EQ(ours.stepIndex, oki->step_index) << "step index after coding " << x;
                ASSERT_EQ(ours.predictor, std::clamp<int>(oki->last, -1024, 1024)) << "predictor after coding " << x;
            }
        }
    }
}

TEST(AdpcmAgainstSpandsp, Encoder32kGivesTheSameBytesForSpeechBelowTheClamp) {
    const auto speech = SpeechLike(10, 11);  // peaks near 12000: predictor within +-800
    const auto ours = EncodeStream(k32, speech);
    Oki oki(32000);
    const auto theirs = oki.Encode(speech);
    ASSERT_EQ(theirs.size(), ours.size());
    const auto firstDiff = std::mismatch(ours.begin(), ours.end(), theirs.begin()).first - ours.begin();
    EXPECT_EQ(size_t(firstDiff), ours.size()) << "the coded streams part at byte " << firstDiff;

    const auto decoded = DecodeStream(k32, ours);
    ASSERT_LT(*std::max_element(decoded.begin(), decoded.end(), [](int a, int b) { return std::abs(a) < std::abs(b); }),
              16384)
        << "the test signal reached the clamp, where the two are meant to differ";
    Oki decoder(32000);
    EXPECT_EQ(decoded, decoder.Decode(ours)) << "spandsp decodes the stream to other samples";
}

TEST(AdpcmAgainstSpandsp, OnlyThePredictorClampSetsTheTwoApartOnALongLoudRun) {
    const auto ours = DecodeStream(k32, std::vector<uint8_t>(80, 0x77));
    Oki oki(32000);
    const auto theirs = oki.Decode(std::vector<uint8_t>(80, 0x77));
    ASSERT_EQ(theirs.size(), ours.size());
    size_t i = 0;
    for (; i < ours.size() && theirs[i] <= 16384; ++i) ASSERT_EQ(ours[i], theirs[i]) << "sample " << i;
    ASSERT_LT(i, ours.size()) << "spandsp never passed 16384";
    for (; i < ours.size(); ++i) EXPECT_EQ(ours[i], 16384) << "sample " << i << " passed the clamp";
    EXPECT_EQ(theirs.back(), 2047 * 16) << "spandsp's own clamp is the 12-bit limit";
}

// Measured: correlation 0.972 (spandsp decoding ours) and 0.974 (ours
// decoding spandsp's) on this signal, at lags of 13 and 14 samples.
TEST(AdpcmAgainstSpandsp, The24kStreamsDecodeWellEachWayThoughTheResamplingDiffers) {
    const auto speech = SpeechLike(10, 12);
    const auto ours = EncodeStream(k24, speech);
    Oki decoder(24000);
    const auto theirDecoding = decoder.Decode(ours);
    const int lag1 = BestLag(speech, theirDecoding, 40);
    EXPECT_GT(Correlation(speech, theirDecoding, lag1), 0.95)
        << "spandsp cannot make sense of this codec's 24 kbit/s stream (lag " << lag1 << ")";

    Oki encoder(24000);
    auto theirs = encoder.Encode(speech);
    theirs.resize(theirs.size() / dialogic::kCodedBytes24k * dialogic::kCodedBytes24k);
    const auto ourDecoding = DecodeStream(k24, theirs);
    const int lag2 = BestLag(speech, ourDecoding, 40);
    EXPECT_GT(Correlation(speech, ourDecoding, lag2), 0.95)
        << "this codec cannot make sense of spandsp's 24 kbit/s stream (lag " << lag2 << ")";
}

}  // namespace
