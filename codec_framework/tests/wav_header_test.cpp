// The RIFF/WAVE walk, the codec check and the header writer.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec_framework/ref.h"
#include "codec_framework/riff_chunks.h"
#include "codec_framework/wav_header.h"
#include "codec_framework/testing/little_endian.h"
#include "codec_framework/testing/wav_files.h"
#include "test_codec.h"

using namespace Tessel;
using Tessel::testing::U32At;

namespace {

// A header image assembled chunk by chunk.
struct Image {
    std::vector<uint8_t> bytes;
    Image& id(const char* four) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(four[i]));
        return *this;
    }
    Image& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    Image& u16(uint16_t v) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
        return *this;
    }
    // RIFF, WAVE and an 18-byte fmt chunk of linear PCM.
    static Image Pcm(uint32_t rate = 8000, uint32_t bytesPerSec = 16000, uint16_t channels = 1, uint16_t bits = 16) {
        Image im;
        im.id("RIFF").u32(0).id("WAVE").id("fmt ").u32(18);
        im.u16(1).u16(channels).u32(rate).u32(bytesPerSec).u16(2).u16(bits).u16(0);
        return im;
    }
    const uint8_t* data() const { return bytes.data(); }
};


class CodecHeader : public ::testing::Test {
protected:
    Ref<ICodecFactory> codec{NewObject<framework_test::CCodecFactory>()};
};

TEST_F(CodecHeader, FindsTheAudioBehindTheDataChunkWithOrWithoutAFactChunk) {
    Image direct = Image::Pcm();
    direct.id("data").u32(100);
    EXPECT_EQ(codec->GetFmtChunkSize(direct.data()), 18);
    EXPECT_EQ(codec->GetHeaderSize(direct.data()), 46);
    EXPECT_TRUE(codec->CheckHeader(direct.data()));

    Image withFact = Image::Pcm();
    withFact.id("fact").u32(4).u32(100).id("data").u32(100);
    EXPECT_EQ(codec->GetHeaderSize(withFact.data()), 58);
    EXPECT_TRUE(codec->CheckHeader(withFact.data()));

    // The walk skips the fact chunk by its length field, but the header size
    // always counts it as 12 bytes.
    Image longFact = Image::Pcm();
    longFact.id("fact").u32(8).u32(100).u32(0).id("data").u32(100);
    EXPECT_EQ(codec->GetHeaderSize(longFact.data()), 58);
}

TEST_F(CodecHeader, RefusesAnythingButFmtFactData) {
    Image list = Image::Pcm();
    list.id("LIST").u32(4).id("INFO").id("data").u32(0);
    EXPECT_EQ(codec->GetHeaderSize(list.data()), 0) << "a list chunk must not be walked over";
    EXPECT_FALSE(codec->CheckHeader(list.data()));

    Image rifx = Image::Pcm();
    rifx.id("data").u32(0);
    std::memcpy(rifx.bytes.data(), "RIFX", 4);
    EXPECT_EQ(codec->GetFmtChunkSize(rifx.data()), 0);
    EXPECT_EQ(codec->GetHeaderSize(rifx.data()), 0);
    EXPECT_FALSE(codec->CheckHeader(rifx.data()));

    Image fmtLater;  // "fmt " behind another chunk instead of at offset 12
    fmtLater.id("RIFF").u32(0).id("WAVE").id("junk").u32(0).id("fmt ").u32(18);
    fmtLater.bytes.resize(80);
    EXPECT_EQ(codec->GetFmtChunkSize(fmtLater.data()), 0);
    EXPECT_FALSE(codec->CheckHeader(fmtLater.data()));

    Image noFmtSize = Image::Pcm();
    noFmtSize.id("data").u32(0);
    std::memset(noFmtSize.bytes.data() + 16, 0, 4);  // F = 0: "data" now sits at 20
    EXPECT_EQ(codec->GetHeaderSize(noFmtSize.data()), 0);
}

