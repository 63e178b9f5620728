// MediaPlayer against a recording sink: the exact command strings it sends
// for each operation, and what it makes of the replies.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "player/core/playback/media_player.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/testing/recording_sink.h"
#include "player/core/testing/staged_player.h"

using namespace player;
using namespace player::testing;
using Commands = std::vector<std::string>;

namespace {

std::string Q(const std::string& text) { return "\"" + text + "\""; }

// A staged player, a sink, and a recording "call 1.wav" (`wav`; `d` is its
// quoted alias) that exists.
struct Bench {
    StagedPlayer staged{false};
    RecordingSink sink;
    std::string File(const std::string& name) {
        MakeFile(staged.Folder() / name);
        return (staged.Folder() / name).string();
    }
    const std::string wav = File("call 1.wav");
    const std::string d = Q(wav);
    // The reply the sink gives to "Status <d> <what>".
    std::string& Reply(const std::string& what) { return sink.replies["Status " + d + " " + what]; }
};

}  // namespace

TEST(MediaPlayer, SendsEachCommandOfAWavRecordingByteForByte) {
    Bench bench;
    const std::string &wav = bench.wav, &d = bench.d;
    {
        MediaPlayer player;
        player.mmOpen(wav);
        EXPECT_EQ(bench.sink.Take(), (Commands{"Open " + d + " ALIAS " + d + " TYPE Waveaudio",
                                               "set " + d + " time format milliseconds"}))
            << "opening a WAV recording did not send the open and time-format commands";
        EXPECT_EQ(player.filename(), wav);

        bench.Reply("length") = "60000";
        bench.Reply("position") = "1500";
        player.mmPlay();
        EXPECT_EQ(bench.sink.Take(), (Commands{"Status " + d + " length", "Status " + d + " position", "Play " + d}))
            << "play in the middle of a recording must not rewind it";

        bench.Reply("mode") = "playing";
        player.mmPause();
        EXPECT_EQ(bench.sink.Take(), (Commands{"Status " + d + " mode", "Pause " + d}));

        player.mmStop();
        EXPECT_EQ(bench.sink.Take(), (Commands{"Stop " + d, "Seek " + d + " to 0"}))
            << "stop must also go back to the start";

        player.mmSeek(1234);
        EXPECT_EQ(bench.sink.Take(), Commands{"Seek " + d + " to 1234"});

        EXPECT_FALSE(player.Wait()) << "a new player must not wait for the end of the sound";
        player.Wait(true);
        player.mmRestart();
        EXPECT_EQ(bench.sink.Take(), (Commands{"Seek " + d + " to 0", "Status " + d + " length",
                                               "Status " + d + " position", "Play " + d + " wait"}))
            << "restart must rewind and play, waiting when Wait is set";

        player.mmClose();
        EXPECT_EQ(bench.sink.Take(), Commands{"Close " + d});
        EXPECT_EQ(player.filename(), "");
        EXPECT_EQ(player.Length(), 0);
        EXPECT_EQ(player.Status(), "");
        player.mmPlay();
        player.mmClose();
        EXPECT_EQ(bench.sink.Take(), Commands{}) << "a closed player still talked to the device";

        player.filename(wav);
        bench.sink.Take();
    }
    EXPECT_EQ(bench.sink.Take(), Commands{"Close " + d}) << "the device was left open when the player went away";
}

TEST(MediaPlayer, PauseTwiceResumesAndPlayAtTheEndStartsFromTheBeginning) {
    Bench bench;
    const std::string &wav = bench.wav, &d = bench.d;
    MediaPlayer player;
    player.mmOpen(wav);
    bench.Reply("length") = "60000";
    bench.Reply("position") = "20000";
    bench.Reply("mode") = "playing";
    bench.sink.Take();

    player.mmPause();
    bench.Reply("mode") = "paused";
    player.mmPause();
    EXPECT_EQ(bench.sink.Take(), (Commands{"Status " + d + " mode", "Pause " + d, "Status " + d + " mode",
                                           "Status " + d + " length", "Status " + d + " position", "Play " + d}))
        << "the second pause must resume the sound where it stood";

    bench.Reply("position") = "60000";
    player.mmPlay();
    EXPECT_EQ(bench.sink.Take(), (Commands{"Status " + d + " length", "Status " + d + " position",
                                           "Seek " + d + " to 0", "Play " + d}))
        << "play at the end of a recording must start it again from the beginning";
}

