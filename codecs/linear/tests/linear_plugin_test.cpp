// AuralCodecLinear driven as a host drives it: loaded by name, reached only
// through the interfaces.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>
#include <vector>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/little_endian.h"

using namespace Tessel;
using Tessel::testing::U32At;
using Tessel::testing::PluginUnderTest;

namespace {


class LinearPlugin : public ::testing::Test {
protected:
    PluginUnderTest plugin{"AuralCodecLinear.dll"};
};

TEST(LinearPluginLoading, IsFoundByItsWindowsNameInAnyLetterCase) {
    for (const char* name : {"AuralCodecLinear.dll", "auralcodeclinear.dll", "AURALCODECLINEAR.DLL"}) {
        PluginUnderTest plugin(name);
        ASSERT_TRUE(plugin.Loaded()) << name << " did not load: " << platform::dynlib::LastError();
        EXPECT_STREQ(plugin.Factory()->GetCodecName(), "linear");
    }
}

TEST_F(LinearPlugin, AnswersItsPropertiesOnFactoryEncoderAndDecoder) {
    auto factory = plugin.Factory();
    auto enc = factory->CreateEncoder();
    auto dec = factory->CreateDecoder();
    ASSERT_TRUE(enc && dec);
    EXPECT_STREQ(factory->GetClassName(), "CCodecFactory");
    EXPECT_STREQ(enc->GetClassName(), "CCodecEncoder");
    EXPECT_STREQ(dec->GetClassName(), "CCodecDecoder");
    for (ICodec* c : {static_cast<ICodec*>(factory.get()), static_cast<ICodec*>(enc), static_cast<ICodec*>(dec)}) {
        EXPECT_STREQ(c->GetModuleName(), "AuralCodecLinear.DLL");
        EXPECT_EQ(c->GetCodecType(), 16);
        EXPECT_EQ(c->GetFormatTag(), 1);
        EXPECT_STREQ(c->GetCodecName(), "linear");
        EXPECT_EQ(c->GetBitRate(), 128000);
        EXPECT_EQ(c->GetFrameDuration(), 20);
        EXPECT_EQ(c->GetCodedFrameSize(), 320);
        EXPECT_EQ(c->GetPcmFrameSize(), 320);
        EXPECT_EQ(c->GetFrameSamples(), 160);
        EXPECT_EQ(c->GetOwnFmtChunkSize(), 18);
        EXPECT_EQ(c->GetOwnHeaderSize(), 0) << "linear recordings are raw samples";
    }
    EXPECT_EQ(enc->Init(), 0);
    EXPECT_EQ(dec->Init(), 0);
    enc->Release();
    dec->Release();
}

TEST_F(LinearPlugin, PassesFramesThroughUnchangedInBothDirections) {
    auto enc = plugin.Encoder();
    auto dec = plugin.Decoder();
    std::vector<int16_t> pcm(3 * 160);
    std::iota(pcm.begin(), pcm.end(), -240);
    std::vector<uint8_t> coded(3 * 320 + 1, 0xEE);
    ASSERT_EQ(enc->Encode(coded.data(), pcm.data(), 3), 0);
    EXPECT_EQ(std::memcmp(coded.data(), pcm.data(), 3 * 320), 0);
    EXPECT_EQ(coded.back(), 0xEE) << "wrote past three frames";

    std::vector<int16_t> back(3 * 160 + 1, 0x5A5A);
    ASSERT_EQ(dec->Decode(back.data(), coded.data(), 3, 1), 0);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), back.begin()));
    EXPECT_EQ(back.back(), 0x5A5A);
}

TEST_F(LinearPlugin, DoesNothingForZeroFramesOrInPlaceBuffers) {
    auto enc = plugin.Encoder();
    auto dec = plugin.Decoder();
    std::vector<int16_t> pcm(160, 1234);
    std::vector<uint8_t> coded(320, 0xEE);
    for (int32_t frames : {0, -1}) {
        EXPECT_EQ(enc->Encode(coded.data(), pcm.data(), frames), 0);
        EXPECT_EQ(dec->Decode(pcm.data(), coded.data(), frames, 0), 0);
    }
    EXPECT_EQ(coded[0], 0xEE) << "Encode wrote with no frames";
    EXPECT_EQ(pcm[0], 1234) << "Decode wrote with no frames";

    auto* same = reinterpret_cast<uint8_t*>(pcm.data());
    EXPECT_EQ(enc->Encode(same, pcm.data(), 1), 0);
    EXPECT_EQ(dec->Decode(pcm.data(), same, 1, 0), 0);
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](int16_t s) { return s == 1234; }));
}

TEST_F(LinearPlugin, WritesAPcmWaveHeaderAndAcceptsOnlyItsOwnFormat) {
    auto enc = plugin.Encoder();
    std::array<uint8_t, 128> h{};
    ASSERT_EQ(enc->WriteHeader(h.data(), 320000), 58);
    EXPECT_EQ(U32At(h.data(), 4), 320050u);
    EXPECT_EQ(U32At(h.data(), 46), 320000u);
    EXPECT_EQ(U32At(h.data(), 54), 320000u);
    EXPECT_EQ(h[20] | h[21] << 8, 1) << "format tag";
    EXPECT_EQ(h[32], 2) << "block align";
    EXPECT_TRUE(enc->CheckHeader(h.data()));
    EXPECT_EQ(enc->GetHeaderSize(h.data()), 58);
    EXPECT_EQ(enc->WriteHeader(nullptr, 320000), 0);

    struct Field {
        size_t offset;
        uint8_t value;
        const char* what;
    };
    for (Field f : {Field{24, 0x44, "sample rate"}, Field{22, 2, "channel count"}, Field{34, 8, "bits per sample"},
                    Field{28, 0x81, "bytes per second"}, Field{20, 6, "format tag"}}) {
        auto changed = h;
        changed[f.offset] = f.value;
        EXPECT_FALSE(enc->CheckHeader(changed.data())) << "a header with another " << f.what << " was accepted";
    }
}

}  // namespace
