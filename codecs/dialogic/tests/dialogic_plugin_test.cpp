// AuralCodecDlg32k and AuralCodecDlg24k driven as the conversion library
// drives them: loaded by the names of the format-code table, reached only
// through the interfaces. Both variants run the same cases.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "codec_framework/testing/expect_properties.h"
#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "codec_framework/wav_header.h"

using namespace Tessel;
using Tessel::testing::ExpectProperties;
using Tessel::testing::PluginUnderTest;

namespace {

struct Variant {
    const char* tableName;  // as the format-code table asks for it
    const char* moduleName;
    const char* codecName;
    int32_t codecType;
    int32_t bitRate;
    size_t codedFrameSize;
};
void PrintTo(const Variant& v, std::ostream* os) { *os << v.tableName; }

const Variant k32{"AuralCodecDlg32K.dll", "AuralCodecDlg32K.DLL", "Dialogic32K", 1, 32000, 80};
const Variant k24{"AuralCodecDlg24k.dll", "AuralCodecDlg24K.DLL", "Dialogic24K", 2, 24000, 60};

class DialogicPlugin : public ::testing::TestWithParam<Variant> {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.Loaded()) << v.tableName << " did not load: " << platform::dynlib::LastError();
    }
    const Variant v = GetParam();
    PluginUnderTest plugin{v.tableName};

    std::vector<uint8_t> Encode(ICodecEncoder* enc, const std::vector<int16_t>& pcm) {
        const int32_t frames = int32_t(pcm.size() / 160);
        std::vector<uint8_t> coded(size_t(frames) * v.codedFrameSize);
        EXPECT_EQ(enc->Encode(coded.data(), pcm.data(), frames), 0);
        return coded;
    }
    std::vector<int16_t> Decode(ICodecDecoder* dec, const std::vector<uint8_t>& coded) {
        const int32_t frames = int32_t(coded.size() / v.codedFrameSize);
        std::vector<int16_t> pcm(size_t(frames) * 160);
        EXPECT_EQ(dec->Decode(pcm.data(), coded.data(), frames, 0), 0);
        return pcm;
    }
};

TEST_P(DialogicPlugin, AnswersItsPropertiesOnFactoryEncoderAndDecoder) {
    ExpectProperties(plugin, {.moduleName = v.moduleName, .codecType = v.codecType, .formatTag = 0,
                              .codecName = v.codecName, .bitRate = v.bitRate, .codedFrameSize = int32_t(v.codedFrameSize),
                              .ownFmtChunkSize = 18, .ownHeaderSize = 0});
}

TEST_P(DialogicPlugin, WritesNoHeaderAndChecksHeadersAsLinearPcm) {
    auto factory = plugin.Factory();
    std::array<uint8_t, 128> buffer{};
    EXPECT_EQ(factory->WriteHeader(buffer.data(), 16000), 0) << "a Dialogic target file gets no header";
    EXPECT_EQ(factory->WriteHeader(nullptr, 16000), 0);

    const wav::Format linear{.tag = 1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 16000, .blockAlign = 2,
                             .bitsPerSample = 16};
    const wav::Format alaw{.tag = 6, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 8000, .blockAlign = 1,
                           .bitsPerSample = 8};
    std::array<uint8_t, 128> h{};
    wav::WriteHeader(h.data(), linear, 320);
    EXPECT_TRUE(factory->CheckHeader(h.data())) << "a linear PCM header must pass the check";
    wav::WriteHeader(h.data(), alaw, 320);
    EXPECT_FALSE(factory->CheckHeader(h.data())) << "an A-law header must fail the check";
}

TEST_P(DialogicPlugin, EncodesSilenceAsBytes08) {
    const auto coded = Encode(plugin.Encoder().get(), std::vector<int16_t>(2 * 160, 0));
    ASSERT_EQ(coded.size(), 2 * v.codedFrameSize);
    for (size_t i = 0; i < coded.size(); ++i) ASSERT_EQ(coded[i], 0x08) << "byte " << i << " of coded silence";
}

TEST_P(DialogicPlugin, DecodesCodeRunsToTheReferenceSamples) {
    auto dec = plugin.Decoder();
    std::vector<uint8_t> zeros(v.codedFrameSize, 0x00);
    const auto pcm = Decode(dec.get(), zeros);
    if (v.codecType == 1) {
        EXPECT_EQ(pcm[0], 32);
        EXPECT_EQ(pcm[1], 64);
        auto fresh = plugin.Decoder();
        const auto loud = Decode(fresh.get(), std::vector<uint8_t>(80, 0x77));
        EXPECT_EQ(loud[0], 480);
        EXPECT_EQ(loud[1], 1488);
        EXPECT_EQ(loud[159], 16384) << "a run of code 7 ends held at the clamp";
    } else {
        const int16_t first[8] = {24, 48, 72, 96, 120, 144, 168, 192};
        for (int i = 0; i < 8; ++i) EXPECT_EQ(pcm[size_t(i)], first[i]) << "output " << i;
        EXPECT_EQ(pcm[8], 192 + (224 - 192) * 3 / 4) << "the second group goes on from the first group's last value";
        auto fresh = plugin.Decoder();
        const auto loud = Decode(fresh.get(), std::vector<uint8_t>(2 * 60, 0x77));
        EXPECT_EQ(loud[0], 360);
        EXPECT_EQ(loud[160], 12288) << "each frame restarts its interpolation from 0";
    }
}

