// The bridge with the real outside library AuralWren2: G.729 that sounds
// like its input and whose frames any standard decoder reads.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "outside/wren2/bcg729.h"

using namespace Tessel;
using namespace Tessel::testing;

namespace {

constexpr int kMaxDelay = 160;

class G729Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin.Loaded()) << "AuralCodecWren2 did not load: " << platform::dynlib::LastError();
        ASSERT_EQ(enc->Init(), 0) << "the encoder did not bind AuralWren2: " << platform::dynlib::LastError();
        ASSERT_EQ(dec->Init(), 0) << "the decoder did not bind AuralWren2";
    }
    std::vector<uint8_t> Encode(const std::vector<int16_t>& pcm) {
        std::vector<uint8_t> coded(pcm.size() / 160 * 20);
        for (size_t f = 0; f < pcm.size() / 160; ++f) enc->Encode(&coded[f * 20], &pcm[f * 160], 1);
        return coded;
    }
    std::vector<int16_t> Decode(const std::vector<uint8_t>& coded, int32_t flag = 0) {
        std::vector<int16_t> pcm(coded.size() / 20 * 160);
        for (size_t f = 0; f < coded.size() / 20; ++f) dec->Decode(&pcm[f * 160], &coded[f * 20], 1, flag);
        return pcm;
    }

    PluginUnderTest plugin{"AuralCodecWren2.dll"};
    Ref<ICodecEncoder> enc = plugin.Encoder();
    Ref<ICodecDecoder> dec = plugin.Decoder();
};

TEST_F(G729Bridge, SpeechComesBackAlignedAndRecognisable) {
    const auto speech = SpeechLike(6.0, 7);
    const auto coded = Encode(speech);
    const auto back = Decode(coded);
    const int lag = BestLag(speech, back, kMaxDelay);
    const double corr = Correlation(speech, back, lag);
    const double segSnr = SegmentalSnrDb(speech, back, lag);
    RecordProperty("delay_samples", lag);
    RecordProperty("correlation", std::to_string(corr));
    RecordProperty("segmental_snr_db", std::to_string(segSnr));
    // Measured on this signal: delay 40 samples (G.729's 5 ms look-ahead),
    // correlation 0.876, segmental SNR 6.5 dB. Swapped blocks, blocks read
    // from or written to the wrong offsets measure below 0.56 and 0.3 dB.
    EXPECT_GE(lag, 32) << "decoded speech is not delayed by the codec's look-ahead";
    EXPECT_LE(lag, 48) << "decoded speech is not delayed by the codec's look-ahead";
    EXPECT_GT(corr, 0.75) << "decoded speech does not follow the input (delay " << lag << ")";
    EXPECT_GT(segSnr, 3.0) << "decoded speech is too far from the input (delay " << lag << ")";

    // The bound tells block order apart: the same frames with their two
    // blocks swapped must fail it.
    auto swapped = coded;
    for (size_t f = 0; f < swapped.size(); f += 20) std::swap_ranges(&swapped[f], &swapped[f + 10], &swapped[f + 10]);
    dec->Init();
    const auto scrambled = Decode(swapped);
    EXPECT_LT(Correlation(speech, scrambled, BestLag(speech, scrambled, kMaxDelay)), 0.75)
        << "the similarity bound cannot tell swapped blocks from the right order";
}

