// A rebuild asks the store for one main folder's rows without knowing which
// store it talks to: the file answers with every row (it indexes one
// folder), the server with that folder's rows alone, and the server's lock
// on a folder holds off scans of it, of folders inside it and above it.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/server_session.h"
#include "platform/sqlstore/testing/test_server.h"

namespace fs = std::filesystem;
using namespace platform::sqlstore;
using Names = std::vector<std::string>;

namespace {

std::string ServerLine() {
    return "provider=postgresql;data source=" + platform::sqlstore::testing::SharedTestServer().ConnectionInfo();
}

void Insert(Connection& store, const std::string& folder, int rows) {
    store.SetRowFolder(folder);
    for (int n = 0; n < rows; ++n) store.InsertRow("T", {"Name"}, {folder + "/call" + std::to_string(n)});
    store.SetRowFolder({});
}

}  // namespace

TEST(MainFolderRows, TheFileAnswersForEveryRowAndTheServerForTheNamedFoldersRowsAlone) {
    char pattern[] = "/tmp/sqlstore-folders-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path file = fs::path(pattern) / "store.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "create table T(Name TEXT)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    Connection onFile;
    onFile.ConnectionString = "provider=x;data source=" + file.string();
    onFile.Open();
    Insert(onFile, "/srv/a", 3);
    EXPECT_TRUE(onFile.StoredMainFolders("T").empty()) << "the file's rows were taken to name main folders";
    EXPECT_EQ(onFile.CountFolderRows("T", {"/srv/b"}), 3) << "the file did not count every row as its folder's";
    onFile.DeleteFolderRows("T", {"/srv/b"});
    EXPECT_EQ(onFile.CountFolderRows("T", {}), 0) << "the file kept rows its rebuild should have emptied";
    onFile.Close();
    fs::remove_all(pattern);

    Connection onServer;
    onServer.ConnectionString = ServerLine();
    onServer.Open();
    onServer.Server()->Run("drop table if exists T; create table T(MainFolder text not null default '', Name text)");
    Insert(onServer, "/srv/a", 2);
    Insert(onServer, "/srv/b", 1);
    Insert(onServer, "", 1);  // a row no scan marked
    EXPECT_EQ(onServer.StoredMainFolders("T"), (Names{"/srv/a", "/srv/b"}));
    EXPECT_EQ(onServer.CountFolderRows("T", {"/srv/a"}), 2);
    EXPECT_EQ(onServer.CountFolderRows("T", {"/srv/a", "/srv/b"}), 3);
    onServer.DeleteFolderRows("T", {"/srv/a"});
    EXPECT_EQ(onServer.StoredMainFolders("T"), (Names{"/srv/b"})) << "another folder's rows were deleted, or none";
    EXPECT_EQ(onServer.CountFolderRows("T", {"/srv/b", ""}), 2) << "rows of other folders went with /srv/a's";
}

TEST(MainFolderRows, AFolderLockedOnTheServerHoldsOffItselfAndFoldersInsideAndAboveButNoneBeside) {
    Connection scanning, other;
    scanning.ConnectionString = other.ConnectionString = ServerLine();
    scanning.Open();
    other.Open();
    scanning.BeginWrite(std::chrono::milliseconds(0));
    ASSERT_TRUE(scanning.TryLockMainFolder("/srv/calls/rec1"));

    for (const std::string folder : {"/srv/calls/rec1", "/srv/calls/rec1/Board1", "/srv/calls", "/srv", "/"}) {
        other.BeginWrite(std::chrono::milliseconds(0));
        EXPECT_FALSE(other.TryLockMainFolder(folder))
            << "a scan of " << folder << " went ahead while /srv/calls/rec1 was being scanned";
        other.Rollback();
    }
    other.BeginWrite(std::chrono::milliseconds(0));
    EXPECT_TRUE(other.TryLockMainFolder("/srv/calls/rec2")) << "a folder beside the locked one waited for it";
    other.Rollback();

    scanning.Rollback();
    other.BeginWrite(std::chrono::milliseconds(0));
    EXPECT_TRUE(other.TryLockMainFolder("/srv/calls/rec1")) << "the lock outlived the transaction that took it";
    other.Rollback();
}
