// "Delete" and "DeleteAll" on Player.mdb after, and while, another program
// rebuilds it: the new rows are numbered from 1 again, so a shown row's row
// id may now be another recording's; only the recordings shown, still
// indexed as shown, go, and no rebuild commits between a recording's file
// going and its row going.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/files/delete_files.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using player::testing::CallName;
using player::testing::MakeFile;

TEST(DeleteAfterAnotherRebuild, DeleteAllRemovesOnlyTheRecordingsShownThatAreStillIndexedAsShown) {
    player::testing::StagedPlayer staged;
    staged.Start();
    const fs::path calls = staged.Folder() / "calls";
    auto call = [&](char name, int second) {
        MakeFile(calls / (std::string(1, name) + ".WAV"), 8000);
        return RecordInfo{true, (calls / (std::string(1, name) + ".WAV")).string(),
                          "2024-05-01 12:00:0" + std::to_string(second), "0003", "555", "00:00:01", "IN"};
    };
    for (const RecordInfo& row : {call('a', 1), call('b', 2), call('c', 3), call('d', 4)}) InsertFileInfo(row);
    Process().rsResult = GetRecordset(kShowAllRecordStatement);
    ASSERT_EQ(Process().rsResult->RecordCount(), 4);

    // Another program's rebuild: a and b are gone from the index (their
    // files stay), d, c and a new e are stored, as rows 1, 2 and 3.
    auto other = std::make_shared<Connection>();
    other->ConnectionString = "provider=microsoft.jet.oledb.4.0;data source=" + Process().DatabaseFile;
    other->Open();
    other->Execute("delete from RecordFileInfo");
    const std::vector<std::string> columns{"FileFullName",   "RecordDateTime", "RecordChannel",
                                           "CallNumber",     "RecordDuration", "CallDirection"};
    for (const RecordInfo& r : {call('d', 4), call('c', 3), call('e', 5)})
        other->InsertRow("RecordFileInfo", columns,
                         {r.FileFullName, r.RecordDateTime, r.RecordChannel, r.CallNumber, r.RecordDuration,
                          r.CallDirection});
    other->Close();

    staged.dialogs->answers = {true};
    DeleteAllFiles();
    EXPECT_EQ(staged.dialogs->asked.back(), DeleteAllDoneText(0, 2))
        << "DeleteAll did not say that two recordings were no longer indexed as shown";
    for (char kept : {'a', 'b', 'e'})
        EXPECT_TRUE(fs::exists(calls / (std::string(1, kept) + ".WAV"))) << kept << ".WAV was deleted";
    for (char gone : {'c', 'd'})
        EXPECT_FALSE(fs::exists(calls / (std::string(1, gone) + ".WAV"))) << gone << ".WAV was not deleted";
    auto left = GetRecordset(kShowAllRecordStatement);
    ASSERT_EQ(left->RecordCount(), 1) << "rows other than the deleted recordings' went, or theirs stayed";
    EXPECT_EQ(left->Field("FileFullName"), (calls / "e.WAV").string());
}

TEST(DeleteDuringARebuild, NoRebuildCommitsBetweenAFilesDeletionAndItsRowsSoNoOtherRecordingLosesItsRow) {
    player::testing::StagedPlayer staged;
    staged.Start();
    Process().RebuildWait = std::chrono::milliseconds(300);
    const fs::path calls = staged.Folder() / "calls";
    for (int n = 0; n < 6; ++n) MakeFile(calls / CallName(n), 8000);  // 12:00:10 to 12:00:15
    ASSERT_EQ(RebuildRecordIndex(calls.string()), 6);
    // The recordings on disk and those indexed must stay the same.
    auto expectWhole = [&](const std::vector<int>& left, const std::string& after) {
        std::vector<std::string> wanted, onDisk, indexed;
        for (int n : left) wanted.push_back((calls / CallName(n)).string());
        for (const auto& entry : fs::directory_iterator(calls)) onDisk.push_back(entry.path().string());
        auto rows = GetRecordset("select FileFullName from RecordFileInfo");
        for (long r = 0; r < rows->RecordCount(); ++r) indexed.emplace_back(rows->Value(r, 0).value_or(""));
        std::sort(onDisk.begin(), onDisk.end());
        std::sort(indexed.begin(), indexed.end());
        EXPECT_EQ(onDisk, wanted) << "after " << after << ", the recordings on disk are not those that were kept";
        EXPECT_EQ(indexed, onDisk) << "after " << after
                                   << ", a recording on disk lost its row in the index, or a deleted one kept it";
    };

    // Another writer and another rebuild of the folder, each tried after
    // every file Delete or DeleteAll deletes and before its row goes; the
    // rebuild would number the rows anew.
    std::vector<std::string> between;
    Process().BetweenFileAndRow = [&] {
        auto other = std::make_shared<Connection>();
        other->ConnectionString = "data source=" + Process().DatabaseFile;
        other->Open();
        try {
            other->BeginWrite(std::chrono::milliseconds(0));
            between.push_back("another program could write the index");
        } catch (const platform::sqlstore::Error&) {
        }
        other->Close();
        try {
            RebuildRecordIndex(calls.string());
            between.push_back("a rebuild committed");
        } catch (const RebuildError&) {
        }
    };
    staged.dialogs->answers = {true, true};
    Process().rsResult = GetRecordset(kShowAllRecordStatement);
    DeleteCurrentFile();  // the first call, 12:00:10
    expectWhole({1, 2, 3, 4, 5}, "Delete");
    SearchConditions firstTwo;
    firstTwo.start = {2024, 5, 1, 0, 0, 0};
    firstTwo.end = {2024, 5, 1, 12, 0, 12};
    firstTwo.compareIndex = 1;
    Process().rsResult = GetRecordset(MakeCondition(firstTwo));
    DeleteAllFiles();  // 12:00:11 and 12:00:12
    Process().BetweenFileAndRow = nullptr;
    expectWhole({3, 4, 5}, "DeleteAll");
    EXPECT_EQ(staged.dialogs->asked.back(), "done!");
    EXPECT_EQ(between, std::vector<std::string>{}) << "the index was written between a file's deletion and its row's";
}
