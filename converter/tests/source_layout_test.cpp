// Where a source's audio lies: header length, frame count, the
// gain-control marker, and damaged headers that must never make the codec
// read past the end of the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "codec_framework/testing/plugin_under_test.h"
#include "converter/result_text.h"
#include "converter/source_layout.h"
#include "converter_testing.h"

using namespace velk;
using namespace velk::testing;
using Tessel::testing::PluginUnderTest;

namespace {

// A copy of an image that ends exactly where an inaccessible page begins:
// a read one byte past its end crashes the test in any build, not only
// under the address sanitizer.
class GuardedImage {
public:
    explicit GuardedImage(const Bytes& bytes) : size_(bytes.size()) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        span_ = (size_ + page - 1) / page * page + page;
        void* m = mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) throw std::runtime_error("cannot map a guarded image");
        base_ = static_cast<uint8_t*>(m);
        mprotect(base_ + span_ - page, page, PROT_NONE);
        data_ = base_ + span_ - page - size_;
        if (size_) std::memcpy(data_, bytes.data(), size_);
    }
    ~GuardedImage() { munmap(base_, span_); }
    const uint8_t* data() const { return data_; }
    uint32_t size() const { return uint32_t(size_); }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0, span_ = 0;
};

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

Bytes ALawSource(int frames) {
    Bytes b = ALawHeader(160u * frames);
    b.resize(b.size() + 160u * frames, 0xD5);
    return b;
}

class SourceLayoutTest : public ::testing::Test {
protected:
    int32_t Measure(PluginUnderTest& plugin, const Bytes& bytes, SourceLayout& out) {
        GuardedImage image(bytes);
        auto factory = plugin.Factory();
        return MeasureSource(*factory.get(), image.data(), image.size(), image.size(),
                             uint32_t(factory->GetCodedFrameSize()), out);
    }
    PluginUnderTest linear{"AuralCodecLinear.dll"};
    PluginUnderTest headered{TestLib("StandInHeadered")};
    PluginUnderTest twenty{TestLib("StandInTwenty")};
    SourceLayout layout;
};

TEST_F(SourceLayoutTest, RawSourceConvertsEveryWholeFrameButTheFirst) {
    ASSERT_TRUE(linear.Loaded());
    EXPECT_EQ(Measure(linear, LinearFrames(2), layout), kStarted);
    EXPECT_EQ(layout.headerSize, 0u);
    EXPECT_EQ(layout.frames, 1u) << "two raw frames must convert exactly one";

    Bytes withTail = LinearFrames(5);
    withTail.resize(withTail.size() + 319);
    EXPECT_EQ(Measure(linear, withTail, layout), kStarted);
    EXPECT_EQ(layout.frames, 4u) << "a partial last frame must be dropped";

    Bytes frameAndAHalf = LinearFrames(2);
    frameAndAHalf.resize(480);
    EXPECT_EQ(Measure(linear, frameAndAHalf, layout), kSourceTooSmall);
    EXPECT_EQ(Measure(linear, LinearFrames(1), layout), kSourceTooSmall);
}

TEST_F(SourceLayoutTest, HeaderedSourceSkipsItsHeaderAndFirstFrame) {
    ASSERT_TRUE(headered.Loaded());
    EXPECT_EQ(Measure(headered, ALawSource(11), layout), kStarted);
    EXPECT_EQ(layout.headerSize, 58u);
    EXPECT_EQ(layout.frames, 10u);

    Bytes short_ = ALawSource(2);
    short_.resize(58 + 240);
    EXPECT_EQ(Measure(headered, short_, layout), kSourceTooSmall);
}

TEST_F(SourceLayoutTest, RejectsHeadersOfAnotherFormatOrNoneAtAll) {
    Bytes linearHeader = ALawSource(4);
    Put32(linearHeader, 28, 16000);  // bytes per second of linear PCM
    EXPECT_EQ(Measure(headered, linearHeader, layout), kSourceFormatError);

    EXPECT_EQ(Measure(headered, Bytes(58 + 160 * 4, 0xD5), layout), kSourceFormatError)
        << "raw A-law without its header must fail the format check";

    Bytes listChunk = ALawSource(4);
    std::memcpy(&listChunk[38], "LIST", 4);
    EXPECT_EQ(Measure(headered, listChunk, layout), kSourceFormatError);
}

