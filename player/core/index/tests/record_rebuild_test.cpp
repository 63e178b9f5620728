// A rebuild of the record index never loses the index it cannot replace:
// refused main folders, failing settings and store, another writer, a
// second rebuild and a killed one all leave the previous rows whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/record_scan.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/staged_player.h"
#include "player/core/file_utilities.h"
#include "player/core/text.h"

namespace fs = std::filesystem;
using namespace player;
using player::testing::CallName;
using player::testing::MakeFile;
using player::testing::StagedPlayer;

namespace {

class PreviousIndex : public ::testing::Test {
protected:
    // An index of 21 calls from the folder "old", then a new tree "calls".
    void SetUp() override {
        staged_.Start();
        Process().RebuildWait = std::chrono::milliseconds(300);
        for (int n = 0; n < 21; ++n) MakeFile(staged_.Folder() / "old" / CallName(n), 8000);
        ASSERT_EQ(RebuildRecordIndex((staged_.Folder() / "old").string()), 21);
        previous_ = Rows();
        calls_ = staged_.Folder() / "calls";
        for (int n = 0; n < 60; ++n) MakeFile(calls_ / ("day" + std::to_string(n / 20)) / CallName(100 + n), 8000);
    }
    // The first column of a statement's rows, as another program reads them.
    static std::vector<std::string> Read(const std::string& sql) {
        auto other = std::make_shared<Connection>();
        other->ConnectionString = "data source=" + Process().DatabaseFile;
        other->Open();
        Recordset rs;
        rs.Open(sql, other);
        std::vector<std::string> out;
        for (; !rs.Eof(); rs.MoveNext()) out.emplace_back(rs.Value(rs.AbsolutePosition() - 1, 0).value_or(""));
        return out;
    }
    // The stored files, in name order.
    static std::vector<std::string> Rows() {
        return Read("select FileFullName from RecordFileInfo order by FileFullName");
    }
    // The indexes of the table.
    static std::vector<std::string> Indexes() {
        return Read("select name from sqlite_schema where type = 'index' and tbl_name = 'RecordFileInfo' order by name");
    }
    std::string StoredMainFolder() const {
        std::ifstream in(staged_.Folder() / "PlayerMisc.cfg", std::ios::binary);
        std::string record(255, ' ');
        in.read(record.data(), 255);
        return MyTrim(record);
    }
    // The message a refused or failed rebuild gives, after checking that it
    // left the index and the stored main folder as they were.
    std::string Refused(const std::string& folder) {
        const std::string message = Attempt(folder);
        EXPECT_EQ(Rows(), previous_) << "the previous index was not kept after: " << message;
        EXPECT_EQ(StoredMainFolder(), (staged_.Folder() / "old").string()) << "the stored main folder changed";
        EXPECT_EQ(MyTrim(Process().MainFolder.str()), (staged_.Folder() / "old").string());
        return message;
    }
    // The message of a rebuild that throws.
    static std::string Attempt(const std::string& folder) {
        try {
            RebuildRecordIndex(folder);
        } catch (const RebuildError& e) {
            return e.what();
        }
        return "<the rebuild was not refused>";
    }
    // Runs `body` in a child process with a connection of its own; this
    // process's connection is closed meanwhile (a connection must not cross
    // a fork) and opened again afterwards.
    pid_t InChild(const std::function<int()>& body) {
        CloseAccess();
        const pid_t pid = fork();
        if (pid == 0) {
            int rc = 90;
            try {
                ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
                rc = body();
            } catch (...) {
                rc = 91;
            }
            _exit(rc);
        }
        ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
        return pid;
    }

    StagedPlayer staged_;
    std::vector<std::string> previous_;
    fs::path calls_;
};

}  // namespace

TEST_F(PreviousIndex, AMainFolderThatCannotBeScannedIsRefusedBeforeAnythingChanges) {
    MakeFile(staged_.Folder() / "a-file.txt", 10);
    const std::string missing = (staged_.Folder() / "nonexistent").string();
    EXPECT_EQ(Refused(missing), "The main folder \"" + missing + "\" does not exist; the record index was not rebuilt.");
    EXPECT_EQ(Refused((staged_.Folder() / "a-file.txt").string()),
              "The main folder \"" + (staged_.Folder() / "a-file.txt").string() +
                  "\" is not a folder; the record index was not rebuilt.");
    EXPECT_EQ(Refused(""), "No main folder is given; the record index was not rebuilt.");
    EXPECT_EQ(Refused("   "), "No main folder is given; the record index was not rebuilt.");
    // A real folder whose name the 255-byte setting would cut.
    fs::path deep = calls_;
    while (deep.string().size() <= 255) deep /= "sub-folder-of-the-calls";
    fs::create_directories(deep);
    EXPECT_NE(Refused(deep.string()).find("is longer than the 255 bytes the settings keep"), std::string::npos);
}

