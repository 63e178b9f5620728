// The transcoders on their own, with chunks the conversion job never cuts
// but a transcoder must still take: nothing at all, and half a sample.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "outside/voicecvt/transcoders.h"

using namespace voicecvt;

namespace {

constexpr int32_t kTypes[] = {0, 1, 4};  // VOC, VC2, VC5
constexpr const char* kNames[] = {"VOC", "VC2", "VC5"};

TEST(VoiceCvtTranscoders, AnEmptyChunkBecomesNothingInEveryFormatAndDirection) {
    for (int i = 0; i < 3; ++i)
        for (Direction direction : {Direction::ToWave, Direction::FromWave})
            for (WaveCoding coding : {WaveCoding::Pcm16, WaveCoding::ALaw})
                for (bool last : {false, true}) {
                    auto t = MakeTranscoder(kTypes[i], direction, coding, 0.5);
                    ASSERT_NE(t, nullptr) << kNames[i];
                    std::vector<uint8_t> out;
                    EXPECT_TRUE(t->Convert({}, last, out))
                        << kNames[i] << (direction == Direction::ToWave ? " to" : " from")
                        << " WAV refused an empty chunk";
                    EXPECT_TRUE(out.empty()) << kNames[i] << ": an empty chunk gave " << out.size() << " bytes";
                }
}

TEST(VoiceCvtTranscoders, HalfASampleOfPcmIsDroppedWhenEncoding) {
    const std::vector<uint8_t> half{0x7f};
    for (int i = 0; i < 3; ++i) {
        auto t = MakeTranscoder(kTypes[i], Direction::FromWave, WaveCoding::Pcm16, 1.0);
        ASSERT_NE(t, nullptr) << kNames[i];
        std::vector<uint8_t> out;
        EXPECT_TRUE(t->Convert(half, true, out)) << kNames[i] << " refused a lone byte of PCM";
        EXPECT_TRUE(out.empty()) << kNames[i] << ": a byte that is no whole sample was encoded into " << out.size()
                                 << " bytes";
    }
}

}  // namespace