TEST_F(SourceLayoutTest, ASourceEndingInsideItsOwnHeaderIsTooSmall) {
    const Bytes good = ALawSource(4);
    for (size_t cut : {1, 15, 16, 20, 35, 40, 57, 58}) {
        Bytes b(good.begin(), good.begin() + long(cut));
        EXPECT_EQ(Measure(headered, b, layout), kSourceTooSmall) << "cut to " << cut << " bytes";
    }
    Bytes fmtPastEnd = good;
    Put32(fmtPastEnd, 16, uint32_t(good.size()));  // the next chunk would start beyond the file
    EXPECT_EQ(Measure(headered, fmtPastEnd, layout), kSourceTooSmall);
    Bytes hugeFmt = good;
    Put32(hugeFmt, 16, 0xFFFFFFF0u);  // 20 + F wraps in 32 bits
    EXPECT_EQ(Measure(headered, hugeFmt, layout), kSourceTooSmall);
    Bytes factPastEnd = good;
    Put32(factPastEnd, 42, 0x7FFFFFFFu);
    EXPECT_EQ(Measure(headered, factPastEnd, layout), kSourceTooSmall);
    Bytes factWraps = good;
    Put32(factWraps, 42, 0xFFFFFFF8u);  // would walk back to the fact chunk itself in 32 bits
    EXPECT_EQ(Measure(headered, factWraps, layout), kSourceTooSmall);
}

TEST_F(SourceLayoutTest, FindsTheMarkerOnlyAtAMultipleOf20WithinTheFirstFrame) {
    const Bytes marker = AgcMarkerGroup();
    auto withMarkerAt = [&](Bytes b, size_t at) {
        std::copy(marker.begin(), marker.end(), b.begin() + long(at));
        return b;
    };
    const Bytes silence(320 * 4, 0);
    for (size_t at : {0, 20, 140, 300}) {
        EXPECT_EQ(Measure(linear, withMarkerAt(silence, at), layout), kStarted);
        EXPECT_TRUE(layout.gainControl) << "marker at offset " << at << " was not seen";
    }
    for (size_t at : {10, 301, 320, 640}) {
        EXPECT_EQ(Measure(linear, withMarkerAt(silence, at), layout), kStarted);
        EXPECT_FALSE(layout.gainControl) << "marker at offset " << at << " must not count";
    }
    EXPECT_EQ(Measure(linear, silence, layout), kStarted);
    EXPECT_FALSE(layout.gainControl);

    // Twenty-byte frames are scanned in exactly one group.
    const Bytes twentyFrames(20 * 6, 0);
    EXPECT_EQ(Measure(twenty, withMarkerAt(twentyFrames, 0), layout), kStarted);
    EXPECT_TRUE(layout.gainControl);
    EXPECT_EQ(Measure(twenty, withMarkerAt(twentyFrames, 20), layout), kStarted);
    EXPECT_FALSE(layout.gainControl);
}

TEST_F(SourceLayoutTest, ScansForTheMarkerFromTheFileStartEvenBehindAHeader) {
    // 160-byte frames: eight groups, offsets 0 to 159, header included.
    Bytes atEighty = ALawSource(4);
    std::fill(atEighty.begin() + 58, atEighty.end(), 0);
    Bytes atOneSixty = atEighty;
    const Bytes marker = AgcMarkerGroup();
    std::copy(marker.begin(), marker.end(), atEighty.begin() + 80);
    std::copy(marker.begin(), marker.end(), atOneSixty.begin() + 160);
    EXPECT_EQ(Measure(headered, atEighty, layout), kStarted);
    EXPECT_TRUE(layout.gainControl);
    EXPECT_EQ(Measure(headered, atOneSixty, layout), kStarted);
    EXPECT_FALSE(layout.gainControl) << "offset 160 lies beyond the first frame's groups";
}