TEST_F(PreviousIndex, ASettingsFileThatCannotBeWrittenLeavesTheIndex) {
    fs::remove(staged_.Folder() / "PlayerMisc.cfg");
    fs::create_directory(staged_.Folder() / "PlayerMisc.cfg");  // unwritable even for root
    const std::string message = Attempt(calls_.string());
    EXPECT_NE(message.find("The main folder cannot be stored in"), std::string::npos) << message;
    EXPECT_EQ(Rows(), previous_) << "the index was emptied although the rebuild failed";
}

TEST_F(PreviousIndex, AFailingStoreRollsBackAndSaysSo) {
    // A store that is full after a few more pages, as a full disk is.
    auto& conn = *Process().PlayerConnection;
    Recordset pages;
    pages.Open("PRAGMA page_count", Process().PlayerConnection);
    conn.Execute("PRAGMA max_page_count = " + std::string(*pages.Value(0, 0)));
    for (int n = 0; n < 400; ++n) MakeFile(calls_ / "more" / CallName(1000 + n), 8000);
    EXPECT_NE(Refused(calls_.string()).find("The record index cannot be stored (database or disk is full)"),
              std::string::npos);
    EXPECT_EQ(Rows(), previous_);
    EXPECT_EQ(Indexes(), (std::vector<std::string>{"RecordFileInfo_Channel_DateTime", "RecordFileInfo_File"}))
        << "the search index did not come back with the rollback";
    conn.Execute("PRAGMA max_page_count = 1073741823");

    // A store without its table: nothing can be emptied or stored.
    conn.Execute("alter table RecordFileInfo rename to Elsewhere");
    const std::string message = Attempt(calls_.string());
    EXPECT_NE(message.find("The record index cannot be emptied"), std::string::npos) << message;
    conn.Execute("alter table Elsewhere rename to RecordFileInfo");
    EXPECT_EQ(Rows(), previous_);
    EXPECT_EQ(StoredMainFolder(), (staged_.Folder() / "old").string()) << "the failed rebuild's folder stayed stored";
}

TEST_F(PreviousIndex, AnotherWriterMakesTheRebuildWaitThenGiveUpWithoutDoublingRows) {
    auto other = std::make_shared<Connection>();
    other->ConnectionString = "data source=" + Process().DatabaseFile;
    other->Open();
    other->BeginWrite(std::chrono::milliseconds(0));
    EXPECT_NE(Refused(calls_.string()).find("The record index is locked by another program"), std::string::npos);
    other->Rollback();
    EXPECT_EQ(RebuildRecordIndex(calls_.string()), 60);
    EXPECT_EQ(Rows().size(), 60u) << "the rebuild after the other writer stored rows twice";
}

TEST_F(PreviousIndex, ASecondRebuildWaitsForTheFirstAndNamesIt) {
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t first = InChild([&] {
        bool told = false;
        Process().PumpEvents = [&] {
            if (told) return;
            told = true;
            char c = 'r';
            if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 1) _exit(92);
        };
        return RebuildRecordIndex(calls_.string()) == 60 ? 0 : 93;
    });
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1) << "the first rebuild never began";
    const std::string message = Attempt(calls_.string());
    EXPECT_EQ(Rows(), previous_) << "the first rebuild's rows showed before its commit";
    EXPECT_NE(message.find("The record index is being rebuilt by"), std::string::npos) << message;
    EXPECT_NE(message.find("process " + std::to_string(first)), std::string::npos) << "the holder is not named: " << message;
    EXPECT_EQ(write(go[1], &c, 1), 1);
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first rebuild did not end well: " << status;
    EXPECT_EQ(Rows().size(), 60u) << "two rebuilds at once left other than the tree's 60 rows";
    for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

