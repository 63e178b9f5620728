// Playback under SDL's disk audio driver: what reached the "device" file is
// compared sample for sample with the WAV's own samples, through a play, a
// pause, a resume, a seek while playing and a play to the end; and a ten-hour
// recording plays without being loaded.
#include <fcntl.h>

#include <chrono>
#include <cmath>
#include <string_view>
#include <thread>

#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>

#include "platform/mci/tests/mci_testing.h"

using namespace mci_testing;
using namespace platform::mci;
using namespace std::chrono_literals;

namespace {

struct Format {
    const char* name;
    uint16_t tag, channels;
    uint32_t rate;
    uint16_t bits;
};

void PrintTo(const Format& f, std::ostream* os) { *os << f.name; }

// A WAV of `seconds` in the given format (for A-law and µ-law, every code
// appears in the first second) whose samples, decoded, are never 0,
// so silence written by the device between plays marks where each play ends;
// and the same samples decoded by the test (spandsp for A-law and µ-law).
struct Recording {
    std::string bytes;
    std::vector<int16_t> samples;
};

Recording MakeRecording(const Format& f, uint32_t seconds) {
    const size_t n = size_t(f.rate) * seconds * f.channels;
    std::string data;
    std::vector<int16_t> samples;
    for (size_t i = 0; i < n; ++i) {
        const double wave = std::sin(double(i) * 0.05) * 0.8 + (i % f.channels) * 0.1;
        if (f.tag == 6 || f.tag == 7) {
            // Every code once first, then a tone.
            uint8_t code = i < 256      ? uint8_t(i)
                           : f.tag == 6 ? linear_to_alaw(int16_t(wave * 20000))
                                        : linear_to_ulaw(int16_t(wave * 20000));
            if (f.tag == 7 && (code == 0xFF || code == 0x7F)) code = 0xFE;  // µ-law's two codes for 0
            data += char(code);
            samples.push_back(f.tag == 6 ? alaw_to_linear(code) : ulaw_to_linear(code));
        } else if (f.bits == 8) {
            uint8_t v = uint8_t(128 + int(wave * 100));
            if (v == 128) v = 129;
            data += char(v);
            samples.push_back(int16_t((v - 128) * 256));
        } else {
            int16_t v = int16_t(wave * 30000);
            if (v == 0) v = 1;
            Put16(data, uint16_t(v));
            samples.push_back(v);
        }
    }
    return {WavHeader(f.tag, f.channels, f.rate, f.bits, uint32_t(data.size())) + data, samples};
}

// The device file's samples split at silence: one run per stretch of play.
std::vector<std::vector<int16_t>> RunsOfSound(const fs::path& device_file) {
    std::ifstream in(device_file, std::ios::binary);
    std::vector<std::vector<int16_t>> runs;
    bool in_run = false;
    int16_t s;
    while (in.read(reinterpret_cast<char*>(&s), 2)) {
        if (s != 0 && !in_run) runs.emplace_back();
        if (s != 0) runs.back().push_back(s);
        in_run = s != 0;
    }
    return runs;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& v, size_t from, size_t count) {
    from = std::min(from, v.size());
    return {v.begin() + long(from), v.begin() + long(std::min(v.size(), from + count))};
}

// "" when the device's samples are the expected ones, else where they part.
std::string Difference(const std::vector<int16_t>& got, const std::vector<int16_t>& expected) {
    if (got == expected) return "";
    size_t i = 0;
    while (i < got.size() && i < expected.size() && got[i] == expected[i]) ++i;
    return "the device received " + std::to_string(got.size()) + " samples where " + std::to_string(expected.size()) +
           " were due; they part at sample " + std::to_string(i);
}

// Waits (5 s at most) until the device's position is past `ms`.
std::string PositionPast(const std::string& alias, unsigned long ms) {
    std::string position = Status(alias, "position");
    for (auto end = std::chrono::steady_clock::now() + 5s;
         std::stoul(position) <= ms && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(5ms);
        position = Status(alias, "position");
    }
    return position;
}

class MciPlayback : public MciTest, public ::testing::WithParamInterface<Format> {};

TEST_P(MciPlayback, TheDeviceReceivesTheRecordingFromEachPlaysPosition) {
    const Format f = GetParam();
    const Recording rec = MakeRecording(f, 4);
    const fs::path wav = dir_ / "call.wav";
    WriteFile(wav, rec.bytes);
    const std::string a = wav.string(), q = "\"" + a + "\"";
    ASSERT_EQ(Send(OpenCommand(wav, a)), kOk) << f.name << " could not be opened";
    ASSERT_EQ(Send("set " + q + " time format milliseconds"), kOk);
    EXPECT_EQ(Status(a, "length"), "4000");
    EXPECT_EQ(Status(a, "mode"), "stopped");

    ASSERT_EQ(Send("Play " + q), kOk);
    ASSERT_NE(PositionPast(a, 0), "0") << "the device did not start playing";
    ASSERT_EQ(Send("Pause " + q), kOk);
    EXPECT_EQ(Status(a, "mode"), "paused");
    const std::string paused_at = Status(a, "position");
    ASSERT_LT(std::stoul(paused_at), 4000u)
        << "the recording ended before the pause; the machine is too slow for this test";
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(Status(a, "position"), paused_at) << "the position moved while paused";

    ASSERT_EQ(Send("Play " + q), kOk);
    ASSERT_NE(PositionPast(a, std::stoul(paused_at)), paused_at) << "the device did not resume after the pause";
    EXPECT_EQ(Status(a, "mode"), "playing");
    ASSERT_EQ(Send("Seek " + q + " to 1500"), kOk);
    EXPECT_EQ(Status(a, "mode"), "stopped") << "a seek while playing should stop at the new position";
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(Status(a, "position"), "1500") << "the device went on after the seek";

    ASSERT_EQ(Send("Play " + q + " wait"), kOk);
    EXPECT_EQ(Status(a, "mode"), "stopped") << "play wait returned before the end";
    EXPECT_EQ(Status(a, "position"), "4000") << "at the end the position should equal the length";
    ASSERT_EQ(Send("Play " + q), kOk);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(Status(a, "position"), "4000") << "play at the end started again by itself";
    ASSERT_EQ(Send("Close " + q), kOk);

    // What the device received: the first play up to the pause, the resumed
    // play from exactly there, then everything from 1.5 s to the end.
    const auto runs = RunsOfSound(device_file_);
    ASSERT_EQ(runs.size(), 3u) << "the device should have sounded three times (play, resume, play from 1.5 s)";
    const size_t first = runs[0].size(), second = runs[1].size();
    EXPECT_EQ(Difference(runs[0], Slice(rec.samples, 0, first)), "") << "the first play did not start at the beginning";
    EXPECT_EQ(std::to_string(first / f.channels * 1000 / f.rate), paused_at)
        << "the paused position is not the sound handed to the device";
    EXPECT_EQ(Difference(runs[1], Slice(rec.samples, first, second)), "")
        << "the resumed play did not continue where it paused";
    const size_t seek_frame = (size_t(1500) * f.rate + 999) / 1000;
    EXPECT_EQ(Difference(runs[2], Slice(rec.samples, seek_frame * f.channels, rec.samples.size())), "")
        << "the play after the seek did not run from 1.5 s to the end";
}

INSTANTIATE_TEST_SUITE_P(Formats, MciPlayback,
                         ::testing::Values(Format{"ALaw8kMono", 6, 1, 8000, 8}, Format{"MuLaw8kMono", 7, 1, 8000, 8},
                                           Format{"Pcm16At8kMono", 1, 1, 8000, 16},
                                           Format{"Pcm16At11025Stereo", 1, 2, 11025, 16},
                                           Format{"Pcm8At22050Mono", 1, 1, 22050, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

// A chunk of odd length is followed by a pad byte: five-byte LIST chunks
// before the format and before the data are stepped over, and the device
// receives the samples from the data's first byte.
TEST_F(MciTest, OddSizedListChunksBeforeTheFormatAndTheDataAreSteppedOver) {
    const Recording rec = MakeRecording(Format{"ALaw8kMono", 6, 1, 8000, 8}, 1);
    const std::string_view info("INFO\x01", 5);
    const std::string audio = rec.bytes.substr(44);
    const fs::path wav = dir_ / "listed.wav";
    WriteFile(wav, Tessel::testing::WavHeader({.tag = 6, .bits = 8, .listBeforeFmt = info, .listBeforeData = info},
                                              uint32_t(audio.size())) +
                       audio);
    ASSERT_EQ(Send(OpenCommand(wav, "listed")), kOk) << "a WAV with LIST chunks of odd length was refused";
    ASSERT_EQ(Send("set \"listed\" time format milliseconds"), kOk);
    EXPECT_EQ(Status("listed", "length"), "1000");
    ASSERT_EQ(Send("Play \"listed\" wait"), kOk);
    ASSERT_EQ(Send("Close \"listed\""), kOk);
    const auto runs = RunsOfSound(device_file_);
    ASSERT_EQ(runs.size(), 1u) << "the device should have sounded once";
    EXPECT_EQ(Difference(runs[0], rec.samples), "") << "the device did not receive the data chunk's samples";
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

TEST_F(MciTest, ATenHourRecordingPlaysWithoutBeingLoaded) {
    // Ten hours of 8 kHz A-law, 288 000 000 bytes, as a sparse file.
    const uint32_t data_bytes = 10u * 3600 * 8000;
    const fs::path wav = dir_ / "ten-hours.wav";
    WriteFile(wav, WavHeader(6, 1, 8000, 8, data_bytes));
    fs::resize_file(wav, 44 + uint64_t(data_bytes));
    WriteFile(dir_ / "short.wav", WavHeader(6, 1, 8000, 8, 800) + std::string(800, '\x55'));
    // The audio output is started once before the baseline.
    ASSERT_EQ(Send(OpenCommand(dir_ / "short.wav", "short")), kOk);
    ASSERT_EQ(Send("Play \"short\" wait"), kOk);
    ASSERT_EQ(Send("Close \"short\""), kOk);
    const long before = ResidentKiB();

    ASSERT_EQ(Send(OpenCommand(wav, "long")), kOk);
    EXPECT_EQ(Status("long", "length"), "36000000");
    ASSERT_EQ(Send("Play \"long\""), kOk);
    EXPECT_GT(std::stoul(PositionPast("long", 500)), 500u)
        << "the ten-hour recording did not play its first half second";
    EXPECT_EQ(Status("long", "mode"), "playing");
    ASSERT_EQ(Send("Seek \"long\" to 35999000"), kOk);
    ASSERT_EQ(Send("Play \"long\" wait"), kOk);
    EXPECT_EQ(Status("long", "position"), "36000000") << "the last second of ten hours did not play to the end";
    const long grown = ResidentKiB() - before;
    EXPECT_LT(grown, 4 * 1024) << "resident memory grew by " << grown << " KiB while playing ten hours";
    ASSERT_EQ(Send("Close \"long\""), kOk);
}

}  // namespace