// Standard G.729 both ways: the bridge's frames are those bcg729 makes of
// the same samples, and bcg729 decodes them to the bridge's samples, lost
// frames included.
TEST_F(G729Bridge, WritesAndReadsTheStandardBitstream) {
    const auto speech = SpeechLike(2.0, 3);
    const auto coded = Encode(speech);

    auto* direct = initBcg729EncoderChannel(0);
    std::vector<uint8_t> expected(coded.size());
    for (size_t b = 0; b < speech.size() / 80; ++b) {
        uint8_t length = 0;
        bcg729Encoder(direct, &speech[b * 80], &expected[b * 10], &length);
    }
    closeBcg729EncoderChannel(direct);
    EXPECT_EQ(coded, expected) << "the bridge's frames differ from standard G.729 of the same samples";

    for (int32_t flag : {0, 1}) {
        dec->Init();
        const auto viaBridge = Decode(coded, flag);
        auto* reader = initBcg729DecoderChannel();
        std::vector<int16_t> viaBcg729(viaBridge.size());
        for (size_t b = 0; b < coded.size() / 10; ++b)
            bcg729Decoder(reader, &coded[b * 10], 10, uint8_t(flag != 0), 0, 0, &viaBcg729[b * 80]);
        closeBcg729DecoderChannel(reader);
        EXPECT_EQ(viaBridge, viaBcg729) << "bcg729 reads the bridge's frames differently (lost-frame flag " << flag << ")";
    }
}

TEST_F(G729Bridge, AnswersItsPropertiesAndWritesItsWaveHeader) {
    auto factory = plugin.Factory();
    EXPECT_STREQ(factory->GetModuleName(), "AuralCodecWren2.DLL");
    EXPECT_STREQ(enc->GetModuleName(), "AuralWren2.dll");
    EXPECT_STREQ(dec->GetModuleName(), "AuralWren2.dll");
    EXPECT_STREQ(factory->GetClassName(), "CCodecFactory");
    EXPECT_STREQ(enc->GetClassName(), "CCodecEncoder");
    EXPECT_STREQ(dec->GetClassName(), "CCodecDecoder");
    for (ICodec* c : {static_cast<ICodec*>(factory.get()), static_cast<ICodec*>(enc.get()), static_cast<ICodec*>(dec.get())}) {
        EXPECT_EQ(c->GetCodecType(), 3);
        EXPECT_EQ(c->GetFormatTag(), 0);
        EXPECT_STREQ(c->GetCodecName(), "g.729");
        EXPECT_EQ(c->GetBitRate(), 8000);
        EXPECT_EQ(c->GetFrameDuration(), 20);
        EXPECT_EQ(c->GetCodedFrameSize(), 20);
        EXPECT_EQ(c->GetPcmFrameSize(), 320);
        EXPECT_EQ(c->GetFrameSamples(), 160);
        EXPECT_EQ(c->GetOwnFmtChunkSize(), 32);
        EXPECT_EQ(c->GetOwnHeaderSize(), 0) << "G.729 recordings are raw frames";
    }

    std::array<uint8_t, 128> h{};
    ASSERT_EQ(factory->WriteHeader(h.data(), 2000), 72);
    const uint8_t expected[72] = {
        'R', 'I', 'F', 'F', 0x10, 0x08, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 32, 0, 0, 0,
        0xA1, 0x09, 1, 0, 0x40, 0x1F, 0, 0, 0xE8, 0x03, 0, 0, 20, 0, 16, 0, 14, 0,
        0x00, 0x01, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0xF4, 0x01, 0x03, 0x00, 0x00, 0x00,
        'f', 'a', 'c', 't', 4, 0, 0, 0, 0xD0, 0x07, 0, 0, 'd', 'a', 't', 'a', 0xD0, 0x07, 0, 0};
    EXPECT_EQ(std::memcmp(h.data(), expected, 72), 0) << "the 72-byte G.729 header is not as recordings carry it";
    EXPECT_EQ(h[72], 0) << "WriteHeader wrote past its 72 bytes";
    EXPECT_TRUE(enc->CheckHeader(h.data()));
    EXPECT_EQ(enc->GetHeaderSize(h.data()), 72);
    h[28] = 0xE9;  // 1001 bytes per second
    EXPECT_FALSE(enc->CheckHeader(h.data())) << "a header with another byte rate was accepted";
    EXPECT_EQ(enc->WriteHeader(nullptr, 2000), 0);
}

}  // namespace