TEST(MediaPlayer, ChoosesTheDeviceByExtensionAndPlaysVideoInsideAWindow) {
    Bench bench;
    for (const auto& [name, type] : std::vector<std::pair<std::string, std::string>>{
             {"LOUD.WAV", "Waveaudio"}, {"clip.Avi", "AviVideo"}, {"tune.mid", "Sequencer"}}) {
        const std::string file = bench.File(name), d = Q(file);
        MediaPlayer player;
        bench.sink.Take();
        player.mmOpen(file, 0);
        EXPECT_EQ(bench.sink.Take().at(0), "Open " + d + " ALIAS " + d + " TYPE " + type)
            << name << " was not opened on the device it needs";
    }
    bench.sink.Take();

    const std::string avi = bench.File("clip.avi");
    MediaPlayer player;
    player.mmOpen(avi, 1234);
    EXPECT_EQ(bench.sink.Take(), (Commands{"open " + Q(avi) + " ALIAS " + Q(avi) +
                                               " TYPE AVIVideo parent 1234 style 1073741824",
                                           "set " + Q(avi) + " time format milliseconds"}))
        << "a video with a window was not opened inside that window";

    const std::string text = bench.File("notes.txt");
    player.mmOpen(text);
    EXPECT_EQ(bench.sink.Take(), Commands{"Close " + Q(avi)})
        << "a text file must not be opened as media, and the video before it must be closed";
    EXPECT_EQ(player.filename(), text);
}

TEST(MediaPlayer, AMissingFileOpensNothingAndSaysSoInItsName) {
    Bench bench;
    const std::string& wav = bench.wav;
    const std::string gone = (bench.staged.Folder() / "gone.wav").string();
    MediaPlayer player;
    player.mmOpen(wav);
    bench.sink.Take();
    player.mmOpen(gone);
    EXPECT_EQ(bench.sink.Take(), Commands{"Close " + Q(wav)}) << "a missing recording was handed to the device";
    EXPECT_EQ(player.filename(), "文件" + gone + " 不存在！");
    EXPECT_EQ(player.Length(), 0);
    player.mmPlay();
    EXPECT_EQ(bench.sink.Take(), Commands{}) << "play after a missing recording talked to the device";
}

TEST(MediaPlayer, PositionRoundsHalvesToEvenAndRefusesWhatNoMillisecondCountHolds) {
    Bench bench;
    const std::string& wav = bench.wav;
    MediaPlayer player;
    player.mmOpen(wav);
    bench.sink.Take();
    for (const auto& [asked, sent] : std::vector<std::pair<float, std::string>>{
             {2.5f, "2"}, {3.5f, "4"}, {2.4f, "2"}, {2.6f, "3"}, {-0.5f, "0"}, {-1.5f, "-2"}, {7000.0f, "7000"}}) {
        player.position(asked);
        EXPECT_EQ(bench.sink.Take(), Commands{"Seek " + Q(wav) + " to " + sent})
            << "asking for position " << asked << " went to the wrong millisecond";
    }
    EXPECT_THROW(player.position(3e9f), RunError) << "a position beyond any recording was sent on";
    EXPECT_EQ(bench.sink.Take(), Commands{});
}

TEST(MediaPlayer, ReadsRepliesUpToTheFirstNulAndNumbersFromTheirLeadingDigits) {
    Bench bench;
    const std::string& wav = bench.wav;
    MediaPlayer player;
    player.mmOpen(wav);
    bench.Reply("mode") = std::string("paused\0playing", 14);
    EXPECT_EQ(player.Status(), "paused") << "what follows the end of the reply was read as the mode";
    bench.Reply("mode") = std::string(300, 'x');
    EXPECT_EQ(player.Status(), std::string(254, 'x')) << "a reply longer than its buffer was not cut";

    for (const auto& [reply, number] : std::vector<std::pair<std::string, float>>{
             {std::string("61234\0" "99", 8), 61234}, {"4500 ms", 4500}, {"ms 4500", 0}, {"", 0}}) {
        bench.Reply("length") = reply;
        bench.Reply("position") = reply;
        EXPECT_EQ(player.Length(), number) << "length read wrongly from the reply \"" << reply << "\"";
        EXPECT_EQ(player.position(), number) << "position read wrongly from the reply \"" << reply << "\"";
    }
}

TEST(MediaPlayer, WithoutAnAudioOutputInstalledItReportsNothingPlaying) {
    StagedPlayer staged{false};
    std::string reply = "left over";
    EXPECT_EQ(Process().MciSend("Status \"x.wav\" mode", reply), platform::mci::kNoAudioOutput);
    EXPECT_EQ(reply, "") << "the player answered a status before any audio output was there";
    const std::string wav = (staged.Folder() / "call.wav").string();
    MakeFile(wav);
    MediaPlayer player;
    player.mmOpen(wav);
    EXPECT_EQ(player.filename(), wav);
    EXPECT_EQ(player.Length(), 0) << "a recording that cannot sound was given a length";
    EXPECT_EQ(player.Status(), "") << "a recording that cannot sound was given a mode";
}
