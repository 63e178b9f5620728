// The three recording formats through VoiceCvt both ways, as the recorders
// and the player use it: VOC is a container for the A-law bytes, VC2 is
// what spandsp's OKI ADPCM makes of the same data, VC5 keeps speech
// recognisable and survives a damaged frame.
#include <cmath>

#include "codec_framework/testing/signals.h"
#include "outside/voicecvt/result_codes.h"
#include "outside/voicecvt/tests/voicecvt_testing.h"

// spandsp after the standard headers: telephony.h redefines lrint.
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/oki_adpcm.h>

using namespace voicecvt;
using namespace voicecvt::testing;

namespace {

class VoiceCvtRoundTrip : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib.Loaded()) << platform::dynlib::LastError(); }

    // The sizes a WAV header announces agree with each other and the file.
    static void ExpectHeaderFits(const Bytes& wave, size_t headerSize) {
        ASSERT_GE(wave.size(), headerSize);
        EXPECT_EQ(U32At(wave, 4), wave.size() - 8) << "RIFF length does not match the file";
        EXPECT_EQ(U32At(wave, headerSize - 4), wave.size() - headerSize) << "data length does not match the file";
    }

    TempDir dir;
    VoiceCvtLibrary lib;
    const std::vector<int16_t> speech = Tessel::testing::SpeechLike(3.0, 7);
};

TEST_F(VoiceCvtRoundTrip, VocIsTheALawOfAWaveByteForByte) {
    Bytes alaw;
    for (int16_t s : speech) alaw.push_back(linear_to_alaw(s));
    const Bytes alawWave = ALawWave(alaw);
    WriteFile(dir / "in.wav", alawWave);
    WriteFile(dir / "pcm.wav", PcmWave(speech));

    ASSERT_EQ(lib.Run(lib.fromWave, dir / "in.wav", dir / "call.voc", kTypeVoc), kStarted);
    EXPECT_EQ(ReadFile(dir / "call.voc"), alaw) << "an A-law WAV did not become its own bytes as VOC";
    ASSERT_EQ(lib.Run(lib.toWave, dir / "call.voc", dir / "out.wav", kTypeVoc), kStarted);
    EXPECT_EQ(ReadFile(dir / "out.wav"), alawWave) << "VOC to WAV is not the A-law WAV it came from";

    ASSERT_EQ(lib.Run(lib.fromWave, dir / "pcm.wav", dir / "pcm.voc", kTypeVoc), kStarted);
    EXPECT_EQ(ReadFile(dir / "pcm.voc"), alaw) << "16-bit PCM was not encoded as G.711 A-law";

    // A gain other than 1.0 re-encodes the samples, still as A-law.
    ASSERT_EQ(lib.Run(lib.toWave, dir / "call.voc", dir / "loud.wav", kTypeVoc, 2.0), kStarted);
    const Bytes loud = ReadFile(dir / "loud.wav");
    ExpectHeaderFits(loud, 58);
    ASSERT_EQ(loud.size(), alawWave.size());
    for (size_t i = 0; i < alaw.size(); i += 997) {
        const int expected = std::clamp(2 * alaw_to_linear(alaw[i]), -32768, 32767);
        EXPECT_EQ(loud[58 + i], linear_to_alaw(static_cast<int16_t>(expected))) << "sample " << i << " at gain 2";
    }
}

TEST_F(VoiceCvtRoundTrip, Vc2IsWhatSpandspMakesOfTheSameSamples) {
    WriteFile(dir / "in.wav", PcmWave(speech));
    Bytes direct(speech.size() / 2);
    oki_adpcm_state_t* encoder = oki_adpcm_init(nullptr, 32000);
    oki_adpcm_encode(encoder, direct.data(), speech.data(), static_cast<int>(speech.size()));
    oki_adpcm_free(encoder);

    ASSERT_EQ(lib.Run(lib.fromWave, dir / "in.wav", dir / "call.vc2", kTypeVc2), kStarted);
    const Bytes vc2 = ReadFile(dir / "call.vc2");
    EXPECT_EQ(vc2.size(), speech.size() / 2) << "32 kbit/s ADPCM is 4000 bytes a second";
    EXPECT_EQ(vc2, direct) << "the VC2 recording differs from spandsp's OKI ADPCM of the same samples";

    std::vector<int16_t> decoded(direct.size() * 2);
    oki_adpcm_state_t* decoder = oki_adpcm_init(nullptr, 32000);
    oki_adpcm_decode(decoder, decoded.data(), direct.data(), static_cast<int>(direct.size()));
    oki_adpcm_free(decoder);

    ASSERT_EQ(lib.Run(lib.toWave, dir / "call.vc2", dir / "out.wav", kTypeVc2), kStarted);
    const Bytes wave = ReadFile(dir / "out.wav");
    ExpectHeaderFits(wave, 44);
    EXPECT_EQ(U32At(wave, 24), 8000u) << "sample rate";
    EXPECT_EQ(PcmOf(wave), decoded) << "the WAV's samples differ from spandsp's decoding of the recording";

    // Gain scales and clips to 16 bits.
    ASSERT_EQ(lib.Run(lib.toWave, dir / "call.vc2", dir / "loud.wav", kTypeVc2, 4.0), kStarted);
    const std::vector<int16_t> loud = PcmOf(ReadFile(dir / "loud.wav"));
    ASSERT_EQ(loud.size(), decoded.size());
    bool clipped = false;
    for (size_t i = 0; i < decoded.size(); ++i) {
        const int expected = std::clamp(4 * decoded[i], -32768, 32767);
        clipped |= expected != 4 * decoded[i];
        ASSERT_EQ(loud[i], expected) << "sample " << i << " at gain 4";
    }
    EXPECT_TRUE(clipped) << "the loud speech never reached full scale; the clipping went untested";
}

