// "DeleteAll" on Player.mdb after another program rebuilt it: the new rows
// are numbered from 1 again, so a shown row's row id may now be another
// recording's; only the recordings shown, still indexed as shown, go.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/delete_files.h"
#include "player/core/process_state.h"
#include "player/core/record_database.h"
#include "player/core/search_conditions.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
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
