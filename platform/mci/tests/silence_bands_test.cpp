// The silence detector on WAV files written here: a tone with a 5-second
// silent middle, a short pause and a silent end, in the converter's A-law and
// in 16-bit stereo; and speech, whose pauses are all shorter than a second.
#include <cmath>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>

#include "codec_framework/testing/signals.h"
#include "platform/mci/silence_bands.h"
#include "platform/mci/tests/mci_testing.h"

using namespace mci_testing;
using namespace platform::mci;

namespace {

struct Layout {
    const char* name;
    uint16_t tag, channels;
    uint32_t rate;
};
constexpr Layout kALaw{"A-law 8 kHz", 6, 1, 8000}, kStereo{"16-bit stereo 16 kHz", 1, 2, 16000};

// Mono samples written in the layout (every channel the same), opened.
WavFile Written(const fs::path& path, const Layout& l, const std::vector<int16_t>& mono) {
    std::string data;
    for (int16_t s : mono)
        for (uint16_t c = 0; c < l.channels; ++c) {
            if (l.tag == 6)
                data += char(linear_to_alaw(s));
            else
                Put16(data, uint16_t(s));
        }
    WriteFile(path, WavHeader(l.tag, l.channels, l.rate, l.tag == 6 ? 8 : 16, uint32_t(data.size())) + data);
    auto wav = WavFile::Open(path.string());
    if (!wav) throw std::runtime_error(path.string() + " could not be opened");
    return std::move(*wav);
}

// Tone (440 Hz at a tenth of full scale) and silence, alternating from a tone, lengths in seconds.
std::vector<int16_t> ToneAndSilence(uint32_t rate, std::initializer_list<double> stretches) {
    std::vector<int16_t> out;
    bool tone = true;
    for (double seconds : stretches) {
        for (size_t i = 0, n = size_t(seconds * rate); i < n; ++i)
            out.push_back(tone ? int16_t(3277 * std::sin(2 * std::numbers::pi * 440 * double(out.size()) / rate)) : 0);
        tone = !tone;
    }
    return out;
}

std::string Describe(const std::vector<SilenceBand>& bands, uint32_t rate) {
    std::ostringstream s;
    for (const SilenceBand& b : bands)
        s << " [" << double(b.firstFrame) / rate << " s, " << double(b.frameCount) / rate << " s long]";
    return bands.empty() ? " none" : s.str();
}

class SilenceBands : public MciTest {};

// Tone 3 s, pause 0.8 s, tone 1.2 s, silence 5 s, tone 5 s, silence 2 s.
TEST_F(SilenceBands, FindTheSilentMiddleAndEndOfAToneButNoPauseShorterThanTheMinimum) {
    for (const Layout& l : {kALaw, kStereo}) {
        WavFile wav = Written(dir_ / "tone.wav", l, ToneAndSilence(l.rate, {3, 0.8, 1.2, 5, 5, 2}));
        const std::vector<SilenceBand> bands = FindSilenceBands(wav);
        const double r = l.rate;
        ASSERT_EQ(bands.size(), 2u) << l.name << ": the silences found were" << Describe(bands, l.rate)
                                    << "; wanted the 5 s from 5 s and the last 2 s";
        // The hangover keeps 100 ms after the tone; the band ends where the tone starts again.
        EXPECT_NEAR(bands[0].firstFrame / r, 5.1, 0.021) << l.name << ": where the silent middle starts";
        EXPECT_NEAR((bands[0].firstFrame + bands[0].frameCount) / r, 10.0, 0.021)
            << l.name << ": where the silent middle ends";
        EXPECT_EQ(bands[1].firstFrame + bands[1].frameCount, wav.Frames())
            << l.name << ": the silence at the end should last to the last frame";
        EXPECT_EQ(FindSilenceBands(wav, 0.5).size(), 3u)
            << l.name << ": with a minimum of half a second the 0.8-second pause should be a band too";
    }
}

TEST_F(SilenceBands, FindNothingInSpeechOrInATone) {
    const std::vector<int16_t> quietSpeech = Tessel::testing::SpeechLike(30, 7, 3000);  // peaks at -21 dBFS
    WavFile speech = Written(dir_ / "speech.wav", kALaw, quietSpeech);
    EXPECT_EQ(Describe(FindSilenceBands(speech), 8000), " none") << "silences found in speech";
    WavFile tone = Written(dir_ / "tone.wav", kStereo, ToneAndSilence(16000, {12}));
    EXPECT_EQ(Describe(FindSilenceBands(tone), 16000), " none") << "silences found in a tone";
}

}  // namespace
