// Conversions through the delivered codec plug-ins, driven through
// VelkCodec's entry points as the player drives them. Each part switches on
// when its plug-ins are part of the build.
#include <cstring>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "converter/result_text.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;
using Tessel::testing::PluginUnderTest;

namespace {

using namespace std::chrono_literals;

constexpr int32_t kALaw = 0, kG729 = 3, kLinear = 16;

class RealCodecs : public ::testing::Test {
protected:
    void Convert(const fs::path& source, int32_t sourceCode, const fs::path& target, int32_t targetCode) {
        ASSERT_TRUE(lib.Loaded()) << platform::dynlib::LastError();
        const int32_t result = lib.start(source.c_str(), sourceCode, target.c_str(), targetCode);
        ASSERT_EQ(result, kStarted) << ResultText(result, {});
        const auto limit = std::chrono::steady_clock::now() + 60s;
        while (lib.progress() < 100) {
            ASSERT_LT(std::chrono::steady_clock::now(), limit) << "the conversion never reached 100 per cent";
            std::this_thread::sleep_for(20ms);
        }
        lib.stop();
    }
    // `frames` frames of speech coded by `plugin`'s encoder.
    static Bytes Coded(PluginUnderTest& plugin, int frames) {
        const auto pcm = Tessel::testing::SpeechLike(frames * 0.02, 9);
        auto enc = plugin.Encoder();
        EXPECT_EQ(enc->Init(), 0);
        const size_t size = size_t(enc->GetCodedFrameSize());
        Bytes coded(size * frames);
        for (int f = 0; f < frames; ++f) enc->Encode(&coded[f * size], &pcm[f * 160], 1);
        return coded;
    }
    // Decodes frames 1.. of `coded` with a fresh decoder of `from`, encodes
    // them with a fresh encoder of `to`: what the worker must produce.
    static Bytes Expected(PluginUnderTest& from, PluginUnderTest& to, const uint8_t* coded, int frames) {
        auto dec = from.Decoder();
        auto enc = to.Encoder();
        EXPECT_EQ(dec->Init(), 0);
        EXPECT_EQ(enc->Init(), 0);
        const size_t in = size_t(dec->GetCodedFrameSize()), out = size_t(enc->GetCodedFrameSize());
        Bytes result(out * frames);
        int16_t pcm[160];
        for (int f = 0; f < frames; ++f) {
            dec->Decode(pcm, coded + in * (f + 1), 1, 0);
            enc->Encode(&result[out * f], pcm, 1);
        }
        return result;
    }

    TempDir dir;
    VelkCodecLibrary lib;
};

#if VELK_TEST_HAVE_G711A
TEST_F(RealCodecs, ALawSourceBehindIts58ByteHeaderConvertsTenOfElevenFrames) {
    PluginUnderTest alaw("AuralCodecG711a.dll"), linear("AuralCodecLinear.dll");
    Bytes source = ALawHeader(160 * 11);
    const Bytes coded = Coded(alaw, 11);
    source.insert(source.end(), coded.begin(), coded.end());
    WriteFile(dir / "s.wav", source);
    Convert(dir / "s.wav", kALaw, dir / "t.wav", kLinear);

    const Bytes t = ReadFile(dir / "t.wav");
    ASSERT_EQ(t.size(), 58u + 320 * 10);
    EXPECT_EQ(U32At(t, 54), 320u * 10) << "the target header must announce target frame size x 10";
    const Bytes expected = Expected(alaw, linear, coded.data(), 10);
    EXPECT_TRUE(std::equal(t.begin() + 58, t.end(), expected.begin())) << "the audio is not the A-law decoded";
}
#endif

#if VELK_TEST_HAVE_G711A && VELK_TEST_HAVE_WREN2
TEST_F(RealCodecs, G729RecordingBecomesAnALawWaveAsThePlayerAsks) {
    PluginUnderTest g729("AuralCodecWren2.dll"), alaw("AuralCodecG711a.dll");
    const int n = 150;  // three seconds after the skipped first frame
    const Bytes source = Coded(g729, n + 1);
    WriteFile(dir / "s.ntc", source);
    Convert(dir / "s.ntc", kG729, dir / "t.wav", kALaw);

    const Bytes t = ReadFile(dir / "t.wav");
    ASSERT_EQ(t.size(), 58u + 160 * n) << "a 58-byte header and N frames of 160 bytes";
    EXPECT_EQ(std::memcmp(t.data(), "RIFF", 4), 0);
    EXPECT_EQ(t[20], 6) << "the target must be tagged A-law";
    EXPECT_EQ(U32At(t, 54), 160u * n);
    const Bytes expected = Expected(g729, alaw, source.data(), n);
    EXPECT_TRUE(std::equal(t.begin() + 58, t.end(), expected.begin()))
        << "the A-law audio is not the G.729 recording's decoded speech";
}
#endif

#if VELK_TEST_HAVE_WREN2
// Without its outside library the bridge's Init answers -1: the start must
// fail rather than fill a target with silence the player would play.
TEST_F(RealCodecs, TheG729BridgeWithoutItsOutsideLibraryFailsTheStart) {
    StagedProgramFolder folder;
    folder.StageBuilt("AuralCodecWren2.so");  // and no AuralWren2.so beside it
    VelkCodecLibrary staged;
    ASSERT_TRUE(staged.Loaded());
    WriteFile(dir / "s.ntc", Bytes(20 * 10, 0x55));
    WriteFile(dir / "s.raw", LinearFrames(10));
    EXPECT_EQ(staged.start((dir / "s.ntc").c_str(), kG729, (dir / "t.wav").c_str(), kLinear), kDecoderNotReady);
    EXPECT_EQ(staged.start((dir / "s.raw").c_str(), kLinear, (dir / "t.wav").c_str(), kG729), kEncoderNotReady);
    EXPECT_FALSE(fs::exists(dir / "t.wav")) << "a start that failed left a target the player would take for a conversion";
    EXPECT_EQ(staged.progress(), 0);
}

TEST_F(RealCodecs, G729RecordingBecomesLinearSpeech) {
    PluginUnderTest g729("AuralCodecWren2.dll"), linear("AuralCodecLinear.dll");
    const int n = 100;
    const Bytes source = Coded(g729, n + 1);
    WriteFile(dir / "s.vc8", source);
    Convert(dir / "s.vc8", kG729, dir / "t.wav", kLinear);
    const Bytes t = ReadFile(dir / "t.wav");
    ASSERT_EQ(t.size(), 58u + 320 * n);
    const Bytes expected = Expected(g729, linear, source.data(), n);
    EXPECT_TRUE(std::equal(t.begin() + 58, t.end(), expected.begin()));
}
#endif

}  // namespace
