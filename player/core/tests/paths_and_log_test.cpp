// Paths, the main-folder setting, the run log and the utilities.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/dynlib/dynlib.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/paths.h"
#include "player/core/playback/playback.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/search_conditions.h"
#include "player/core/state_folder.h"
#include "player/core/run_log.h"
#include "player/core/testing/staged_player.h"
#include "player/core/testing/unwritable_file.h"
#include "player/core/file_utilities.h"
#include "player/core/text.h"

namespace fs = std::filesystem;
using namespace player;
using player::testing::StagedPlayer;

namespace {

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace

TEST(FirstStart, CreatesTheLogFolderAndASettingsFileHoldingTheDefaultFolder) {
    StagedPlayer staged;
    InitPath();
    const fs::path folder = staged.Folder();
    EXPECT_EQ(Process().PlayerLogFolder, (folder / "PlayerLog").string());
    EXPECT_EQ(Process().DatabaseFile, (folder / "Player.mdb").string());
    EXPECT_EQ(Process().MiscConfigFile, (folder / "PlayerMisc.cfg").string());
    EXPECT_EQ(Process().DecryptTmpFolder, (folder / "decryptTmp").string());
    EXPECT_TRUE(fs::is_directory(folder / "PlayerLog")) << "the log folder was not created";
    EXPECT_FALSE(fs::exists(folder / "decryptTmp")) << "the decryption folder is made on first use only";
    EXPECT_EQ(ReadAll(folder / "PlayerMisc.cfg"), "d:\\Voc" + std::string(255 - 6, ' '))
        << "the settings file must be one 255-byte record, blank-padded";
    WriteRunLog("Player Startup!");
    EXPECT_EQ(staged.LogLines(), std::vector<std::string>{"<2024-05-06 12:30:45>Player Startup!"});
}

// Phone numbers, who heard which call and the calls' audio are no other
// user's business: under umask 022 the state a start makes is 0600/0700,
// and an index an older copy left world-readable is narrowed, once, with a
// line saying so.
TEST(FirstStart, WhatThePlayerWritesIsTheUsersOwnWhateverTheUmask) {
    StagedPlayer staged;
    const mode_t umaskBefore = ::umask(022);
    const fs::path folder = staged.Folder();
    fs::permissions(folder / "Player.mdb", fs::perms(0644));
    InitPath();
    WriteRunLog("Player Startup!");
    Audit("play", AuditRowFor((folder / "a.wav").string()), {}, "started");
    ::umask(umaskBefore);
    const auto modeOf = [](const fs::path& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    };
    const std::vector<std::pair<fs::path, int>> wanted{
        {"Player.mdb", 0600}, {"PlayerMisc.cfg", 0600}, {"PlayerLog", 0700}, {"PlayerLog/Runlog2024-05-06.txt", 0600},
        {"PlayerAudit", 0700}, {"PlayerAudit/audit.lock", 0600}};
    for (const auto& [name, mode] : wanted)
        EXPECT_EQ(modeOf(folder / name), mode) << name << " is readable by other users (mode " << std::oct
                                               << modeOf(folder / name) << ")";
    for (const auto& day : fs::directory_iterator(folder / "PlayerAudit"))
        EXPECT_EQ(modeOf(day.path()), 0600) << day.path().filename() << " is readable by other users";
    EXPECT_EQ(staged.LogMessages().front(), "Made private what other users could read: Player.mdb")
        << "narrowing the index was not logged";
}

TEST(FirstStart, ASettingsRecordOfBlanksOrNulsMeansTheDefaultAndAStoredFolderIsKept) {
    for (const std::string& record : {std::string(255, ' '), std::string(255, '\0'), std::string("  \0 \0", 5)}) {
        StagedPlayer staged;
        WriteAll(staged.Folder() / "PlayerMisc.cfg", record);
        InitPath();
        EXPECT_EQ(MyTrim(Process().MainFolder.str()), "d:\\Voc");
    }
    StagedPlayer staged;
    WriteAll(staged.Folder() / "PlayerMisc.cfg", "/srv/calls" + std::string(245, ' '));
    InitPath();
    EXPECT_EQ(MyTrim(Process().MainFolder.str()), "/srv/calls");
}

TEST(FirstStart, AFailureIsShownInAMessageBoxAndThePathsAreStillThere) {
    StagedPlayer staged;
    WriteAll(staged.Folder() / "PlayerLog", "a file where the log folder belongs");
    InitPath();
    ASSERT_EQ(staged.dialogs->asked.size(), 1u) << "no message box was shown";
    EXPECT_EQ(staged.dialogs->asked[0], "!InitPath File exists");
    EXPECT_EQ(Process().DatabaseFile, (staged.Folder() / "Player.mdb").string())
        << "a log folder that cannot be made must not leave the database unnamed";
}

TEST(ProgramFolder, AStagedFolderHoldsThePlayersFilesAndTheLibrariesItLoadsAndIsLeftAsItWas) {
    setenv("CALLDECK_PROGRAM_FOLDER", "/opt/calldeck-elsewhere", 1);
    {
        StagedPlayer staged;
        WriteAll(staged.Folder() / "Probe.so", "");
        InitPath();
        EXPECT_EQ(Process().DatabaseFile, (staged.Folder() / "Player.mdb").string())
            << "the player does not look for its index in the staged folder";
        EXPECT_EQ(platform::dynlib::FindInProgramFolder("Probe.dll"), staged.Folder() / "Probe.so")
            << "a library beside the staged player's files is not found there";
    }
    const char* after = std::getenv("CALLDECK_PROGRAM_FOLDER");
    EXPECT_STREQ(after, "/opt/calldeck-elsewhere") << "the program folder named before the test was not given back";
    unsetenv("CALLDECK_PROGRAM_FOLDER");
    { StagedPlayer staged; }
    EXPECT_EQ(std::getenv("CALLDECK_PROGRAM_FOLDER"), nullptr) << "a staged folder was still named after the test";
}

// An installed copy (the marker in its program folder) writes its index,
// setting, logs and played WAV into the user's folder, which its first
// start makes with the installed empty index; later starts keep that
// index; the program folder is left exactly as it was.
TEST(InstalledCopy, KeepsEverythingItWritesInTheUsersDataFolder) {
    StagedPlayer staged;
    const fs::path program = staged.Folder();
    WriteAll(program / kInstalledMarker, "");
    auto listing = [&] {
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(program))
            files.push_back(e.path().string() + " " + std::to_string(e.is_regular_file() ? e.file_size() : 0));
        std::sort(files.begin(), files.end());
        return files;
    };
    const auto before = listing();
    char pattern[] = "/tmp/calldeck-home-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path home = pattern, user = home / "data" / kStateFolderName;
    const char* previous = std::getenv("XDG_DATA_HOME");
    const std::string kept = previous ? previous : "";
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);

    staged.Start();
    EXPECT_EQ(Process().DatabaseFile, (user / "Player.mdb").string());
    EXPECT_EQ(Process().PlayerLogFolder, (user / "PlayerLog").string());
    EXPECT_EQ(Process().MiscConfigFile, (user / "PlayerMisc.cfg").string());
    EXPECT_EQ(Process().DecryptTmpFolder, (user / "decryptTmp").string());
    EXPECT_EQ(ConvertTempFile(), (user / "ConvertTemp.wav").string());
    for (int n = 0; n < 3; ++n)
        player::testing::MakeFile(home / "calls" / player::testing::CallName(n), 8000);
    EXPECT_EQ(RebuildRecordIndex((home / "calls").string()), 3) << "the user's first index could not be filled";
    WriteRunLog("a line of the user's run log");

    CloseAccess();
    staged.Start();
    EXPECT_EQ(GetRecordset(kShowAllRecordStatement)->RecordCount(), 3)
        << "the second start replaced the user's index with the empty one";
    EXPECT_EQ(ReadAll(user / "PlayerMisc.cfg").substr(0, (home / "calls").string().size()), (home / "calls").string());
    EXPECT_TRUE(fs::exists(user / "PlayerLog" / "Runlog2024-05-06.txt")) << "the run log is not in the user's folder";
    CloseAccess();
    EXPECT_EQ(listing(), before) << "the installed program folder was written to";

    if (previous) setenv("XDG_DATA_HOME", kept.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    fs::remove_all(home);
}

