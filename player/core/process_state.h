// player: the process-wide state of the player, in one visible place.
//
// The player is one user-interface thread; its modules share the paths,
// the main-folder setting, the flags that let a Cancel button or the
// shutdown reach long work, the database connection and the seams. They
// all live in one PlayerProcess, reached through Process(). A test sets up
// what it needs (a clock, dialogs that answer; its own program folder is
// named in CALLDECK_PROGRAM_FOLDER) and ResetProcess() gives the next test
// a fresh one.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "player/core/fixed_text.h"
#include "player/core/playback/media_player.h"
#include "platform/mci/mci.h"
#include "player/core/seams.h"

namespace platform::sqlstore {
class Connection;
class Recordset;
}  // namespace platform::sqlstore

namespace player {

class ParseFileProcess;

struct PlayerProcess {
    // Built by InitPath.
    std::string PlayerLogFolder;
    std::string DatabaseFile;
    std::string MiscConfigFile;
    std::string DecryptTmpFolder;
    // The shared record index's server (site_file.h): a libpq connection
    // string or "service=NAME"; empty when the program keeps Player.mdb.
    std::string SiteServer;
    // Why the last attempt to reach it failed, when that is more than "it
    // cannot be reached" (a line that cannot be read, a server that does
    // not answer), in words that never hold the line; "" otherwise.
    std::string SiteServerTrouble;
    // The recordings' root folder; default "d:\Voc".
    FixedText<255> MainFolder;

    // True while a scan may go on; Cancel and the shutdown clear it.
    bool IsParsing = false;
    // Set by the shutdown (ExitPlayer): a conversion for playback that was
    // waiting when the window closed ends without playing anything.
    bool IsExiting = false;

    // While a rebuild of the record index runs (record_rebuild.h): the
    // first failure of the store itself ("" while none), and the counts of
    // files whose names are no recordings and of folders and files the
    // scan had to pass over. How long a rebuild waits for another one.
    bool IsRebuilding = false;
    std::string StoreFailure;
    std::int32_t ScanNotRecognised = 0;
    std::int32_t ScanSkipped = 0;
    std::chrono::milliseconds RebuildWait{10000};

    // A conversion started by ConvertFile that is not finished yet, and the
    // upper-case extension of the file it converts ("" when none).
    bool IsConverting = false;
    std::string ConvertingType;
    // The first decryption of the run has said what protects the recordings.
    bool SiteKeyNoticeTold = false;
    // The main window's progress bar pbConvert (0-100); empty without one.
    std::function<void(int)> ShowConvertProgress;
    // Told when IsConverting changes, so the window can disable the
    // commands that would start a second conversion; empty without one.
    std::function<void()> ConvertingChanged;
    // A "Pickup All" batch runs and may go on (pick_up_all.h); its Cancel
    // and the shutdown clear it. ConvertingChanged is told when the batch
    // sets and clears it, too.
    bool IsBatchConverting = false;

    // The one database connection; empty until the first ConnectAccess.
    std::shared_ptr<platform::sqlstore::Connection> PlayerConnection;
    // Set once the operator was told that the index is open read-only.
    bool ReadOnlyIndexTold = false;

    // The main window's one result set, bound to its grid: the rows of the
    // last search, whose current row is the selected recording. Empty
    // until the first search; after CloseRst it is empty again.
    std::shared_ptr<platform::sqlstore::Recordset> rsResult;

    // The scan's progress window while one is shown (it counts the files).
    ParseFileProcess* frmParseFileProcess = nullptr;

    // Seams.
    std::function<LocalTime()> Now = SystemNow;
    std::function<void()> PumpEvents = [] {};
    // Run by Delete, DeleteAll and calldeck purge after a recording's file
    // went and before its row goes; empty but in tests, which put another
    // program's writes there.
    std::function<void()> BetweenFileAndRow;
    // The main window's status bar, panel 1; empty while there is none.
    std::function<void(const std::string&)> StatusBarEcho;
    std::shared_ptr<Dialogs> dialogs = std::make_shared<ConsoleDialogs>();
    // The media control interface every MediaPlayer command goes through:
    // the error code (0 = success) and a status's answer in `reply`. Until
    // the program installs platform::mci::SendString, every command finds
    // no audio output and gets an empty reply.
    std::function<std::uint32_t(std::string_view command, std::string& reply)> MciSend =
        [](std::string_view, std::string& reply) {
            reply.clear();
            return platform::mci::kNoAudioOutput;
        };

    // Playback (playback.h). The one media player; whether a converted
    // recording is open in it and whether the position count is held; the
    // recording whose conversion sits in ConvertTemp.wav ("" at start), its
    // length in seconds, its size, its byte rate, and the counted position.
    std::unique_ptr<MediaPlayer> Player = std::make_unique<MediaPlayer>();
    bool IsPlaying = false;
    bool IsPaused = false;
    std::string CurrentRecordFile;
    std::int32_t CurrentDuration = 0;
    std::int32_t CurrentFileSize = 0;
    std::int32_t CurrentByteRate = 0;
    float CurrentPosition = 0;
    // The player block as playback leaves it: sldDuration's maximum and
    // value, txtTime and lblTotalDuration; ShowPlayerBlock (empty without a
    // window) draws it. The window keeps AutoPlayNext with its check box.
    struct PlayerBlock {
        std::int32_t sliderMaximum = 0;
        std::int32_t sliderValue = 0;
        std::string txtTime = "00:00:00";
        std::string lblTotalDuration = "00:00:00";
    } playerBlock;
    std::function<void()> ShowPlayerBlock;
    bool AutoPlayNext = false;
    // Once the count has reached its end while the device still plays the
    // recording's last part: the device's position at the last tick and
    // when it last moved (an output that stalled ends the hold).
    struct EndHold {
        float devicePosition = -1;
        std::chrono::steady_clock::time_point movedAt;
    } endHold;

    // The folders a running scan has entered (device, inode), so that a
    // link back up the tree is not walked again.
    std::set<std::pair<dev_t, ino_t>> scanVisited;
    int scanDepth = 0;
};

PlayerProcess& Process();
// Closes the database and starts over with a fresh state.
void ResetProcess();

// The program folder, without a trailing separator: the folder the
// libraries are loaded from (platform::dynlib::ProgramFolder), so that
// CALLDECK_PROGRAM_FOLDER moves the player's files and its libraries alike.
std::string ProgramFolder();

}  // namespace player
