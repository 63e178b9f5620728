// The worker's frame loop: what reaches the target, the progress it
// reports, where a stop leaves it, and the gain control.
#include <cmath>
#include <cstring>
#include <vector>

#include "codec_framework/codec_factory.h"
#include "codec_framework/testing/plugin_under_test.h"
#include "converter/agc.h"
#include "converter/frame_loop.h"
#include "converter/source_file.h"
#include "converter_testing.h"

namespace Tessel {
// The properties of this test program's own decoder (linear frames).
const CodecProperties kThisCodec = {
    .moduleName = "velkcodec_unit_tests", .codecType = 16, .formatTag = 1, .codecName = "recording",
    .bitRate = 128000, .frameDuration = 20, .codedFrameSize = 320, .pcmFrameSize = 320, .frameSamples = 160,
    .ownHeaderSize = 0,
    .header = {.tag = 1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 16000, .blockAlign = 2, .bitsPerSample = 16},
    .writesHeader = true,
};
}  // namespace Tessel

using namespace velk;
using namespace velk::testing;
using Tessel::testing::PluginUnderTest;

namespace {

// A linear decoder that notes the progress it sees at each frame and sets
// the stop request while it decodes frame `stopAt`.
class RecordingDecoder final : public Tessel::_CodecAdapter<Tessel::ICodecDecoder> {
public:
    RecordingDecoder(std::atomic<int32_t>& progress, std::atomic<int32_t>& stop, int stopAt)
        : progress_(progress), stop_(stop), stopAt_(stopAt) {}
    const char* GetClassName() override { return "CCodecDecoder"; }
    int32_t Init() override { return 0; }
    int32_t Decode(int16_t* pcm, const uint8_t* in, int32_t, int32_t) override {
        seen.push_back(progress_.load());
        if (int(seen.size()) - 1 == stopAt_) stop_.store(1);
        std::memcpy(pcm, in, 320);
        return 0;
    }
    std::vector<int32_t> seen;

private:
    std::atomic<int32_t>& progress_;
    std::atomic<int32_t>& stop_;
    int stopAt_;
};

class FrameLoopTest : public ::testing::Test {
protected:
    // Runs the loop over `source` (its first frame skipped, as the job does)
    // into a fresh target and returns the target's bytes.
    Bytes Run(const Bytes& source, bool gainControl, Tessel::ICodecDecoder* decoder = nullptr) {
        auto linearDecoder = linear.Decoder();
        auto encoder = linear.Encoder();
        TargetFile target;
        EXPECT_TRUE(target.Open((dir / "target.raw").string()));
        WriteFile(dir / "source.raw", source);
        SourceFile file;
        EXPECT_TRUE(file.Open((dir / "source.raw").string()));
        file.Seek(320);
        FramePipeline p;
        p.decoder = decoder ? decoder : linearDecoder.get();
        p.encoder = encoder.get();
        p.source = &file;
        p.target = &target;
        p.frames = int32_t(source.size() / 320) - 1;
        p.sourceFrameSize = p.targetFrameSize = 320;
        p.gainControl = gainControl;
        framesDone = RunFrames(p, progress, stop).written;
        target.Close();
        return ReadFile(dir / "target.raw");
    }
    static double Energy(const Bytes& b) {
        double e = 0;
        for (size_t i = 0; i + 1 < b.size(); i += 2) e += std::pow(double(int16_t(b[i] | b[i + 1] << 8)), 2);
        return e;
    }