TEST_F(VoiceCvtRoundTrip, Vc5KeepsSpeechAndConcealsADamagedFrame) {
    constexpr double kMinSnrDb = 9.0;  // about 12.7 dB measured on this speech
    WriteFile(dir / "in.wav", PcmWave(speech));
    ASSERT_EQ(lib.Run(lib.fromWave, dir / "in.wav", dir / "call.vc5", kTypeVc5), kStarted);
    Bytes vc5 = ReadFile(dir / "call.vc5");
    ASSERT_EQ(vc5.size(), speech.size() / 160 * 32) << "VC5 is one 32-byte frame per 20 ms (1600 bytes a second)";

    ASSERT_EQ(lib.Run(lib.toWave, dir / "call.vc5", dir / "out.wav", kTypeVc5), kStarted);
    const Bytes wave = ReadFile(dir / "out.wav");
    ExpectHeaderFits(wave, 44);
    const std::vector<int16_t> decoded = PcmOf(wave);
    ASSERT_EQ(decoded.size(), speech.size());
    const int lag = Tessel::testing::BestLag(speech, decoded, 400);
    const double snr = Tessel::testing::SnrDb(speech, decoded, lag);
    EXPECT_GT(snr, kMinSnrDb) << "speech through VC5 came back at " << snr << " dB (delay " << lag << ")";

    // A frame of rubbish in the middle: concealed, the call keeps its length.
    std::fill(vc5.begin() + 32 * 50, vc5.begin() + 32 * 51, uint8_t{0xFF});
    vc5[32 * 60] = 0xFF;
    WriteFile(dir / "damaged.vc5", vc5);
    ASSERT_EQ(lib.Run(lib.toWave, dir / "damaged.vc5", dir / "damaged.wav", kTypeVc5), kStarted);
    ASSERT_TRUE(fs::exists(dir / "damaged.wav")) << "a damaged frame failed the whole conversion";
    EXPECT_EQ(PcmOf(ReadFile(dir / "damaged.wav")).size(), speech.size()) << "concealment changed the length";
}

TEST_F(VoiceCvtRoundTrip, AWaveOfAnotherKindIsRefusedAndLeavesNothing) {
    Bytes stereo = PcmWave(speech);
    stereo[22] = 2;  // two channels
    WriteFile(dir / "stereo.wav", stereo);
    Bytes alaw = ALawWave(Bytes(800, 0xD5));
    WriteFile(dir / "alaw.wav", alaw);
    EXPECT_EQ(lib.Run(lib.fromWave, dir / "stereo.wav", dir / "out.vc2", kTypeVc2), kSourceFormatRefused);
    EXPECT_EQ(lib.Run(lib.fromWave, dir / "alaw.wav", dir / "out.vc5", kTypeVc5), kSourceFormatRefused)
        << "only VOC takes an A-law WAV";
    EXPECT_EQ(lib.Run(lib.toWave, dir / "alaw.wav", dir / "out.wav", 2), kBadType);
    EXPECT_EQ(lib.Run(lib.toWave, dir / "alaw.wav", dir / "out.wav", kTypeVoc, -1.0), kBadGain);
    EXPECT_EQ(lib.progress(), 100) << "a refused start must not leave the player waiting";
    for (const char* name : {"out.vc2", "out.vc5", "out.wav"}) EXPECT_FALSE(fs::exists(dir / name)) << name;
}

}  // namespace
