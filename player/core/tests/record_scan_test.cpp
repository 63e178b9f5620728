// The scan of a recordings tree into the record table.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/record_scan.h"
#include "player/core/search_conditions.h"
#include "player/core/testing/staged_player.h"
#include "player/core/utilities.h"

namespace fs = std::filesystem;
using namespace player;
using player::testing::MakeFile;
using player::testing::StagedPlayer;
using Names = std::vector<std::string>;

namespace {

// A progress window that remembers what it was told to show.
struct WatchedProgress : ParseFileProcess {
    Names shown;
    void ShowFileCount() override { shown.push_back("all " + std::to_string(FileCount)); }
    void ShowRecordFileCount() override { shown.push_back("rec " + std::to_string(RecordFileCount)); }
};

class RecordingsTree : public ::testing::Test {
protected:
    void SetUp() override {
        staged_.Start();
        root_ = staged_.Folder() / "calls";
        fs::create_directories(root_);
        Process().frmParseFileProcess = &progress_;
        progress_.Load();
    }
    // The stored files, in the order they were inserted, relative to the root.
    Names Stored() {
        auto rs = GetRecordset("select FileFullName from RecordFileInfo");
        Names out;
        for (; rs->IsOpen() && !rs->Eof(); rs->MoveNext())
            out.push_back(fs::path(rs->Field("FileFullName")).lexically_relative(root_).string());
        return out;
    }
    void Add(const std::string& relative, std::uintmax_t size = 0) { MakeFile(root_ / relative, size); }
    std::int32_t Scan() { return RebuildRecordIndex("  " + root_.string() + "  "); }

    StagedPlayer staged_;
    fs::path root_;
    WatchedProgress progress_;
};

const char* const kF1 = "20061201123045000312345671.VOC";
const char* const kF2 = "A_20061201123045_C12.VC8";
const char* const kF3 = "REC_5551234_061201123045_C7.WAV";

}  // namespace

TEST_F(RecordingsTree, SubfoldersComeBeforeFilesAndEveryFileIsCountedAndOddOnesLogged) {
    Add(std::string("sub/") + kF2);
    Add(std::string("sub/deeper/") + kF3);
    Add(kF1, 80000);
    Add("notes.txt");
    EXPECT_EQ(Scan(), 3);
    EXPECT_EQ(Stored(), (Names{"sub/deeper/" + std::string(kF3), "sub/" + std::string(kF2), kF1}));
    EXPECT_EQ(progress_.FileCount, 4);
    EXPECT_EQ(progress_.shown, (Names{"rec 0", "all 1", "rec 1", "all 2", "rec 2", "all 3", "rec 3", "all 4"}));
    EXPECT_EQ(staged_.LogMessages(), Names{"Wrong Format : [" + (root_ / "notes.txt").string() + "]"});
    EXPECT_EQ(MyTrim(Process().MainFolder.str()), root_.string()) << "the trimmed folder is the stored main folder";
    EXPECT_FALSE(Process().IsParsing);
    auto rs = GetRecordset(kShowAllRecordStatement);
    rs->MoveLast();
    EXPECT_EQ(rs->Field("RecordDuration"), "00:00:01") << "an empty recording lasts one second";
}

TEST_F(RecordingsTree, ANameThatCannotBeCutIsLoggedTwiceAndSkipped) {
    Add("WAV");
    EXPECT_EQ(Scan(), 0);
    EXPECT_EQ(progress_.FileCount, 1);
    EXPECT_EQ(staged_.LogMessages(),
              (Names{"!GetFileInfo File[" + (root_ / "WAV").string() + "] Invalid procedure call or argument",
                     "Wrong Format : []"}))
        << "the failed derivation leaves an empty record, so the second line names nothing";
}

TEST_F(RecordingsTree, AFolderNamedWithAnApostropheIsIndexed) {
    Add(std::string("O'Brien/") + kF1);
    EXPECT_EQ(Scan(), 1);
    EXPECT_EQ(Stored(), Names{"O'Brien/" + std::string(kF1)});
    EXPECT_TRUE(staged_.LogMessages().empty()) << staged_.LogMessages().front();
}

