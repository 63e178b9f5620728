// Playback with the timer ticked by the test: what is converted and when,
// what the player is told, how the count runs to its end, the jumps and the
// seeks, the play list's wrapping and AutoPlayNext, and the recordings that
// cannot be played. The media interface is a recording sink, so every
// command the player would have sounded is read back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sqlstore/recordset.h"
#include "player/core/playback/audio_output.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/recording_sink.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using Commands = std::vector<std::string>;

namespace {

// An A-law WAV (8000 bytes a second) of `seconds`, filled with `fill`.
std::string ALawWav(int seconds, char fill) {
    return player::testing::ALawWavHeader(8000u * seconds) + std::string(8000u * seconds, fill);
}

// A staged player whose result set holds the recordings a.wav (3 s), b.wav
// (30 s) and c.wav (12 s), in that order, with the media interface a sink.
class Playing : public ::testing::Test {
protected:
    void SetUp() override {
        staged_.Start();
        const std::vector<std::pair<std::string, int>> calls{{"a.wav", 3}, {"b.wav", 30}, {"c.wav", 12}};
        fs::create_directories(staged_.Folder() / "calls");
        int minute = 0;
        for (const auto& [name, seconds] : calls) {
            std::ofstream(Call(name), std::ios::binary) << ALawWav(seconds, char('a' + minute));
            InsertFileInfo({true, Call(name), "2024-05-06 10:0" + std::to_string(minute++) + ":00", "0001", "555",
                            "00:00:01", "IN"});
        }
        Process().rsResult = GetRecordset(kShowAllRecordStatement);
        Process().rsResult->MoveFirst();
        // A device that is not at its end, so a play is only a play.
        sink_.replies["Status " + Q(Temp()) + " length"] = "99000";
    }
    std::string Call(const std::string& name) const { return (staged_.Folder() / "calls" / name).string(); }
    std::string Temp() const { return ConvertTempFile(); }
    std::string Q(const std::string& s) const { return "\"" + s + "\""; }
    // The commands an open and play of ConvertTemp.wav from `ms` sends.
    Commands OpenAndPlay(int ms) const {
        const std::string t = Q(Temp());
        return {"Open " + t + " ALIAS " + t + " TYPE Waveaudio", "set " + t + " time format milliseconds",
                "Seek " + t + " to " + std::to_string(ms), "Status " + t + " length", "Status " + t + " position",
                "Play " + t};
    }
    Commands StopAndClose() const {
        const std::string t = Q(Temp());
        return {"Stop " + t, "Seek " + t + " to 0", "Close " + t};
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) Tick();
    }
    // Which recording ConvertTemp.wav holds (by its fill byte), or "none".
    std::string Holds() const {
        const std::string wav = ReadBytes(Temp());
        return wav.size() <= 44 ? "none" : std::string(1, wav[44]) + ".wav";
    }

    StagedPlayer staged_;
    RecordingSink sink_;
};

}  // namespace