TEST(MainFolderSetting, IsCutAt255BytesWithoutSplittingACharacterAndRoundTrips) {
    StagedPlayer staged;
    InitPath();
    std::string longName = std::string(254, 'a') + "\xC3\xA9";  // é straddles byte 255
    Process().MainFolder = longName;
    EXPECT_EQ(Process().MainFolder.str(), std::string(254, 'a') + " ");
    Process().MainFolder = "/data/O'Brien recordings";
    WriteMiscConfig();
    Process().MainFolder = "";
    ReadMiscConfig();
    EXPECT_EQ(MyTrim(Process().MainFolder.str()), "/data/O'Brien recordings");
}

TEST(RunLog, EntriesEitherSideOfMidnightLandInTwoDailyFilesAndEchoToTheStatusBar) {
    StagedPlayer staged;
    InitPath();
    staged.now = {2006, 1, 1, 23, 59, 59};
    WriteRunLog("before");
    staged.now = {2006, 1, 2, 0, 0, 0};
    WriteRunLog("after");
    EXPECT_EQ(staged.LogLines("2006-01-01"), std::vector<std::string>{"<2006-01-01 23:59:59>before"});
    EXPECT_EQ(staged.LogLines("2006-01-02"), std::vector<std::string>{"<2006-01-02 00:00:00>after"});
    EXPECT_EQ(ReadAll(staged.Folder() / "PlayerLog" / "Runlog2006-01-02.txt"), "<2006-01-02 00:00:00>after\r\n")
        << "each entry ends with CR LF";
    EXPECT_EQ(staged.echoes.back(), " RunLog : <2006-01-02 00:00:00>after");
}

