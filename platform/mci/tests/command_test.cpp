// The command strings: every form the player sends is taken, anything else is
// refused with its code, several aliases live side by side, and thousands of
// mutated commands never bring the layer down.
#include <algorithm>
#include <random>
#include <set>

#include "platform/mci/tests/mci_testing.h"

using namespace mci_testing;
using namespace platform::mci;

namespace {

// One second of 8 kHz A-law.
std::string ShortALaw(uint32_t ms = 1000) {
    const uint32_t bytes = 8 * ms;
    return WavHeader(6, 1, 8000, 8, bytes) + std::string(bytes, '\xD5');
}

class MciCommand : public MciTest {};

TEST_F(MciCommand, EveryFormThePlayerSendsIsTakenInAnyLetterCase) {
    const fs::path wav = dir_ / "call 1.wav";
    WriteFile(wav, ShortALaw());
    const std::string a = wav.string(), q = "\"" + a + "\"";
    std::string reply;
    for (const std::string& c :
         {OpenCommand(wav, a), "set " + q + " time format milliseconds", "SET " + q + " Time Format MilliSeconds",
          "Play " + q, "Pause " + q, "play " + q, "Stop " + q, "Seek " + q + " to 250", "seek " + q + "  to  0",
          "Play " + q + " wait", "PLAY " + q + " WAIT", "set " + q + " speed 1500", "SET " + q + " Speed 1000",
          "set " + q + " volume 0", "set " + q + " VOLUME 2000", "set " + q + " skip silence on",
          "Set " + q + " Skip Silence OFF", "Status " + q + " skips", "status " + q + " PEAK", "Close " + q,
          "open " + q + " alias " + q + " type waveaudio", "close " + q}) {
        EXPECT_EQ(Send(c, &reply), kOk) << "the player's command was refused: " << c;
    }
    ASSERT_EQ(Send(OpenCommand(wav, a)), kOk);
    EXPECT_EQ(Send("Status " + q + " length", &reply), kOk);
    EXPECT_EQ(reply, "1000") << "one second of sound should be 1000 ms long";
    EXPECT_EQ(Send("status " + q + " POSITION", &reply), kOk);
    EXPECT_EQ(reply, "0") << "a device just opened should stand at the start";
    EXPECT_EQ(Send("Status " + q + " mode", &reply), kOk);
    EXPECT_EQ(reply, "stopped");
    EXPECT_EQ(Send("Seek " + q + " to 4000000000", &reply), kOk);
    EXPECT_EQ(Status(a, "position"), "1000") << "a seek past the end should stop at the end";
    EXPECT_EQ(Send("Play " + q), kOk);
    EXPECT_EQ(Status(a, "mode"), "stopped") << "play at the end must not start again from the beginning";
}

TEST_F(MciCommand, WhatIsNotACommandOfThePlayerIsRefusedWithItsCode) {
    const fs::path wav = dir_ / "a.wav";
    WriteFile(wav, ShortALaw());
    ASSERT_EQ(Send(OpenCommand(wav, "a")), kOk);
    for (const std::string& c :
         std::vector<std::string>{"",
                                  " ",
                                  "Play",
                                  "Play a",
                                  "Play \"a\" now",
                                  "Play \"a\" wait wait",
                                  "Play \"a",
                                  "Play \"\"",
                                  "Play\"a\"",
                                  "Play \"a\"wait",
                                  "Seek \"a\" to",
                                  "Seek \"a\" to -1",
                                  "Seek \"a\" to 1.5",
                                  "Seek \"a\" to 4294967296",
                                  "Seek \"a\" 10",
                                  "Seek \"a\" to 0x10",
                                  "Status \"a\"",
                                  "Status \"a\" volume",
                                  "Status \"a\" length position",
                                  "set \"a\" time format frames",
                                  "set \"a\" time format",
                                  "Close \"a\" \"a\"",
                                  "Resume \"a\"",
                                  "Open \"x.wav\" ALIAS \"x\"",
                                  "Open \"x.wav\" TYPE Waveaudio",
                                  "Open \"x.wav\" ALIAS x TYPE Waveaudio",
                                  "Open \"x.wav\" ALIAS \"x\" TYPE \"Waveaudio\"",
                                  "open \"x.avi\" ALIAS \"x\" TYPE AVIVideo parent style 1073741824",
                                  "open \"x.avi\" ALIAS \"x\" TYPE AVIVideo parent 12 style",
                                  std::string("Play \"a\"\0 wait", 14),
                                  "Stop \"a\" \"b\"",
                                  "Pause a\"\""}) {
        EXPECT_EQ(Send(c), kUnknownCommand) << "a malformed command was not refused as unknown: [" << c << "]";
    }
    EXPECT_EQ(Send("Play \"b\""), kUnknownAlias) << "nothing is open under b";
    EXPECT_EQ(Send("Status \"A\" mode"), kUnknownAlias) << "aliases are matched exactly";
    EXPECT_EQ(Send(OpenCommand(wav, "a")), kAliasInUse) << "a second open under the same alias";
    EXPECT_EQ(Send(OpenCommand(dir_ / "clip.avi", "v", "AviVideo")), kUnsupportedDevice);
    EXPECT_EQ(
        Send("open \"" + (dir_ / "clip.avi").string() + "\" ALIAS \"v\" TYPE AVIVideo parent 4660 style 1073741824"),
        kUnsupportedDevice)
        << "the video-in-a-window open should be understood and answered as unsupported";
    EXPECT_EQ(Send(OpenCommand(dir_ / "tune.mid", "m", "Sequencer")), kUnsupportedDevice);
    EXPECT_EQ(Send("Status \"v\" mode"), kUnknownAlias) << "an unsupported open must leave nothing open";
    EXPECT_EQ(Send(OpenCommand(dir_ / "missing.wav", "m")), kCannotReadFile);
}

TEST_F(MciCommand, DamagedWavFilesAreRefusedNeverReadPastTheirEnd) {
    const std::string good = ShortALaw();
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string fmt_past_end = good.substr(0, 16);
    Put32(fmt_past_end, 4000);  // "fmt " says 4000 bytes follow
    fmt_past_end += good.substr(20);
    std::string data_past_end = good;
    data_past_end[40] = '\x41', data_past_end[41] = '\x1F';  // data says 8001 bytes, the file holds 8000
    std::string no_data = good.substr(0, 36);
    std::string mp3 = WavHeader(0x55, 1, 8000, 0, 100) + std::string(100, '\x11');
    std::string bits12 = WavHeader(1, 1, 8000, 12, 100) + std::string(100, '\x11');
    std::string no_channels = WavHeader(1, 0, 8000, 16, 100) + std::string(100, '\x11');
    std::string not_riff = good;
    not_riff[0] = 'X';
    for (const Case& c : {Case{"an empty file", ""}, Case{"a header cut short", good.substr(0, 30)},
                          Case{"a format chunk running past the end", fmt_past_end},
                          Case{"a data chunk running past the end", data_past_end}, Case{"no data chunk", no_data},
                          Case{"an MP3 format", mp3}, Case{"12-bit samples", bits12}, Case{"no channels", no_channels},
                          Case{"no RIFF mark", not_riff}}) {
        WriteFile(dir_ / "bad.wav", c.bytes);
        EXPECT_EQ(Send(OpenCommand(dir_ / "bad.wav", "bad")), kCannotReadFile)
            << "a WAV with " << c.what << " was opened";
        Send("Close \"bad\"");
    }
    EXPECT_EQ(Send(OpenCommand(dir_, "dir")), kCannotReadFile) << "a folder was opened as a WAV";
}

TEST_F(MciCommand, SeveralAliasesAreOpenAtOnceEachWithItsOwnFile) {
    for (uint32_t ms : {500u, 1000u, 1500u}) WriteFile(dir_ / (std::to_string(ms) + ".wav"), ShortALaw(ms));
    for (uint32_t ms : {500u, 1000u, 1500u})
        ASSERT_EQ(Send(OpenCommand(dir_ / (std::to_string(ms) + ".wav"), "d" + std::to_string(ms))), kOk);
    for (uint32_t ms : {500u, 1000u, 1500u})
        EXPECT_EQ(Status("d" + std::to_string(ms), "length"), std::to_string(ms))
            << "each alias should keep its own file";
    ASSERT_EQ(Send("Seek \"d1000\" to 700"), kOk);
    ASSERT_EQ(Send("Play \"d500\" wait"), kOk);
    EXPECT_EQ(Status("d500", "position"), "500");
    EXPECT_EQ(Status("d1000", "position"), "700") << "playing one alias moved another";
    EXPECT_EQ(Status("d1500", "position"), "0") << "playing one alias moved another";
    ASSERT_EQ(Send("Close \"d1000\""), kOk);
    EXPECT_EQ(Send("Status \"d1000\" length"), kUnknownAlias) << "a closed alias still answers";
    EXPECT_EQ(Status("d1500", "length"), "1500") << "closing one alias disturbed another";
    EXPECT_EQ(Send(OpenCommand(dir_ / "500.wav", "d1000")), kOk) << "a closed alias cannot be used again";
    EXPECT_EQ(Status("d1000", "length"), "500");
}

// Mutations of the player's commands (bytes changed, added, dropped, cut):
// every answer is one of the layer's codes, a reply only with success, and
// the device opened before is still there and intact afterwards.
TEST_F(MciCommand, ThousandsOfMutatedCommandsAreAnsweredWithoutHarm) {
    const fs::path wav = dir_ / "a.wav";
    WriteFile(wav, ShortALaw());
    ASSERT_EQ(Send(OpenCommand(wav, "a")), kOk);
    const std::string missing = (dir_ / "none.wav").string();
    const std::vector<std::string> seeds = {
        "Open \"" + missing + "\" ALIAS \"" + missing + "\" TYPE Waveaudio",
        "open \"" + missing + "\" ALIAS \"v\" TYPE AVIVideo parent 4660 style 1073741824",
        "set \"a\" time format milliseconds",
        "Play \"a\"",
        "Pause \"a\"",
        "Stop \"a\"",
        "Seek \"a\" to 500",
        "Status \"a\" length",
        "Status \"a\" position",
        "Status \"a\" mode"};
    const std::set<uint32_t> codes = {
        kOk, kUnknownCommand, kUnknownAlias, kUnsupportedDevice, kCannotReadFile, kNoAudioOutput, kAliasInUse};
    std::mt19937 random(13);
    const std::string alphabet = "\" aAsStToOpPw0123456789\t\x01\xff";
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string c = seeds[random() % seeds.size()];
        for (int edits = 1 + int(random() % 3); edits > 0 && !c.empty(); --edits) {
            size_t at = random() % c.size();
            switch (random() % 4) {
            case 0: c[at] = alphabet[random() % alphabet.size()]; break;
            case 1: c.insert(at, 1, alphabet[random() % alphabet.size()]); break;
            case 2: c.erase(at, 1); break;
            default: c.resize(at); break;
            }
        }
        std::string reply = "old";
        uint32_t code = SendString(c, reply);
        ASSERT_TRUE(codes.count(code)) << "the command [" << c << "] got the unknown code " << code;
        if (code != kOk) {
            ASSERT_EQ(reply, "") << "a refused command left a reply: [" << c << "]";
        }
        accepted += code == kOk;
    }
    EXPECT_GT(accepted, 100) << "the mutations should still reach the devices now and then";
    EXPECT_LT(accepted, 15000) << "too many mutated commands were accepted";
    ASSERT_EQ(Send("Stop \"a\""), kOk);
    EXPECT_EQ(Status("a", "length"), "1000") << "the open device was damaged by the mutated commands";
}

}  // namespace
