// AuralCodecG711a driven as the conversion library drives it: loaded by the
// name of the format-code table, reached only through the interfaces.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>
#include <vector>

#include "codec_framework/testing/expect_properties.h"
#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/little_endian.h"

using namespace Tessel;
using Tessel::testing::U32At;
using Tessel::testing::U16At;
using Tessel::testing::ExpectProperties;
using Tessel::testing::PluginUnderTest;

namespace {


class G711aPlugin : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.Loaded()) << "AuralCodecG711a.dll did not load: " << platform::dynlib::LastError(); }
    PluginUnderTest plugin{"AuralCodecG711a.dll"};
};

TEST_F(G711aPlugin, AnswersItsPropertiesOnFactoryEncoderAndDecoder) {
    ExpectProperties(plugin, {.moduleName = "AuralCodecG711a.DLL", .codecType = 0, .formatTag = 6, .codecName = "g.711",
                              .bitRate = 64000, .codedFrameSize = 160, .ownFmtChunkSize = 18, .ownHeaderSize = 58});
}

TEST_F(G711aPlugin, EncodesAndDecodesTheKnownSamplesFrameByFrame) {
    auto enc = plugin.Encoder();
    auto dec = plugin.Decoder();
    std::vector<int16_t> pcm(2 * 160, 0);
    const int16_t samples[] = {0, -1, -15, -16, 32767, -32768, 8, -8};
    std::copy(std::begin(samples), std::end(samples), pcm.begin() + 160);  // in the second frame
    std::vector<uint8_t> codes(2 * 160 + 1, 0xEE);
    ASSERT_EQ(enc->Encode(codes.data(), pcm.data(), 2), 0);
    const uint8_t expected[] = {0xD5, 0x55, 0x55, 0x54, 0xAA, 0x2A, 0xD5, 0x55};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(codes[160 + i], expected[i]) << "sample " << samples[i] << " encoded wrongly";
    EXPECT_EQ(codes[0], 0xD5) << "silence in the first frame";
    EXPECT_EQ(codes.back(), 0xEE) << "Encode wrote past two frames";

    codes[168] = 0x80;
    codes[169] = 0x00;
    std::vector<int16_t> back(2 * 160 + 1, 0x5A5A);
    ASSERT_EQ(dec->Decode(back.data(), codes.data(), 2, 0), 0);
    const int16_t levels[] = {8, -8, -8, -24, 32256, -32256, 8, -8, 5504, -5504};
    for (size_t i = 0; i < std::size(levels); ++i)
        EXPECT_EQ(back[160 + i], levels[i]) << "code 0x" << std::hex << int(codes[160 + i]) << " decoded wrongly";
    EXPECT_EQ(back.back(), 0x5A5A) << "Decode wrote past two frames";
}

TEST_F(G711aPlugin, EveryCodeComesBackThroughDecoderAndEncoder) {
    auto enc = plugin.Encoder();
    auto dec = plugin.Decoder();
    std::vector<uint8_t> codes(2 * 160);
    std::iota(codes.begin(), codes.begin() + 256, 0);
    std::vector<int16_t> pcm(codes.size());
    std::vector<uint8_t> again(codes.size());
    dec->Decode(pcm.data(), codes.data(), 2, 0);
    enc->Encode(again.data(), pcm.data(), 2);
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(again[size_t(c)], c) << "code 0x" << std::hex << c << " decoded to " << std::dec << pcm[size_t(c)]
                                       << " and encoded to another code";
}

TEST_F(G711aPlugin, ConvertsNothingForZeroOrNegativeFrameCounts) {
    auto enc = plugin.Encoder();
    auto dec = plugin.Decoder();
    std::vector<int16_t> pcm(160, 1234);
    std::vector<uint8_t> codes(160, 0xEE);
    for (int32_t frames : {0, -1, -160}) {
        EXPECT_EQ(enc->Encode(codes.data(), pcm.data(), frames), 0);
        EXPECT_EQ(dec->Decode(pcm.data(), codes.data(), frames, 0), 0);
    }
    EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [](uint8_t c) { return c == 0xEE; })) << "Encode wrote with no frames";
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](int16_t s) { return s == 1234; })) << "Decode wrote with no frames";
}

TEST_F(G711aPlugin, WritesAnALawWaveHeaderAndAcceptsOnlyItsOwnFormat) {
    auto factory = plugin.Factory();
    std::array<uint8_t, 128> h;
    h.fill(0xCC);
    ASSERT_EQ(factory->WriteHeader(h.data(), 16000), 58);
    EXPECT_EQ(std::memcmp(h.data(), "RIFF", 4), 0);
    EXPECT_EQ(U32At(h.data(), 4), 16050u) << "RIFF length";
    EXPECT_EQ(std::memcmp(h.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(U32At(h.data(), 16), 18u) << "fmt length";
    EXPECT_EQ(U16At(h.data(), 20), 6) << "format tag";
    EXPECT_EQ(U16At(h.data(), 22), 1) << "channels";
    EXPECT_EQ(U32At(h.data(), 24), 8000u) << "samples per second";
    EXPECT_EQ(U32At(h.data(), 28), 8000u) << "bytes per second";
    EXPECT_EQ(U16At(h.data(), 32), 1) << "block align";
    EXPECT_EQ(U16At(h.data(), 34), 8) << "bits per sample";
    EXPECT_EQ(U16At(h.data(), 36), 0) << "extra format bytes";
    EXPECT_EQ(std::memcmp(h.data() + 38, "fact", 4), 0);
    EXPECT_EQ(U32At(h.data(), 42), 4u) << "fact length";
    EXPECT_EQ(U32At(h.data(), 46), 16000u) << "fact value";
    EXPECT_EQ(std::memcmp(h.data() + 50, "data", 4), 0);
    EXPECT_EQ(U32At(h.data(), 54), 16000u) << "data length";
    EXPECT_EQ(h[58], 0xCC) << "the header ran past 58 bytes";
    EXPECT_EQ(factory->WriteHeader(nullptr, 16000), 0);

    EXPECT_TRUE(factory->CheckHeader(h.data()));
    EXPECT_EQ(factory->GetHeaderSize(h.data()), 58);
    struct Field {
        size_t offset;
        uint8_t value;
        const char* what;
        bool checked;
    };
    for (Field f : {Field{20, 1, "format tag", true}, Field{22, 2, "channel count", true},
                    Field{24, 0x44, "sample rate", true}, Field{28, 0x41, "byte rate", true},
                    Field{34, 16, "bits per sample", true}, Field{32, 2, "block align", false},
                    Field{36, 2, "extra-bytes count", false}}) {
        auto changed = h;
        changed[f.offset] = f.value;
        EXPECT_EQ(factory->CheckHeader(changed.data()), !f.checked)
            << "a header with another " << f.what << (f.checked ? " was accepted" : " was rejected");
    }
}

}  // namespace