TEST(AgcMarker, SumsFiveLittleEndianWordsWithWrapAround) {
    Bytes group(20, 0);
    Put32(group, 0, 0xFFFFFFFFu);
    Put32(group, 4, kAgcMarkerSum + 1);  // wraps to the marker
    EXPECT_TRUE(HasAgcMarker(group.data(), 20));
    Put32(group, 16, 1);
    EXPECT_FALSE(HasAgcMarker(group.data(), 20));
    EXPECT_FALSE(HasAgcMarker(AgcMarkerGroup().data(), 19)) << "a frame under 20 bytes has no group";
}

// A few thousand truncated and altered headers: whatever the bytes, the
// measurement answers 0, -13 or -14 and never reads past the image (the
// guard page and, in the sanitizer build, the address sanitizer see to
// that); when it answers 0, the audio it found lies inside the file.
TEST_F(SourceLayoutTest, DamagedHeadersNeverLeadBeyondTheFile) {
    ASSERT_TRUE(headered.Loaded());
    std::mt19937 rng(20240611);
    auto any = [&](uint32_t n) { return uint32_t(rng() % n); };
    const Bytes good = ALawSource(6);
    Bytes noFact = good;
    noFact.erase(noFact.begin() + 38, noFact.begin() + 50);
    Bytes wideFmt = good;  // F = 32, the G.729 bridge's layout
    Put32(wideFmt, 16, 32);
    wideFmt.insert(wideFmt.begin() + 38, 14, 0);
    const Bytes bases[] = {good, noFact, wideFmt};
    const uint32_t lengths[] = {0, 1, 4, 17, 18, 19, 32, 100, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF0, 0xFFFFFFFF};

    int started = 0, tooSmall = 0, formatError = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes b = bases[any(3)];
        const int changes = 1 + int(any(4));
        for (int c = 0; c < changes; ++c) {
            switch (any(4)) {
                case 0: b[any(64)] = uint8_t(rng()); break;  // any header byte
                case 1: Put32(b, 16, any(2) ? lengths[any(12)] : any(uint32_t(b.size()) + 64)); break;  // fmt length
                case 2: {  // the length of the chunk after fmt, where that lies inside the file
                    const uint32_t f = b[16] | b[17] << 8;
                    if (f + 28 <= b.size()) Put32(b, 24 + f, any(2) ? lengths[any(12)] : any(200));
                    break;
                }
                case 3: std::memcpy(&b[any(4) * 4 + 12], any(2) ? "data" : "fact", 4); break;
            }
        }
        if (any(3) == 0) b.resize(1 + any(uint32_t(b.size())));  // truncated
        SourceLayout out;
        const int32_t code = Measure(headered, b, out);
        switch (code) {
            case kStarted:
                ++started;
                ASSERT_LT(uint64_t(out.headerSize) + 2 * 160, uint64_t(b.size()) + 1) << "round " << round;
                ASSERT_EQ(out.frames, (b.size() - out.headerSize) / 160 - 1) << "round " << round;
                break;
            case kSourceTooSmall: ++tooSmall; break;
            case kSourceFormatError: ++formatError; break;
            default: FAIL() << "round " << round << " answered " << code;
        }
    }
    // The generator must reach every outcome, or it tests less than it claims.
    EXPECT_GT(started, 100);
    EXPECT_GT(tooSmall, 100);
    EXPECT_GT(formatError, 100);

    for (size_t cut = 1; cut <= good.size(); ++cut) {  // every truncation
        SourceLayout out;
        const int32_t code = Measure(headered, Bytes(good.begin(), good.begin() + long(cut)), out);
        EXPECT_TRUE(code == kSourceTooSmall || (code == kStarted && cut >= 58 + 320)) << cut << ": " << code;
    }
}

}  // namespace
