// Playing at another speed under SDL's disk audio driver: what reached the
// "device" is timed by its samples and its pitch measured by zero crossings,
// and the position still counts the recording's own milliseconds.
#include <cmath>
#include <numbers>

#include "platform/mci/tests/mci_testing.h"

using namespace mci_testing;
using namespace platform::mci;

namespace {

// The samples the device received from its first sound to its last.
std::vector<int16_t> Sounded(const fs::path& device_file) {
    std::ifstream in(device_file, std::ios::binary);
    std::vector<int16_t> samples;
    int16_t s;
    while (in.read(reinterpret_cast<char*>(&s), 2)) samples.push_back(s);
    const auto first = std::find_if(samples.begin(), samples.end(), [](int16_t v) { return v != 0; });
    const auto last = std::find_if(samples.rbegin(), samples.rend(), [](int16_t v) { return v != 0; }).base();
    return first < last ? std::vector<int16_t>(first, last) : std::vector<int16_t>{};
}

// Rising zero crossings per second over the middle half.
double Frequency(const std::vector<int16_t>& s, uint32_t rate) {
    const size_t from = s.size() / 4, to = s.size() * 3 / 4;
    size_t rises = 0;
    for (size_t i = from + 1; i < to; ++i) rises += s[i - 1] < 0 && s[i] >= 0;
    return double(rises) * rate / double(to - from);
}

}  // namespace

TEST_F(MciTest, AtTwiceTheSpeedATwentySecondToneSoundsForTenSecondsAtItsOwnPitch) {
    constexpr uint32_t kRate = 8000;
    constexpr double kTone = 440;
    std::string data;
    for (uint32_t i = 0; i < 20 * kRate; ++i)
        Put16(data, uint16_t(int16_t(12000 * std::sin(2 * std::numbers::pi * kTone * i / kRate))));
    const fs::path wav = dir_ / "tone.wav";
    WriteFile(wav, WavHeader(1, 1, kRate, 16, uint32_t(data.size())) + data);
    ASSERT_EQ(Send(OpenCommand(wav, "tone")), kOk);
    EXPECT_EQ(Send("set \"tone\" speed 2001"), kOutOfRange) << "a speed above 2x was taken";
    EXPECT_EQ(Send("set \"tone\" speed 499"), kOutOfRange) << "a speed below 0.5x was taken";
    EXPECT_EQ(Send("set \"tone\" speed fast"), kUnknownCommand);
    ASSERT_EQ(Send("set \"tone\" speed 2000"), kOk);
    ASSERT_EQ(Send("Play \"tone\" wait"), kOk);
    EXPECT_EQ(Status("tone", "position"), "20000") << "at the end the position should be the recording's length";
    ASSERT_EQ(Send("Close \"tone\""), kOk);

    const std::vector<int16_t> heard = Sounded(device_file_);
    const double seconds = double(heard.size()) / kRate;
    EXPECT_NEAR(seconds, 10.0, 0.5) << "at 2x the 20-second tone sounded for " << seconds << " s";
    const double frequency = Frequency(heard, kRate);
    EXPECT_NEAR(frequency, kTone, kTone * 0.02) << "at 2x the " << kTone << " Hz tone sounded at " << frequency << " Hz";
}
