// AuralWren2 reached as the bridge reaches it: loaded by name, its four
// entry points looked up, compared block by block with bcg729 used
// directly. (Lost frames are checked through the bridge, in
// codecs/g729bridge/tests.)
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "codec_framework/testing/signals.h"
#include "outside/wren2/bcg729.h"
#include "outside/wren2/wren2.h"
#include "platform/dynlib/dynlib.h"

namespace {

struct Wren2 {
    platform::dynlib::Library lib{"AuralWren2.dll"};
    Wren2EncoderInitFn encoderInit = reinterpret_cast<Wren2EncoderInitFn>(lib.symbol(WREN2_ENCODER_INIT_NAME));
    Wren2EncodeBlockFn encode = reinterpret_cast<Wren2EncodeBlockFn>(lib.symbol(WREN2_ENCODE_BLOCK_NAME));
    Wren2DecoderInitFn decoderInit = reinterpret_cast<Wren2DecoderInitFn>(lib.symbol(WREN2_DECODER_INIT_NAME));
    Wren2DecodeBlockFn decode = reinterpret_cast<Wren2DecodeBlockFn>(lib.symbol(WREN2_DECODE_BLOCK_NAME));

    Wren2() {
        if (!encoderInit || !encode || !decoderInit || !decode)
            throw std::runtime_error("AuralWren2 or one of its entry points is missing: " + platform::dynlib::LastError());
    }
};

const std::vector<int16_t> kSpeech = Tessel::testing::SpeechLike(1.0, 5);
const size_t kBlocks = kSpeech.size() / 80;

// What bcg729 itself makes of the speech, and of those frames.
std::vector<uint8_t> DirectFrames() {
    std::vector<uint8_t> frames(kBlocks * 10);
    auto* e = initBcg729EncoderChannel(0);
    uint8_t length;
    for (size_t b = 0; b < kBlocks; ++b) bcg729Encoder(e, &kSpeech[b * 80], &frames[b * 10], &length);
    closeBcg729EncoderChannel(e);
    return frames;
}
std::vector<int16_t> DirectSamples(const std::vector<uint8_t>& frames) {
    std::vector<int16_t> pcm(kBlocks * 80);
    auto* d = initBcg729DecoderChannel();
    for (size_t b = 0; b < kBlocks; ++b) bcg729Decoder(d, &frames[b * 10], 10, 0, 0, 0, &pcm[b * 80]);
    closeBcg729DecoderChannel(d);
    return pcm;
}

TEST(AuralWren2, RunsOneEncoderAndOneDecoderSideBySideWithoutMixingTheirState) {
    Wren2 w;
    const auto frames = DirectFrames();
    std::vector<uint8_t> coded(frames.size());
    std::vector<int16_t> pcm(kSpeech.size());
    ASSERT_EQ(w.encoderInit(), 0);
    ASSERT_EQ(w.decoderInit(), 0);
    for (size_t b = 0; b < kBlocks; ++b) {  // block by block, encoder and decoder in turn
        EXPECT_EQ(w.encode(&kSpeech[b * 80], &coded[b * 10]), 0);
        EXPECT_EQ(w.decode(&frames[b * 10], &pcm[b * 80], 0), 0);
    }
    EXPECT_EQ(coded, frames) << "the encoder's frames were disturbed by the decoder running beside it";
    EXPECT_EQ(pcm, DirectSamples(frames)) << "the decoder's samples were disturbed by the encoder running beside it";

    // The initialisation entries reset their own channel only.
    ASSERT_EQ(w.encoderInit(), 0);
    ASSERT_EQ(w.decoderInit(), 0);
    for (size_t b = 0; b < kBlocks / 2; ++b) w.encode(&kSpeech[b * 80], &coded[b * 10]);
    w.decoderInit();
    for (size_t b = kBlocks / 2; b < kBlocks; ++b) w.encode(&kSpeech[b * 80], &coded[b * 10]);
    EXPECT_EQ(coded, frames) << "Wren2Call1 did not reset the encoder, or Wren2Call4 disturbed it";
}

TEST(AuralWren2, WorksBeforeInitialisationAndRefusesMissingBuffers) {
    Wren2 w;
    std::vector<uint8_t> coded(10);
    std::vector<int16_t> pcm(80);
    EXPECT_EQ(w.encode(kSpeech.data(), coded.data()), 0) << "a first block without Wren2Call1 was refused";
    const auto frames = DirectFrames();
    EXPECT_TRUE(std::equal(coded.begin(), coded.end(), frames.begin())) << "the first block was not coded as G.729";
    EXPECT_EQ(w.decode(coded.data(), pcm.data(), 0), 0) << "a first block without Wren2Call4 was refused";

    EXPECT_EQ(w.encode(nullptr, coded.data()), -1);
    EXPECT_EQ(w.encode(kSpeech.data(), nullptr), -1);
    EXPECT_EQ(w.decode(coded.data(), nullptr, 0), -1);
    EXPECT_EQ(w.decode(nullptr, pcm.data(), 0), 0) << "a missing frame must be concealed like a lost one";
}

TEST(AuralWren2, LeavesNothingBehindWhenUnloaded) {
    const auto file = platform::dynlib::FindInProgramFolder("AuralWren2.dll");
    ASSERT_FALSE(file.empty()) << "AuralWren2.so is not in the program folder";
    {
        Wren2 w;
        w.encoderInit();
        w.decoderInit();
        std::vector<uint8_t> coded(10);
        w.encode(kSpeech.data(), coded.data());
    }
    void* still = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still, nullptr) << "AuralWren2 stayed loaded after its last user let it go";
    if (still) dlclose(still);
    // Its channels are closed by then; the sanitizer build reports any leak.
}

}  // namespace