TEST_P(DialogicPlugin, CarriesTheChannelStateAcrossCallsAndInit) {
    const auto speech = Tessel::testing::SpeechLike(1, 5);  // 50 frames
    auto whole = plugin.Encoder();
    const auto inOneCall = Encode(whole.get(), speech);

    auto piecewise = plugin.Encoder();
    std::vector<uint8_t> oneByOne(inOneCall.size());
    for (size_t f = 0; f < 50; ++f) {
        ASSERT_EQ(piecewise->Encode(&oneByOne[f * v.codedFrameSize], &speech[f * 160], 1), 0);
        EXPECT_EQ(piecewise->Init(), 0);
    }
    EXPECT_EQ(oneByOne, inOneCall) << "frames coded one call at a time differ from the same frames in one call";

    auto wholeDec = plugin.Decoder();
    const auto decodedInOneCall = Decode(wholeDec.get(), inOneCall);
    auto piecewiseDec = plugin.Decoder();
    std::vector<int16_t> decodedOneByOne(decodedInOneCall.size());
    for (size_t f = 0; f < 50; ++f) {
        ASSERT_EQ(piecewiseDec->Decode(&decodedOneByOne[f * 160], &inOneCall[f * v.codedFrameSize], 1, 0), 0);
        EXPECT_EQ(piecewiseDec->Init(), 0);
    }
    EXPECT_EQ(decodedOneByOne, decodedInOneCall) << "frames decoded one call at a time differ";
    EXPECT_GT(Tessel::testing::SnrDb(speech, decodedInOneCall), 8.0) << "the plug-in's round trip lost the speech";
}

TEST_P(DialogicPlugin, DoesNothingInPlaceOrWithoutFramesNotEvenToItsState) {
    auto enc = plugin.Encoder();
    auto dec = plugin.Decoder();
    std::vector<int16_t> pcm(160, 3000);
    std::vector<uint8_t> coded(v.codedFrameSize, 0x5A);
    auto* same = reinterpret_cast<uint8_t*>(pcm.data());
    for (int32_t frames : {1, 0, -1}) {
        EXPECT_EQ(enc->Encode(same, pcm.data(), frames), 0);
        EXPECT_EQ(dec->Decode(pcm.data(), same, frames, 0), 0);
    }
    for (int32_t frames : {0, -1}) {
        EXPECT_EQ(enc->Encode(coded.data(), pcm.data(), frames), 0);
        EXPECT_EQ(dec->Decode(pcm.data(), coded.data(), frames, 0), 0);
    }
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](int16_t s) { return s == 3000; })) << "the PCM buffer changed";
    EXPECT_TRUE(std::all_of(coded.begin(), coded.end(), [](uint8_t b) { return b == 0x5A; })) << "the coded buffer changed";

    // Both must still be at the fresh state: silence codes as 0x08, and
    // 0x00 decodes from predictor 0.
    const auto silence = Encode(enc.get(), std::vector<int16_t>(160, 0));
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](uint8_t b) { return b == 0x08; }))
        << "the encoder's state moved during a call that did nothing";
    auto fresh = plugin.Decoder();
    EXPECT_EQ(Decode(dec.get(), std::vector<uint8_t>(v.codedFrameSize, 0)),
              Decode(fresh.get(), std::vector<uint8_t>(v.codedFrameSize, 0)))
        << "the decoder's state moved during a call that did nothing";
}

INSTANTIATE_TEST_SUITE_P(BothRates, DialogicPlugin, ::testing::Values(k32, k24),
                         [](const ::testing::TestParamInfo<Variant>& p) { return p.param.codecType == 1 ? "At32k" : "At24k"; });

TEST(DialogicPluginLoading, BothRatesLoadByTheTableNamesInEitherLetterCase) {
    for (const char* name : {"AuralCodecDlg32K.dll", "AuralCodecDlg32k.dll", "AuralCodecDlg24k.dll", "AuralCodecDlg24K.dll"}) {
        PluginUnderTest plugin(name);
        ASSERT_TRUE(plugin.Loaded()) << name << " did not load: " << platform::dynlib::LastError();
        EXPECT_EQ(plugin.Factory()->GetBitRate(), std::string(name).find("32") != std::string::npos ? 32000 : 24000) << name;
    }
}

}  // namespace