TEST_F(PreviousIndex, ARebuildKilledAnywhereLeavesThePreviousIndex) {
    // The scan lets events run once per folder and once per file: 4 folders
    // and 60 files; 64 is the last file, just before it is stored.
    for (int killAt : {1, 2, 25, 64}) {
        const pid_t child = InChild([&] {
            int pumps = 0;
            Process().PumpEvents = [&] {
                if (++pumps == killAt) raise(SIGKILL);
            };
            RebuildRecordIndex(calls_.string());
            return 94;
        });
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the rebuild was not killed at step " << killAt;
        EXPECT_EQ(Rows(), previous_) << "killed at step " << killAt << ", the previous index was not kept";
    }
    EXPECT_EQ(RebuildRecordIndex(calls_.string()), 60) << "the index could not be rebuilt after the kills";
}

TEST_F(PreviousIndex, TheCountIsWhatWasCommittedAndARebuildHasAStartAndAnEndLine) {
    Process().frmParseFileProcess = nullptr;  // no window: the counts must still start at 0
    EXPECT_EQ(RebuildRecordIndex(calls_.string()), 60);
    EXPECT_EQ(RebuildRecordIndex(calls_.string()), 60);
    EXPECT_EQ(ScanProgress().FileCount, 60) << "the counts of the previous rebuild were not reset";
    EXPECT_EQ(Indexes(), (std::vector<std::string>{"RecordFileInfo_Channel_DateTime", "RecordFileInfo_File"}))
        << "the search index was not made again over the new rows";
    Recordset plan;
    plan.Open("explain query plan select RecordChannel from RecordFileInfo where RecordDateTime >= "
              "#2024-05-01 00:00:00# and RecordDateTime <= #2024-05-01 23:59:59#",
              Process().PlayerConnection);
    const std::string how(plan.Value(0, 3).value_or(""));
    EXPECT_NE(how.find("INDEX RecordFileInfo_Channel_DateTime"), std::string::npos)
        << "after a rebuild a search of one day over all channels reads every row of the table: " << how;
    const auto log = staged_.LogMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Rebuild of the record index from [" + calls_.string() + "] started");
    EXPECT_EQ(log.back(), "Rebuild of the record index from [" + calls_.string() +
                              "] ended: 60 recordings stored, 0 files not recognised, 0 folders or files passed over");
}

TEST_F(PreviousIndex, AScanThatFindsNoRecordingEmptiesTheIndexOnlyWhenTheOperatorSaysSo) {
    // An empty folder: an unmounted mount point looks just so.
    const fs::path empty = staged_.Folder() / "mnt";
    fs::create_directory(empty);
    const std::string question = "No recordings were found under " + empty.string() + ". Empty the record index?";
    staged_.dialogs->answers = {false};
    const std::string message = Refused(empty.string());
    EXPECT_EQ(message, "No recordings were found under " + empty.string() + "; the record index was left as it was.");
    EXPECT_EQ(staged_.dialogs->asked, std::vector<std::string>{question}) << "the operator was not asked first";
    try {
        RebuildRecordIndex(empty.string(), EmptyScan::Refuse);
        ADD_FAILURE() << "a scan told to refuse an empty result emptied the index";
    } catch (const EmptyScanRefused&) {
    }
    EXPECT_EQ(Rows(), previous_) << "a refused empty scan changed the index";
    EXPECT_EQ(staged_.dialogs->asked.size(), 1u) << "a scan that refuses by itself asked the operator";

    staged_.dialogs->answers = {true};
    EXPECT_EQ(RebuildRecordIndex(empty.string()), 0);
    EXPECT_TRUE(Rows().empty()) << "the operator's Yes did not empty the index";
    EXPECT_EQ(StoredMainFolder(), empty.string());
    // Nothing is lost by an empty scan of an empty index: no question then.
    EXPECT_EQ(RebuildRecordIndex(empty.string(), EmptyScan::Refuse), 0);
    EXPECT_EQ(staged_.dialogs->asked.size(), 2u);
}

TEST_F(PreviousIndex, AMainFolderIsStoredAndScannedByItsCanonicalPath) {
    const fs::path link = staged_.Folder() / "link-to-calls";
    fs::create_directory_symlink(calls_, link);
    for (const std::string& spelling : {link.string(), calls_.string() + "/", calls_.string() + "/./day0/.."}) {
        EXPECT_EQ(RebuildRecordIndex(spelling), 60) << spelling;
        EXPECT_EQ(StoredMainFolder(), calls_.string()) << "the main folder given as " << spelling
                                                       << " was not stored by its canonical path";
        for (const std::string& row : Rows())
            ASSERT_TRUE(row.starts_with(calls_.string() + "/day") && row.find("//") == std::string::npos)
                << "scanned as " << spelling << ", a recording was indexed as " << row;
    }
}