TEST_F(CodecHeader, OddFmtAndFactChunksAreFollowedByTheirPadByte) {
    Image oddFmt;  // 19 bytes of fmt: the 18 of linear PCM and one extra byte
    oddFmt.id("RIFF").u32(0).id("WAVE").id("fmt ").u32(19);
    oddFmt.u16(1).u16(1).u32(8000).u32(16000).u16(2).u16(16).u16(1);
    oddFmt.bytes.push_back(0x07);
    oddFmt.bytes.push_back(0);  // the pad byte
    oddFmt.id("data").u32(100);
    EXPECT_EQ(codec->GetFmtChunkSize(oddFmt.data()), 19);
    EXPECT_EQ(codec->GetHeaderSize(oddFmt.data()), 48) << "the audio starts behind the fmt chunk's pad byte";
    EXPECT_TRUE(codec->CheckHeader(oddFmt.data())) << "a fmt chunk of odd length hid the data chunk";

    Image oddFact = Image::Pcm();
    oddFact.id("fact").u32(5).u32(100);
    oddFact.bytes.insert(oddFact.bytes.end(), {0x00, 0x00});  // the fifth byte and the pad byte
    oddFact.id("data").u32(100);
    EXPECT_TRUE(codec->CheckHeader(oddFact.data())) << "a fact chunk of odd length hid the data chunk";
    EXPECT_TRUE(wav::ImageFits(oddFact.data(), oddFact.bytes.size()));
    EXPECT_FALSE(wav::ImageFits(oddFact.data(), oddFact.bytes.size() - 5)) << "the data id behind the pad is cut off";
}

// The walk the player's rate probe and the MCI layer share: a LIST chunk of
// five bytes before the data is stepped over with its pad byte.
TEST(RiffChunks, AnOddSizedListChunkBeforeTheDataIsSteppedOverWithItsPadByte) {
    const std::string wav =
        Tessel::testing::WavHeader({.listBeforeData = std::string_view("INFO\x01", 5)}, 100) + std::string(100, 'a');
    riff::ChunkWalk chunks(riff::ImageReader{reinterpret_cast<const uint8_t*>(wav.data()), wav.size()});
    std::vector<std::string> seen;
    std::optional<riff::Chunk> data;
    while (const auto chunk = chunks.Next()) {
        seen.emplace_back(chunk->id.data(), 4);
        if (chunk->Is("data")) data = chunk;
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"fmt ", "LIST", "data"}));
    ASSERT_TRUE(data) << "the walk lost its way after the LIST chunk";
    EXPECT_EQ(data->at, 12u + 24 + 8 + 5 + 1) << "the data chunk is not behind the LIST chunk's pad byte";
    EXPECT_EQ(data->length, 100u);
    EXPECT_EQ(wav.substr(data->Body()), std::string(100, 'a'));
    EXPECT_FALSE(wav::IsRecognised(reinterpret_cast<const uint8_t*>(wav.data())))
        << "the codecs' strict walk took a LIST chunk between fmt and data";
}

TEST_F(CodecHeader, NullImagesAndBuffersGiveNothing) {
    EXPECT_EQ(codec->GetFmtChunkSize(nullptr), 0);
    EXPECT_EQ(codec->GetHeaderSize(nullptr), 0);
    EXPECT_FALSE(codec->CheckHeader(nullptr));
    EXPECT_EQ(codec->WriteHeader(nullptr, 32000), 0);
}

TEST_F(CodecHeader, ComparesTheFiveFormatFieldsButNotAlignOrExtra) {
    auto check = [&](Image im) {
        im.id("data").u32(0);
        return codec->CheckHeader(im.data());
    };
    EXPECT_TRUE(check(Image::Pcm()));
    Image oneByteMore = Image::Pcm(8000, 16001);
    oneByteMore.id("data").u32(0);
    EXPECT_TRUE(wav::IsRecognised(oneByteMore.data())) << "the generic walk does not look at the format";
    EXPECT_FALSE(codec->CheckHeader(oneByteMore.data())) << "16001 bytes per second accepted";
    EXPECT_FALSE(check(Image::Pcm(11025))) << "another sample rate accepted";
    EXPECT_FALSE(check(Image::Pcm(8000, 16000, 2))) << "stereo accepted";
    EXPECT_FALSE(check(Image::Pcm(8000, 16000, 1, 8))) << "8-bit samples accepted";
    Image otherTag = Image::Pcm();
    otherTag.bytes[20] = 6;
    EXPECT_FALSE(check(otherTag)) << "A-law tag accepted by a PCM codec";

    Image otherAlign = Image::Pcm();
    otherAlign.bytes[32] = 4;
    otherAlign.bytes[36] = 0;
    EXPECT_TRUE(check(otherAlign)) << "block align must not be compared";
}