TEST_F(Playing, TheSameRowPlaysAgainWithoutConvertingAndAnotherRowIsConvertedFirst) {
    const mode_t umaskBefore = ::umask(022);
    PlayCurrent();
    ::umask(umaskBefore);
    EXPECT_EQ(fs::status(Temp()).permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << "ConvertTemp.wav, which may hold a decrypted call, is readable by other users";
    PlayerProcess& p = Process();
    EXPECT_EQ(sink_.Take(), OpenAndPlay(0)) << "the selected row was not opened and played from the start";
    EXPECT_EQ(Holds(), "a.wav");
    EXPECT_TRUE(p.IsPlaying);
    EXPECT_EQ(p.CurrentRecordFile, Call("a.wav"));
    EXPECT_EQ(p.CurrentDuration, 3);
    EXPECT_EQ(p.CurrentFileSize, 44 + 3 * 8000);
    EXPECT_EQ(p.CurrentByteRate, 8000);
    EXPECT_EQ(p.playerBlock.sliderMaximum, 3);

    // Mark the converted copy: a second play of the row must reuse it.
    std::ofstream(Temp(), std::ios::binary | std::ios::app) << "mark";
    PlayCurrent();
    EXPECT_EQ(ReadBytes(Temp()).substr(ReadBytes(Temp()).size() - 4), "mark") << "playing the loaded row converted it again";
    Commands again{"Close " + Q(Temp())};
    for (const auto& c : OpenAndPlay(0)) again.push_back(c);
    EXPECT_EQ(sink_.Take(), again) << "playing the loaded row again did not reopen it and play it from the start";

    PlayNext();
    EXPECT_EQ(Holds(), "b.wav") << "the next row was not converted before it played";
    EXPECT_EQ(p.CurrentDuration, 30);
}

TEST_F(Playing, NextAndPreviousWrapAroundTheResultAndAnEmptyResultPlaysNothing) {
    PlayPrevious();
    EXPECT_EQ(Process().CurrentRecordFile, Call("c.wav")) << "previous on the first row did not play the last";
    PlayNext();
    EXPECT_EQ(Process().CurrentRecordFile, Call("a.wav")) << "next on the last row did not play the first";
    PlayNext();
    EXPECT_EQ(Process().CurrentRecordFile, Call("b.wav"));

    StopPlay();
    sink_.Take();
    Process().rsResult = GetRecordset("select * from RecordFileInfo where CallNumber = 'none'");
    PlayNext(), PlayPrevious(), PlayCurrent();
    Process().rsResult->Close();
    PlayNext(), PlayPrevious(), PlayCurrent();
    EXPECT_TRUE(sink_.Take().empty()) << "next, previous or play did something with no result";
    EXPECT_FALSE(Process().IsPlaying);
}

TEST_F(Playing, TheCountEndsHalfASecondEarlyButWaitsForTheDeviceAndAutoPlayNextPlaysTheNextRow) {
    PlayCurrent();  // a.wav, 3 seconds
    Ticks(25);
    EXPECT_TRUE(Process().IsPlaying) << "a 3-second recording ended before 2.5 seconds were counted";
    EXPECT_EQ(Process().playerBlock.sliderValue, 2) << "2.5 seconds should show as 2 (halves to even)";
    EXPECT_EQ(Process().playerBlock.txtTime, "00:00:02");
    EXPECT_EQ(Process().playerBlock.lblTotalDuration, "00:00:03");
    Tick();
    EXPECT_FALSE(Process().IsPlaying) << "a 3-second recording still played after 2.6 seconds were counted";
    EXPECT_EQ(Process().playerBlock.sliderValue, 0);
    Ticks(10);
    EXPECT_FALSE(Process().IsPlaying) << "without AutoPlayNext the next row started";

    // A device still playing the call's last part holds the count at the end.
    const std::string mode = "Status " + Q(Temp()) + " mode";
    sink_.replies[mode] = "playing";
    PlayCurrent();
    Ticks(40);
    EXPECT_TRUE(Process().IsPlaying) << "the counted end stopped a device that still played the call";
    EXPECT_EQ(Process().playerBlock.txtTime, "00:00:03") << "the held end should show the whole length";
    sink_.replies.erase(mode);
    Tick();
    EXPECT_FALSE(Process().IsPlaying) << "the device's end did not end the recording";

    Process().AutoPlayNext = true;
    Process().rsResult->MoveLast();
    PlayCurrent();  // c.wav: after it, the list goes round to a.wav
    Ticks(116);
    EXPECT_EQ(Process().CurrentRecordFile, Call("a.wav")) << "AutoPlayNext did not go round to the first row";
    EXPECT_TRUE(Process().IsPlaying);
    EXPECT_LT(Process().CurrentPosition, 0.2f) << "the next row did not start from its beginning";
}

TEST_F(Playing, JumpsAndSeeksStayInsideTheRecordingAndPauseHoldsTheCount) {
    Process().rsResult->MoveNext();
    PlayCurrent();  // b.wav, 30 seconds
    Ticks(55);
    sink_.Take();
    const std::string t = Q(Temp());

    SeekBy(10);  // the count stands just below 5.5: 15
    Commands restart = StopAndClose();
    for (const auto& c : OpenAndPlay(15000)) restart.push_back(c);
    restart.insert(restart.end(), {"Status " + t + " length", "Status " + t + " position", "Play " + t});
    EXPECT_EQ(sink_.Take(), restart) << "forward did not restart the recording 10 seconds on";
    EXPECT_EQ(Process().CurrentPosition, 15.0f);
    EXPECT_EQ(Process().playerBlock.txtTime, "00:00:15") << "the play time after a jump waits for the next tick";
    SeekBy(-10);
    EXPECT_EQ(Process().CurrentPosition, 5.0f);
    sink_.Take();
    SeekBy(-10);  // below 1
    SeekBy(10), SeekBy(10);  // 15, 25
    sink_.Take();
    SeekBy(10);  // 35 is past the end
    SeekPlay(0);
    EXPECT_EQ(Process().CurrentPosition, 25.0f) << "a jump past the end or a seek to 0 moved the position";
    EXPECT_TRUE(Process().IsPlaying);
    const Commands playOn{"Status " + t + " length", "Status " + t + " position", "Play " + t,
                          "Status " + t + " length", "Status " + t + " position", "Play " + t};
    EXPECT_EQ(sink_.Take(), playOn) << "a jump or seek that moves nothing should only tell the player to play on";

    PausePlay();
    EXPECT_EQ(sink_.Take(), (Commands{"Status " + t + " mode", "Pause " + t}));
    Ticks(30);
    EXPECT_EQ(Process().CurrentPosition, 25.0f) << "the count moved while paused";
    SeekPlay(0);  // the slider let go at 0: nothing restarts, the count stays held
    EXPECT_TRUE(Process().IsPaused);
    EXPECT_TRUE(sink_.Take().empty()) << "a seek to 0 while paused told the player something";
    SeekPlay(5);  // let go at 5: the recording restarts there
    EXPECT_FALSE(Process().IsPaused);
    EXPECT_EQ(Process().CurrentPosition, 5.0f);
    ResumePlay();
    Ticks(10);
    EXPECT_NEAR(Process().CurrentPosition, 6.0, 1e-4) << "the count did not go on after the restart at 5 s";
}

TEST_F(Playing, AMissingRecordingIsNeverPlayedUnderItsNameAndAFailedConversionIsNotReused) {
    PlayCurrent();  // a.wav is loaded and playing
    fs::remove(Call("b.wav"));
    sink_.Take();
    PlayNext();
    const std::string said = "!PlayRecordFile The recording [" + Call("b.wav") + "] is missing; nothing is played.";
    EXPECT_EQ(staged_.LogMessages().back(), said);
    EXPECT_EQ(staged_.echoes.back(), " RunLog : <2024-05-06 12:30:45>" + said) << "the status bar did not say the recording is missing";
    EXPECT_FALSE(Process().IsPlaying);
    EXPECT_EQ(sink_.Take(), StopAndClose()) << "the earlier recording went on, or something else was opened";

    // A row that converts to nothing leaves no copy behind that the loaded
    // row's next play could take for its own: a.wav converts again.
    std::ofstream(Call("x.xyz")) << "not a recording";
    EXPECT_FALSE(PlayRecordFile(Call("x.xyz"), 0));
    EXPECT_EQ(Holds(), "none");
    EXPECT_TRUE(PlayRecordFile(Call("a.wav"), 0)) << "the loaded recording could not be played after a failed one";
    EXPECT_EQ(Holds(), "a.wav");

    // While another conversion runs (its wait lets clicks through), a row
    // that needs converting is refused and the copy is left alone.
    Process().IsConverting = true;
    EXPECT_FALSE(PlayRecordFile(Call("c.wav"), 0));
    Process().IsConverting = false;
    EXPECT_EQ(Holds(), "a.wav");
    EXPECT_EQ(staged_.LogMessages().back(),
              "!PlayRecordFile a conversion is running already; [" + Call("c.wav") + "] is not played");
}

TEST_F(Playing, WithoutAudioOutputTheCountRunsAndTheReasonIsLoggedOnce) {
    setenv("SDL_AUDIODRIVER", "no-such-sound-system", 1);
    UseAudioOutput();
    PlayCurrent();
    PlayNext();
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_TRUE(Process().IsPlaying) << "a machine without sound stopped the play count";
    Ticks(15);
    EXPECT_EQ(Process().playerBlock.txtTime, "00:00:02") << "the play count did not run without sound";
    const auto messages = staged_.LogMessages();
    const auto told = std::count_if(messages.begin(), messages.end(), [](const std::string& m) {
        return m.starts_with("No audio output (") && m.ends_with("); recordings play without sound.");
    });
    EXPECT_EQ(told, 1) << "the missing audio output should be logged once, with its reason";
}
