// A site's shared record index on a PostgreSQL server: the site file points
// the player at it, a rebuild replaces only its own main folder's rows, the
// searches read it as they read Player.mdb, and a server that cannot be
// reached is logged without the connection's password.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "platform/sqlstore/server_session.h"
#include "platform/sqlstore/testing/test_server.h"
#include "player/core/record_database.h"
#include "player/core/record_rebuild.h"
#include "player/core/search_conditions.h"
#include "player/core/site_file.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using player::testing::MakeFile;
using player::testing::StagedPlayer;

namespace {

// The n-th call of channel 3 on 2024-05-01, in the recorder's first name format.
std::string CallName(int n) {
    const std::string second = std::to_string(10 + n % 50);
    return "202405011200" + second + "0003" + std::to_string(5550000 + n) + "1.VOC";
}

std::string ServerConnection() {
    return "provider=postgresql;data source=" + platform::sqlstore::testing::SharedTestServer().ConnectionInfo();
}

class SharedIndex : public ::testing::Test {
protected:
    // The site's table made from Player.pg.sql, a site file naming the
    // server, and the player started.
    void SetUp() override {
        const char* source = std::getenv("CALLDECK_SOURCE_DIR");
        ASSERT_NE(source, nullptr) << "CALLDECK_SOURCE_DIR is not set";
        std::ifstream schemaFile(fs::path(source) / "player/core/Player.pg.sql");
        const std::string schema((std::istreambuf_iterator<char>(schemaFile)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(schema.empty()) << "Player.pg.sql cannot be read";
        Connection setup;
        setup.ConnectionString = ServerConnection();
        setup.Open();
        setup.Server()->Run("drop table if exists RecordFileInfo");
        setup.Server()->Run(schema);
        setup.Close();
        std::ofstream(staged_.Folder() / kSiteFileName)
            << "# the site's record index\n\n"
            << platform::sqlstore::testing::SharedTestServer().ConnectionInfo() << "\n";
        staged_.Start();
        Process().RebuildWait = std::chrono::milliseconds(300);
        ASSERT_TRUE(Process().PlayerConnection && Process().PlayerConnection->Server())
            << "the site file did not point the player at the server";
    }
    // "folder|file|key" of every stored row, as another program reads them.
    static std::vector<std::string> Rows() {
        auto other = std::make_shared<Connection>();
        other->ConnectionString = ServerConnection();
        other->Open();
        Recordset rs;
        rs.Open("select MainFolder, FileFullName, calldeck_key from RecordFileInfo order by FileFullName", other);
        std::vector<std::string> out;
        for (; !rs.Eof(); rs.MoveNext())
            out.push_back(rs.Field("MainFolder") + "|" + rs.Field("FileFullName") + "|" + rs.Field("calldeck_key"));
        return out;
    }
    static std::vector<std::string> RowsOf(const std::vector<std::string>& rows, const std::string& folder) {
        std::vector<std::string> out;
        for (const std::string& r : rows)
            if (r.starts_with(folder + "|")) out.push_back(r);
        return out;
    }

    StagedPlayer staged_;
};

}  // namespace

TEST_F(SharedIndex, ARebuildReplacesOnlyItsOwnMainFoldersRows) {
    const fs::path a = staged_.Folder() / "recorder-a", b = staged_.Folder() / "recorder-b";
    for (int n = 0; n < 5; ++n) MakeFile(a / CallName(n), 8000);
    for (int n = 10; n < 13; ++n) MakeFile(b / "day1" / CallName(n), 8000);
    ASSERT_EQ(RebuildRecordIndex(a.string()), 5);
    ASSERT_EQ(RebuildRecordIndex(b.string()), 3) << "the second folder's rebuild did not count its own rows only";
    const auto before = Rows();
    ASSERT_EQ(before.size(), 8u) << "the second rebuild removed the first folder's rows";

    fs::remove(a / CallName(0));
    fs::remove(a / CallName(1));
    for (int n = 20; n < 24; ++n) MakeFile(a / "new" / CallName(n), 8000);
    EXPECT_EQ(RebuildRecordIndex(a.string()), 7);
    const auto after = Rows();
    EXPECT_EQ(RowsOf(after, b.string()), RowsOf(before, b.string()))
        << "rebuilding recorder-a touched recorder-b's rows";
    EXPECT_EQ(RowsOf(after, a.string()).size(), 7u);
    for (const std::string& row : RowsOf(after, a.string()))
        EXPECT_EQ(row.find(CallName(0)), std::string::npos) << "a removed recording is still indexed: " << row;

    // The player's own search reads the shared index as it reads the file.
    SearchConditions c;
    c.start = {2024, 5, 1, 0, 0, 0};
    c.end = {2024, 5, 1, 23, 59, 59};
    c.compareIndex = 1;  // a duration of at least 00:00:00
    auto rs = GetRecordset(MakeCondition(c) + " order by RecordChannel,RecordDateTime");
    ASSERT_TRUE(rs->IsOpen()) << "the player's search failed on the server";
    EXPECT_EQ(rs->RecordCount(), 10);
    EXPECT_EQ(rs->Field("RecordDateTime").substr(0, 16), "2024-05-01 12:00")
        << "the server's date-time does not read as the file's";
    EXPECT_EQ(rs->Field("RecordDuration").size(), 8u) << "the duration does not read as hh:mm:ss";
    rs->Delete();
    EXPECT_EQ(Rows().size(), 9u) << "deleting the current row of a search did not remove it from the server";
    auto all = GetRecordset(kShowAllRecordStatement);
    EXPECT_EQ(all->RecordCount(), 9) << "the show-all statement failed on the server";
}

TEST_F(SharedIndex, AServerThatCannotBeReachedIsLoggedWithoutThePassword) {
    CloseAccess();
    Process().SiteServer = "host=" + (staged_.Folder() / "no-server").string() +
                           " user=calldeck dbname=calldeck password=Sesame-4711";
    std::shared_ptr<Connection> conn;
    EXPECT_FALSE(ConnectAccess(conn, Process().DatabaseFile, "")) << "an unreachable server was taken as open";
    bool logged = false;
    for (const std::string& line : staged_.LogMessages()) {
        EXPECT_EQ(line.find("Sesame-4711"), std::string::npos) << "the password reached the run log: " << line;
        logged = logged || line.find("!ConnectAccess") != std::string::npos;
    }
    EXPECT_TRUE(logged) << "the failed connection was not logged";
}

TEST_F(SharedIndex, AScanOfAFolderAnotherScanHoldsGivesUpAndOtherFoldersGoOn) {
    const fs::path a = staged_.Folder() / "recorder-a", b = staged_.Folder() / "recorder-b";
    for (int n = 0; n < 4; ++n) MakeFile(a / CallName(n), 8000);
    for (int n = 10; n < 12; ++n) MakeFile(b / CallName(n), 8000);
    ASSERT_EQ(RebuildRecordIndex(a.string()), 4);
    const auto before = Rows();

    // Another recorder's scan of recorder-a, midway: its transaction holds
    // the folder's lock.
    Connection other;
    other.ConnectionString = ServerConnection();
    other.Open();
    other.BeginBatch();
    other.Server()->Run("select pg_advisory_xact_lock(hashtextextended($1, 0))", {a.string()});

    MakeFile(a / CallName(5), 8000);
    try {
        RebuildRecordIndex(a.string());
        ADD_FAILURE() << "a second scan of a folder being scanned went ahead";
    } catch (const RebuildError& e) {
        EXPECT_NE(std::string(e.what()).find("is being rebuilt by another scan"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Rows(), before) << "the scan that gave up changed the index";
    EXPECT_EQ(RebuildRecordIndex(b.string()), 2) << "another folder's scan waited for recorder-a's";

    other.Rollback();
    EXPECT_EQ(RebuildRecordIndex(a.string()), 5) << "the folder stayed locked after the other scan ended";
}