TEST_F(CodecHeader, WritesACompleteHeaderThatReadsBack) {
    std::array<uint8_t, 128> buf;
    buf.fill(0xEE);
    ASSERT_EQ(codec->WriteHeader(buf.data(), 32000), 58);
    const uint8_t* h = buf.data();
    EXPECT_EQ(std::memcmp(h, "RIFF", 4), 0);
    EXPECT_EQ(U32At(h, 4), 32050u) << "RIFF length";
    EXPECT_EQ(std::memcmp(h + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(U32At(h, 16), 18u);
    EXPECT_EQ(U32At(h, 24), 8000u);
    EXPECT_EQ(U32At(h, 28), 16000u);
    EXPECT_EQ(std::memcmp(h + 38, "fact", 4), 0);
    EXPECT_EQ(U32At(h, 42), 4u);
    EXPECT_EQ(U32At(h, 46), 32000u) << "the fact value is the data length in bytes";
    EXPECT_EQ(std::memcmp(h + 50, "data", 4), 0);
    EXPECT_EQ(U32At(h, 54), 32000u);
    EXPECT_EQ(buf[58], 0xEE) << "wrote past the header";

    EXPECT_EQ(codec->GetHeaderSize(h), 58);
    EXPECT_TRUE(codec->CheckHeader(h));
}

TEST(WavHeaderWriter, PutsExtraFormatBytesAndMovesTheLaterChunks) {
    static constexpr uint8_t extra[14] = {0x00, 0x01, 0x01, 0x00, 0x03, 0x00, 0x00,
                                          0x00, 0xF4, 0x01, 0x03, 0x00, 0x00, 0x00};
    const wav::Format f{.tag = 0x09A1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 1000,
                        .blockAlign = 20, .bitsPerSample = 16, .extra = extra, .extraSize = 14};
    std::array<uint8_t, 128> buf{};
    ASSERT_EQ(wav::WriteHeader(buf.data(), f, 2000), 72u);
    EXPECT_EQ(U32At(buf.data(), 4), 2064u);
    EXPECT_EQ(U32At(buf.data(), 16), 32u);
    EXPECT_EQ(buf[20] | buf[21] << 8, 0x09A1);
    EXPECT_EQ(buf[36], 14);
    EXPECT_EQ(std::memcmp(buf.data() + 38, extra, 14), 0);
    EXPECT_EQ(std::memcmp(buf.data() + 52, "fact", 4), 0);
    EXPECT_EQ(U32At(buf.data(), 60), 2000u);
    EXPECT_EQ(std::memcmp(buf.data() + 64, "data", 4), 0);
    EXPECT_EQ(U32At(buf.data(), 68), 2000u);
    EXPECT_EQ(wav::HeaderSize(buf.data()), 72u);
}

// Every prefix of a header, in a buffer of exactly that size: when ImageFits
// says yes the readers stay inside (the sanitizer build would catch them
// otherwise), and a whole header fits.
TEST(WavHeaderBounds, ReadersStayInsideEveryImageThatFits) {
    Image withFact = Image::Pcm();
    withFact.id("fact").u32(4).u32(100).id("data").u32(100);
    Image hugeFmt = Image::Pcm();
    std::memset(hugeFmt.bytes.data() + 16, 0xFF, 4);
    Image hugeFact = Image::Pcm();
    hugeFact.id("fact").u32(0xFFFFFFF0u).u32(0).id("data");
    Image farFmt = Image::Pcm();
    farFmt.bytes[16] = 0x00;
    farFmt.bytes[17] = 0x10;  // F = 4096, far beyond the image

    for (const Image* im : {&withFact, &hugeFmt, &hugeFact, &farFmt}) {
        for (size_t n = 0; n <= im->bytes.size(); ++n) {
            std::vector<uint8_t> exact(im->bytes.begin(), im->bytes.begin() + n);
            const uint8_t* p = n ? exact.data() : nullptr;
            if (!wav::ImageFits(p, n)) continue;
            (void)wav::HeaderSize(p);
            (void)wav::IsRecognised(p);
            (void)wav::FormatMatches(p, wav::Format{});
        }
    }
    EXPECT_TRUE(wav::ImageFits(withFact.data(), withFact.bytes.size()));
    EXPECT_FALSE(wav::ImageFits(withFact.data(), withFact.bytes.size() - 9)) << "the data id is cut off";
    EXPECT_FALSE(wav::ImageFits(hugeFmt.data(), hugeFmt.bytes.size()));
    EXPECT_FALSE(wav::ImageFits(hugeFact.data(), hugeFact.bytes.size()));
    EXPECT_FALSE(wav::ImageFits(farFmt.data(), farFmt.bytes.size()));
}

}  // namespace