    TempDir dir;
    PluginUnderTest linear{"AuralCodecLinear.dll"};
    std::atomic<int32_t> progress{0}, stop{0};
    int32_t framesDone = -1;
};

TEST_F(FrameLoopTest, WritesEverySourceFrameButTheFirstUnchangedThroughLinear) {
    const Bytes source = LinearFrames(40);
    const Bytes target = Run(source, false);
    EXPECT_EQ(framesDone, 39);
    EXPECT_EQ(progress.load(), 100);
    ASSERT_EQ(target.size(), source.size() - 320);
    EXPECT_TRUE(std::equal(target.begin(), target.end(), source.begin() + 320))
        << "linear to linear must reproduce the source from its second frame on";
}

TEST_F(FrameLoopTest, ReportsProgressBeforeEachFrameAndStopsAfterTheFrameItWasAskedIn) {
    const Bytes source = LinearFrames(8);  // N = 7
    RecordingDecoder decoder(progress, stop, 3);
    const Bytes target = Run(source, false, &decoder);
    EXPECT_EQ(decoder.seen, (std::vector<int32_t>{0, 14, 28, 42})) << "progress must be (100 x i) / N before frame i";
    EXPECT_EQ(framesDone, 4) << "frames 0 to 3 were written";
    EXPECT_EQ(progress.load(), 42) << "after a stop in frame 3 of 7 the progress must be 100 x 3 / 7";
    EXPECT_EQ(target.size(), 4u * 320) << "frames 0 to 3 must be written, and no more";
}

TEST_F(FrameLoopTest, GainControlLeavesQuietSpeechAloneAndTamesLoudSpeech) {
    const Bytes quiet = [] {
        Bytes b = LinearFrames(50, 3);
        for (size_t i = 0; i + 1 < b.size(); i += 2) {  // scale to a peak near 3000
            const int16_t s = int16_t(int16_t(b[i] | b[i + 1] << 8) / 4);
            b[i] = uint8_t(s), b[i + 1] = uint8_t(s >> 8);
        }
        return b;
    }();
    const Bytes quietOut = Run(quiet, true);
    EXPECT_TRUE(std::equal(quietOut.begin(), quietOut.end(), quiet.begin() + 320))
        << "the gain control changed speech that was never too loud";

    Bytes loud(320 * 50);
    for (size_t i = 0; i < loud.size(); i += 2) {  // a full-scale 400 Hz square wave
        const int16_t s = (i / 2) % 20 < 10 ? 32000 : -32000;
        loud[i] = uint8_t(s), loud[i + 1] = uint8_t(s >> 8);
    }
    const Bytes loudOut = Run(loud, true);
    ASSERT_EQ(loudOut.size(), loud.size() - 320);
    const Bytes loudIn(loud.begin() + 320, loud.end());
    EXPECT_LT(Energy(loudOut), 0.6 * Energy(loudIn)) << "a full-scale signal was not turned down";
    EXPECT_GT(Energy(loudOut), 0.2 * Energy(loudIn)) << "a full-scale signal was turned down to almost nothing";
    for (size_t i = 0; i + 1 < loudOut.size(); i += 2)
        ASSERT_LE(std::abs(int16_t(loudOut[i] | loudOut[i + 1] << 8)), std::abs(int16_t(loudIn[i] | loudIn[i + 1] << 8)))
            << "the gain control raised a sample at byte " << i;

    EXPECT_EQ(Run(loud, false), loudIn) << "without the marker nothing may change";
}

TEST(Agc, KeepsSilenceSilentAndNeverRaisesTheGainAboveOne) {
    AgcState st;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(AgcSample(st, 0), 0);
    EXPECT_EQ(st.gain, 1.0f);
    EXPECT_EQ(AgcSample(st, -32768), -32768) << "the first loud sample passes at gain 1";
    for (int i = 0; i < 2000; ++i) AgcSample(st, int16_t(i % 2 ? 32767 : -32768));
    EXPECT_LT(st.gain, 0.8f);
    EXPECT_GT(st.gain, 0.5f);
    for (int i = 0; i < 200000; ++i) AgcSample(st, 100);
    EXPECT_EQ(st.gain, 1.0f) << "after a quiet stretch the gain must return to 1";
}

TEST(TargetFileTest, AFinishedFileEndsAtItsLastWrittenByteAndAnAbandonedOneIsGone) {
    TempDir dir;
    WriteFile(dir / "t.wav", Bytes(100000, 0xEE));
    TargetFile t;
    ASSERT_TRUE(t.Open((dir / "t.wav").string()));
    EXPECT_FALSE(t.Created());
    const Bytes chunk(1000, 0x11);
    for (int i = 0; i < 70; ++i) t.Write(chunk.data(), chunk.size());
    const Bytes header(4, 0x22);
    ASSERT_TRUE(t.Finish(header.data(), header.size(), 70000));
    const Bytes after = ReadFile(dir / "t.wav");
    ASSERT_EQ(after.size(), 70000u) << "the earlier, longer file's tail was kept";
    EXPECT_EQ(std::count(after.begin(), after.begin() + 4, 0x22), 4) << "the header was not put in front";
    EXPECT_EQ(std::count(after.begin() + 4, after.end(), 0x11), 69996);

    ASSERT_TRUE(t.Open((dir / "new.wav").string()));
    EXPECT_TRUE(t.Created());
    t.Abandon();
    EXPECT_FALSE(fs::exists(dir / "new.wav"));
    EXPECT_FALSE(t.Open((dir / "no-such-folder" / "x.wav").string()));
}

TEST(TargetFileTest, AWriteTheDiskRefusesMarksTheFileFailedAndADeviceIsNoTarget) {
    TempDir dir;
    FileSizeLimit full(64 * 1024);  // as a disk that is full after 64 KiB
    TargetFile t;
    ASSERT_TRUE(t.Open((dir / "t.wav").string()));
    const Bytes chunk(1000, 0x11);
    for (int i = 0; i < 100; ++i) t.Write(chunk.data(), chunk.size());
    t.Flush();
    EXPECT_TRUE(t.Failed()) << "a write beyond what the disk takes was taken for done";
    EXPECT_FALSE(t.Open("/dev/null")) << "a device was opened as a target (and would be removed on failure)";
}

}  // namespace