TEST(RunLog, AnEntryCutShortByACrashKeepsItsLineAndTheNextEntryStartsAFreshOne) {
    StagedPlayer staged;
    InitPath();
    const fs::path log = staged.Folder() / "PlayerLog" / "Runlog2024-05-06.txt";
    WriteAll(log, "<2024-05-06 12:00:00>whole\r\n<2024-05-06 12:00:01>!ConvertFile can't lo");
    WriteRunLog("Player Startup!");
    EXPECT_EQ(ReadAll(log),
              "<2024-05-06 12:00:00>whole\r\n<2024-05-06 12:00:01>!ConvertFile can't lo\r\n"
              "<2024-05-06 12:30:45>Player Startup!\r\n")
        << "the entry after a cut one was run into it";
}

TEST(RunLog, ALogThatCannotBeWrittenIsLostQuietly) {
    StagedPlayer staged;
    Process().PlayerLogFolder = (staged.Folder() / "missing" / "deeper").string();
    EXPECT_NO_THROW(WriteRunLog("nowhere to go"));
    EXPECT_EQ(staged.echoes.size(), 1u) << "the status bar still shows the line";
}

TEST(MyTrim, DropsTrailingBlanksAndNulsEveryNulAndOuterBlanks) {
    StagedPlayer staged;
    EXPECT_EQ(MyTrim("  abc  "), "abc");
    EXPECT_EQ(MyTrim(std::string("ab\0c\0\0  \0", 10)), "abc");
    EXPECT_EQ(MyTrim("     "), "");
    EXPECT_EQ(MyTrim(""), "");
    EXPECT_EQ(MyTrim(" a b "), "a b") << "inner blanks stay";
}

TEST(MyMkDir, EmptyIsFalseExistingIsTrueAndAFailureIsLoggedWithNumberAndPath) {
    StagedPlayer staged;
    InitPath();
    auto before = std::distance(fs::directory_iterator(staged.Folder()), {});
    EXPECT_FALSE(MyMkDir(""));
    EXPECT_FALSE(MyMkDir("   "));
    EXPECT_EQ(std::distance(fs::directory_iterator(staged.Folder()), {}), before) << "MyMkDir(\"\") created something";
    const std::string made = (staged.Folder() / "made").string();
    EXPECT_TRUE(MyMkDir(made));
    EXPECT_TRUE(fs::is_directory(made));
    EXPECT_TRUE(MyMkDir(made)) << "an existing folder is success";
    const std::string deep = (staged.Folder() / "no" / "such").string();
    EXPECT_FALSE(MyMkDir(deep)) << "only one level is created";
    EXPECT_EQ(staged.LogMessages().back(), "!MyMkDir 76No such file or directory " + deep);
}

TEST(MyDelFIle, DeletesReadOnlyFilesAndLogsAMissingOne) {
    StagedPlayer staged;
    InitPath();
    const fs::path file = staged.Folder() / "ro.wav";
    player::testing::MakeFile(file, 10);
    chmod(file.c_str(), 0444);
    EXPECT_TRUE(MyDelFIle(" " + file.string() + " "));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(MyDelFIle(file.string()));
    EXPECT_EQ(staged.LogMessages().back(), "!MyDelFIle File not found file = " + file.string());
    EXPECT_FALSE(MyDelFIle(staged.Folder().string())) << "a folder is not a file";
    EXPECT_TRUE(fs::is_directory(staged.Folder()));
}

// The operator reads the system's own reason for the error it met, never
// another error's text under the same number.
TEST(MyDelFIle, AndMyMkDirLogTheSystemsOwnReason) {
    StagedPlayer staged;
    InitPath();
    const fs::path plain = staged.Folder() / "plain.txt";
    player::testing::MakeFile(plain, 1);
    const std::string under = (plain / "sub").string();
    EXPECT_FALSE(MyMkDir(under));
    EXPECT_EQ(staged.LogMessages().back(), "!MyMkDir 76Not a directory " + under);

    const fs::path kept = staged.Folder() / "calls" / "kept.wav";
    player::testing::MakeFile(kept, 10);
    const player::testing::UnwritableFile refused(kept);
    if (!refused.Refused()) GTEST_SKIP() << "this process can neither set the immutable flag nor be refused a file";
    EXPECT_FALSE(MyDelFIle(kept.string()));
    EXPECT_TRUE(fs::exists(kept));
    const std::string reason = refused.Error() == EPERM ? "Operation not permitted" : "Permission denied";
    EXPECT_EQ(staged.LogMessages().back(), "!MyDelFIle " + reason + " file = " + kept.string())
        << "the log does not give the reason the system gave";
}

TEST(BrowseForFolder, AsksTheDialogSeamAndACancelGivesEmptyText) {
    StagedPlayer staged;
    EXPECT_EQ(BrowseForFolder(nullptr, "Your Voice Folder"), "");
    staged.dialogs->folderAnswer = "/srv/calls";
    EXPECT_EQ(BrowseForFolder(nullptr, "Target Folder"), "/srv/calls");
    EXPECT_EQ(staged.dialogs->asked, (std::vector<std::string>{"Your Voice Folder", "Target Folder"}));
}