TEST_F(RecordingsTree, CancelEntersNoNewFolderButFinishesTheFoldersUnderWay) {
    Add(std::string("a/b/") + kF1);
    Add(std::string("a/b/") + kF2);
    Add(std::string("a/y/") + kF3);
    Add(std::string("a/") + kF2);
    Add(std::string("z/") + kF2);
    Add(kF3);
    Process().PumpEvents = [&] {
        if (progress_.FileCount == 1) Process().IsParsing = false;  // Cancel after the first file
    };
    Scan();
    EXPECT_EQ(Stored(), (Names{"a/b/" + std::string(kF1), "a/b/" + std::string(kF2), "a/" + std::string(kF2), kF3}))
        << "a/y and z must not be entered; a/b, a and the root must be finished";
    CloseAccess();
    staged_.Start();
    EXPECT_EQ(Stored().size(), 4u) << "rows inserted before the cancel were lost";
}

TEST_F(RecordingsTree, ASearchDuringTheScanSeesTheRowsSoFarAndOthersSeeThemWithin200ms) {
    for (const char* folder : {"1", "2", "3"}) {
        Add(std::string(folder) + "/" + kF1);
        Add(std::string(folder) + "/" + kF2);
    }
    Names mismatches;
    long otherSawAfterPause = -1;
    Process().PumpEvents = [&] {
        if (!Process().IsParsing) return;
        long seen = GetRecordset(kShowAllRecordStatement)->RecordCount();
        if (seen != progress_.RecordFileCount)
            mismatches.push_back(std::to_string(seen) + " of " + std::to_string(progress_.RecordFileCount));
        if (progress_.RecordFileCount == 2) {
            // Let the open batch grow older than 200 ms before the next insert.
            std::this_thread::sleep_for(std::chrono::milliseconds(210));
        } else if (progress_.RecordFileCount == 3 && otherSawAfterPause < 0) {
            // Another connection, as another process would have.
            auto other = std::make_shared<Connection>();
            other->ConnectionString = "data source=" + Process().DatabaseFile;
            other->Open();
            Recordset rs;
            rs.Open("select FileFullName from RecordFileInfo", other);
            otherSawAfterPause = rs.RecordCount();
        }
    };
    EXPECT_EQ(Scan(), 6);
    EXPECT_TRUE(mismatches.empty()) << "a search during the scan missed rows: " << mismatches.front();
    EXPECT_EQ(otherSawAfterPause, 3) << "rows older than 200 ms were not committed for other readers";
}

TEST_F(RecordingsTree, ALinkBackUpTheTreeIsNotWalkedAgain) {
    Add(std::string("x/") + kF1);
    fs::create_directory_symlink(root_, root_ / "x" / "back");
    fs::create_directory_symlink(root_ / "x", root_ / "y-twin");
    EXPECT_EQ(Scan(), 1) << "a folder reached twice was indexed twice";
    EXPECT_EQ(staged_.LogMessages(), (Names{"!LoopParseFile Folder already scanned [" + (root_ / "x/back").string() + "]",
                                           "!LoopParseFile Folder already scanned [" + (root_ / "y-twin").string() + "]"}));
}

TEST_F(RecordingsTree, AMissingFolderScansNothingAndAnEmptyOneReportsZero) {
    EXPECT_EQ(RebuildRecordIndex((root_ / "absent").string()), 0);
    EXPECT_EQ(Scan(), 0);
    EXPECT_TRUE(staged_.LogMessages().empty());
}

TEST_F(RecordingsTree, ARebuildEmptiesTheTableFirst) {
    Add(kF1);
    Scan();
    fs::remove(root_ / kF1);
    Add(kF2);
    progress_.Load();
    EXPECT_EQ(Scan(), 1);
    EXPECT_EQ(Stored(), Names{kF2});
}
