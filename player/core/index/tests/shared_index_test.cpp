// A site's shared record index on a PostgreSQL server: the site file points
// the player at it, a rebuild replaces only its own main folder's rows, the
// searches read it as they read Player.mdb, and a server that cannot be
// reached is logged without the connection's password. Other recorders and
// operators work beside the test as calldeck processes of their own program
// folders: scans at once with searches meanwhile, a delete after another
// scan replaced the rows shown, and the server stopped and started again.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "platform/sqlstore/server_session.h"
#include "platform/sqlstore/testing/test_server.h"
#include "player/core/files/delete_files.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/search_conditions.h"
#include "player/core/index/site_file.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/staged_player.h"


namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;

namespace {

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
        std::ifstream schemaFile(fs::path(source) / "player/core/index/Player.pg.sql");
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

    // Another recorder's or operator's program folder: its own site file
    // naming the same server.
    fs::path OtherDesk(const std::string& name) {
        const fs::path folder = staged_.Folder() / name;
        fs::create_directories(folder);
        std::ofstream(folder / kSiteFileName) << platform::sqlstore::testing::SharedTestServer().ConnectionInfo()
                                              << "\n";
        return folder;
    }
    // calldeck started from `desk`, its output in files there.
    static pid_t StartCalldeck(const fs::path& desk, const std::vector<std::string>& args) {
        return StartProgram(CALLDECK_PROGRAM, args, desk, {"CALLDECK_PROGRAM_FOLDER=" + desk.string()});
    }
    static Ran RunCalldeck(const fs::path& desk, const std::vector<std::string>& args) {
        return FinishProgram(StartCalldeck(desk, args), desk);
    }
    // The recording names under `folder`, sorted.
    static std::vector<std::string> FilesUnder(const fs::path& folder) {
        std::vector<std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file()) out.push_back(entry.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    StagedPlayer staged_;
};

// The stored file names of a result set, sorted, by the main folder they
// lie under (their own folder when under neither).
std::map<std::string, std::vector<std::string>> ByFolder(Recordset& rs, const std::vector<fs::path>& folders) {
    std::map<std::string, std::vector<std::string>> out;
    const int file = rs.FieldIndex("FileFullName");
    for (long row = 0; row < rs.RecordCount(); ++row) {
        const std::string name(rs.Value(row, file).value_or(""));
        std::string folder = fs::path(name).parent_path().string();
        for (const fs::path& f : folders)
            if (name.starts_with(f.string() + "/")) folder = f.string();
        out[folder].push_back(name);
    }
    for (auto& [folder, names] : out) std::sort(names.begin(), names.end());
    return out;
}

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

TEST_F(SharedIndex, NoTextOfTheConnectionLineReachesTheRunLogTheWindowOrTheTerminal) {
    constexpr const char* kSecret = "Zx9-SECRET-pw-4711";
    const std::string socket = platform::sqlstore::testing::SharedTestServer().ConnectionInfo();
    const std::string colonTypo = "host=" + (staged_.Folder() / "no-server").string() +
                                  " dbname=calldeck user=calldeck password:" + kSecret;
    struct Case {
        std::string line;
        std::string logged;  // what the run log must say, "" when libpq's reason is told
    };
    const std::vector<Case> cases{
        // Typos libpq cannot parse: it would quote the text around the password.
        {colonTypo, "PlayerSite.conf: the connection line cannot be read (position " +
                        std::to_string(colonTypo.find("password:") + 1) + ")"},
        {"dbname=calldeck password='" + std::string(kSecret),
         "PlayerSite.conf: the connection line cannot be read (position 26)"},
        // Lines libpq reads, with the password run into another value, which
        // libpq's reason for the failed connection would quote.
        {"hostaddr=127.0.0.1password=" + std::string(kSecret) + " dbname=calldeck", ""},
        {"host=" + (staged_.Folder() / "no-server").string() + "password=" + kSecret + " dbname=calldeck", ""},
        {"host=" + (staged_.Folder() / "no-server").string() + " port=5432password=" + kSecret, ""},
        // A server that refuses the database named, with the password right.
        {socket + " dbname=no_such_database password=" + kSecret, ""},
    };
    CloseAccess();
    const fs::path desk = OtherDesk("desk");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::size_t logged = staged_.LogMessages().size();
        Process().SiteServer = c.line;
        std::shared_ptr<Connection> conn;
        EXPECT_FALSE(ConnectAccess(conn, Process().DatabaseFile, ""))
            << "a site line that cannot work was taken as open";
        const auto log = staged_.LogMessages();
        ASSERT_GT(log.size(), logged) << "the failed connection was not logged";
        for (std::size_t n = logged; n < log.size(); ++n)
            EXPECT_EQ(log[n].find(kSecret), std::string::npos) << "the password reached the run log: " << log[n];
        if (!c.logged.empty()) {
            EXPECT_EQ(log.back(), "!ConnectAccess " + c.logged);
        }
        EXPECT_EQ(IndexServerUnreachable().find(kSecret), std::string::npos)
            << "the window's message holds the password: " << IndexServerUnreachable();

        std::ofstream(desk / kSiteFileName) << c.line << "\n";
        const Ran search = RunCalldeck(desk, {"search", "--all"});
        EXPECT_EQ(search.code, 1);
        EXPECT_EQ((search.out + search.err).find(kSecret), std::string::npos)
            << "calldeck printed the password: " << search.err;
        if (!c.logged.empty()) {
            EXPECT_NE(search.err.find(c.logged), std::string::npos) << search.err;
        }
    }
}

TEST_F(SharedIndex, SearchTextIsBoundAsAValueEvenWhereTheServerReadsBackslashesInQuotes) {
    // A role whose sessions read a backslash in a quoted text as an escape:
    // a number typed as \' would end the quoted text the search built.
    {
        Connection setup;
        setup.ConnectionString = ServerConnection();
        setup.Open();
        setup.Server()->Run("alter role current_user set standard_conforming_strings = off");
    }
    const fs::path a = staged_.Folder() / "recorder-a";
    for (int n = 0; n < 3; ++n) MakeFile(a / CallName(n), 8000);
    ASSERT_EQ(RebuildRecordIndex(a.string()), 3);
    CloseAccess();  // the next search connects anew, with the role's setting
    SearchConditions c = InitMainFormConditions({2024, 5, 6, 0, 0, 0}, "");
    c.number = CallName(1).substr(18, 7);
    auto found = GetRecordset(MakeCondition(c));
    ASSERT_TRUE(found->IsOpen()) << "a search by number failed on the server";
    ASSERT_EQ(found->RecordCount(), 1) << "a search by a part of a stored number did not find its one call";

    for (const std::string payload : {"\\' or 1=1--", "\\' union select 0,null,null,version(),null,null,null--",
                                      "\\' or (select 1 from pg_sleep(4)) = 1--"}) {
        SCOPED_TRACE(payload);
        c.number = payload;
        const auto started = std::chrono::steady_clock::now();
        auto rs = GetRecordset(MakeCondition(c));
        const auto took = std::chrono::steady_clock::now() - started;
        ASSERT_TRUE(rs->IsOpen()) << "a search for a number with a backslash and a quote failed";
        EXPECT_EQ(rs->RecordCount(), 0) << "the number text ran as part of the statement: no call has that number";
        for (long row = 0; row < rs->RecordCount(); ++row)
            for (int col = 0; col < rs->FieldCount(); ++col)
                EXPECT_EQ(std::string(rs->Value(row, col).value_or("")).find("PostgreSQL"), std::string::npos)
                    << "the search returned the server's version";
        EXPECT_LT(took, std::chrono::seconds(4)) << "the number text made the server sleep";
    }
    const Ran search = RunCalldeck(OtherDesk("desk"), {"search", "--number", "\\' or 1=1--"});
    EXPECT_EQ(search.code, 0) << search.err;
    EXPECT_EQ(std::count(search.out.begin(), search.out.end(), '\n'), 1)
        << "calldeck search --number found calls by the statement's text, not by their numbers:\n" << search.out;
}

// A server whose every process is stopped (a machine that hangs) still
// takes the bytes of a statement: only the player's own clock can tell it
// does not answer. The site line makes the wait short.
TEST_F(SharedIndex, ASearchOnAStoppedServerEndsSayingItDoesNotAnswer) {
    auto& server = platform::sqlstore::testing::SharedTestServer();
    const fs::path a = staged_.Folder() / "recorder-a";
    for (int n = 0; n < 3; ++n) MakeFile(a / CallName(n), 8000);
    ASSERT_EQ(RebuildRecordIndex(a.string()), 3);
    CloseAccess();
    Process().SiteServer = server.ConnectionInfo() + " answer_timeout=2";
    ASSERT_TRUE(ReachIndex()) << "a site line with answer_timeout was refused";
    ASSERT_EQ(GetRecordset(kShowAllRecordStatement)->RecordCount(), 3);

    server.Pause(platform::sqlstore::testing::TestServer::Paused::EveryProcess);
    // Should the search wait on, the server goes on after a while, so that
    // the test ends and says so.
    std::atomic<bool> searching{true}, resumed{false};
    std::thread watchdog([&] {
        for (int tenths = 0; tenths < 300 && searching; ++tenths)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (searching) {
            resumed = true;
            server.Resume();
        }
    });
    const auto started = std::chrono::steady_clock::now();
    auto rs = GetRecordset(kShowAllRecordStatement);
    const auto took = std::chrono::steady_clock::now() - started;
    searching = false;
    watchdog.join();
    EXPECT_FALSE(resumed) << "the search waited for the stopped server until it went on 30 s later";
    EXPECT_FALSE(rs->IsOpen()) << "a search on a stopped server came back as if it had searched";
    EXPECT_LT(took, std::chrono::seconds(8)) << "the search did not end soon after its wait of 2 s";
    EXPECT_NE(IndexServerUnreachable().find("does not answer within 2 seconds"), std::string::npos)
        << "the window would not say that the server does not answer: " << IndexServerUnreachable();

    server.Resume();
    rs = GetRecordset(kShowAllRecordStatement);
    ASSERT_TRUE(rs->IsOpen()) << "the player did not search again once the server went on";
    EXPECT_EQ(rs->RecordCount(), 3);
}

// The case: the postmaster alone stopped, so that a connection is
// taken by the kernel and never answered; calldeck's default wait ends it.
TEST_F(SharedIndex, CalldeckSaysAServerWhosePostmasterIsStoppedDoesNotAnswer) {
    auto& server = platform::sqlstore::testing::SharedTestServer();
    const fs::path desk = OtherDesk("desk");
    server.Pause(platform::sqlstore::testing::TestServer::Paused::Postmaster);
    const auto started = std::chrono::steady_clock::now();
    const pid_t search = StartCalldeck(desk, {"search", "--all"});
    int status = 0;
    while (waitpid(search, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - started > std::chrono::seconds(40)) {
            kill(search, SIGKILL);
            waitpid(search, &status, 0);
            server.Resume();
            FAIL() << "calldeck search --all waited for the stopped server for 40 s";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto took = std::chrono::steady_clock::now() - started;
    server.Resume();
    const Ran ended = ResultOf(status, desk);
    EXPECT_EQ(ended.code, 1);
    EXPECT_NE(ended.err.find("does not answer within 10 seconds"), std::string::npos) << ended.err;
    EXPECT_LT(took, std::chrono::seconds(25)) << "calldeck took longer than its wait of 10 s to give up";
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

TEST_F(SharedIndex, TwoScansAtOnceAndTwoSearchingPlayersSeeEachFolderWholeEitherOldOrNew) {
    constexpr int kFiles = 4000;
    const fs::path a = staged_.Folder() / "recorder-a", b = staged_.Folder() / "recorder-b";
    for (int n = 0; n < kFiles; ++n) {
        MakeFile(a / CallName(n));
        MakeFile(b / "day1" / CallName(n));
    }
    ASSERT_EQ(RebuildRecordIndex(a.string()), kFiles);
    ASSERT_EQ(RebuildRecordIndex(b.string()), kFiles);
    const std::vector<std::string> oldA = FilesUnder(a), oldB = FilesUnder(b);
    // Each recorder loses some recordings and gains others.
    for (int n = 0; n < kFiles; n += 3) fs::remove(a / CallName(n));
    for (int n = 0; n < kFiles; n += 5) fs::remove(b / "day1" / CallName(n));
    for (int n = kFiles; n < kFiles + 700; ++n) {
        MakeFile(a / "new" / CallName(n));
        MakeFile(b / "day2" / CallName(n));
    }
    const std::vector<std::string> newA = FilesUnder(a), newB = FilesUnder(b);
    const fs::path deskA = OtherDesk("desk-a"), deskB = OtherDesk("desk-b");
    // The players search the calls of 12:00:10 and 12:00:11, a 25th of each
    // recorder's, so that many searches fit in a scan.
    SearchConditions c;
    c.start = {2024, 5, 1, 0, 0, 0};
    c.end = {2024, 5, 1, 12, 0, 11};
    c.compareIndex = 1;  // a duration of at least 00:00:00
    const std::string search = MakeCondition(c) + " order by RecordChannel,RecordDateTime";
    auto found = [](const std::vector<std::string>& files) {
        std::vector<std::string> out;
        for (const std::string& f : files)
            if (fs::path(f).filename().string().substr(12, 2) <= "11") out.push_back(f);
        return out;
    };
    const std::vector<std::string> oldFoundA = found(oldA), newFoundA = found(newA), oldFoundB = found(oldB),
                                   newFoundB = found(newB);

    auto other = std::make_shared<Connection>();  // a second operator's player
    other->ConnectionString = ServerConnection();
    other->Open();
    const pid_t scanA = StartCalldeck(deskA, {"scan", "--main-folder", a.string()});
    const pid_t scanB = StartCalldeck(deskB, {"scan", "--main-folder", b.string()});
    int statusA = 0, statusB = 0, searches = 0;
    bool runningA = true, runningB = true;
    while (runningA || runningB) {
        for (int player = 0; player < 2; ++player) {
            std::shared_ptr<Recordset> rs = std::make_shared<Recordset>();
            if (player == 0)
                rs = GetRecordset(search);
            else
                rs->Open(search, other);
            ASSERT_TRUE(rs->IsOpen()) << "a search during the scans failed";
            auto seen = ByFolder(*rs, {a, b});
            const auto& rowsA = seen[a.string()];
            const auto& rowsB = seen[b.string()];
            ASSERT_TRUE(rowsA == oldFoundA || rowsA == newFoundA)
                << "a search during the scans saw recorder-a's calls neither before nor after its scan: "
                << rowsA.size() << " rows (" << oldFoundA.size() << " before, " << newFoundA.size() << " after)";
            ASSERT_TRUE(rowsB == oldFoundB || rowsB == newFoundB)
                << "a search during the scans saw recorder-b's calls neither before nor after its scan: "
                << rowsB.size() << " rows (" << oldFoundB.size() << " before, " << newFoundB.size() << " after)";
            ASSERT_EQ(seen.size(), 2u) << "a search saw calls of neither recorder";
            ++searches;
        }
        if (runningA && waitpid(scanA, &statusA, WNOHANG) == scanA) runningA = false;
        if (runningB && waitpid(scanB, &statusB, WNOHANG) == scanB) runningB = false;
    }
    const Ran endA = ResultOf(statusA, deskA), endB = ResultOf(statusB, deskB);
    ASSERT_EQ(endA.code, 0) << "recorder-a's scan failed: " << endA.err;
    ASSERT_EQ(endB.code, 0) << "recorder-b's scan failed: " << endB.err;
    EXPECT_EQ(endA.out, "Record File = " + std::to_string(newA.size()) + "\n");
    EXPECT_EQ(endB.out, "Record File = " + std::to_string(newB.size()) + "\n");
    EXPECT_GE(searches, 6) << "too few searches were made while the scans ran to show anything";

    const auto rows = Rows();
    std::vector<std::string> storedA, storedB;
    for (const std::string& row : rows) {
        const std::string folder = row.substr(0, row.find('|'));
        const std::string file = row.substr(folder.size() + 1, row.rfind('|') - folder.size() - 1);
        ASSERT_TRUE(folder == a.string() || folder == b.string()) << "a row of no recorder: " << row;
        ASSERT_TRUE(file.starts_with(folder + "/")) << "a row marked with another recorder's folder: " << row;
        (folder == a.string() ? storedA : storedB).push_back(file);
    }
    std::sort(storedA.begin(), storedA.end());
    std::sort(storedB.begin(), storedB.end());
    EXPECT_TRUE(storedA == newA) << "recorder-a's rows after both scans: " << storedA.size() << ", wanted "
                                 << newA.size() << " (lost, doubled or stale rows)";
    EXPECT_TRUE(storedB == newB) << "recorder-b's rows after both scans: " << storedB.size() << ", wanted "
                                 << newB.size() << " (lost, doubled or stale rows)";
}

TEST_F(SharedIndex, AServerStoppedMidScanAndMidSearchIsToldKeepsTheIndexAndIsUsedAgainOnceBack) {
    auto& server = platform::sqlstore::testing::SharedTestServer();
    const fs::path a = staged_.Folder() / "recorder-a";
    for (int n = 0; n < 2000; ++n) MakeFile(a / CallName(n));
    ASSERT_EQ(RebuildRecordIndex(a.string()), 2000);
    const auto before = Rows();
    for (int n = 2000; n < 3000; ++n) MakeFile(a / "new" / CallName(n));

    int files = 0;
    Process().PumpEvents = [&] {
        if (++files == 1500) server.Stop();
    };
    try {
        RebuildRecordIndex(a.string());
        ADD_FAILURE() << "a scan whose server stopped midway reported success";
    } catch (const RebuildError& e) {
        EXPECT_NE(std::string(e.what()).find("the previous record index was kept"), std::string::npos) << e.what();
    }
    Process().PumpEvents = [] {};
    EXPECT_GE(files, 1500) << "the scan ended before the server was stopped";
    const auto log = staged_.LogMessages();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
        return line.starts_with("Rebuild of the record index from [" + a.string() + "] failed");
    })) << "the failed scan was not logged";

    // A search on the session the stop cut, and the terminal's.
    auto rs = GetRecordset(kShowAllRecordStatement);
    EXPECT_FALSE(rs->IsOpen()) << "a search without a server came back as if it had searched";
    EXPECT_NE(IndexServerUnreachable().find("cannot be reached"), std::string::npos)
        << "the window would not tell the operator the server is out of reach";
    const fs::path desk = OtherDesk("desk");
    const Ran search = RunCalldeck(desk, {"search", "--all"});
    EXPECT_EQ(search.code, 1);
    EXPECT_NE(search.err.find("cannot open the site's record index"), std::string::npos) << search.err;

    server.Start();
    EXPECT_EQ(Rows(), before) << "the scan the stop cut changed the index";
    rs = GetRecordset(kShowAllRecordStatement);
    ASSERT_TRUE(rs->IsOpen()) << "the player did not connect again once the server was back";
    EXPECT_EQ(rs->RecordCount(), 2000);
    EXPECT_EQ(RebuildRecordIndex(a.string()), 3000) << "the scan after the restart was not complete";
    EXPECT_EQ(RunCalldeck(desk, {"search", "--all"}).code, 0);
}

TEST_F(SharedIndex, DeletesRemoveExactlyTheRecordingsShownAfterAnotherScanReplacedTheirRows) {
    const fs::path a = staged_.Folder() / "recorder-a", b = staged_.Folder() / "recorder-b";
    for (int n = 0; n < 8; ++n) MakeFile((n % 2 ? b : a) / CallName(n), 8000);  // a0 b1 a2 b3 ... in time order
    ASSERT_EQ(RebuildRecordIndex(a.string()), 4);
    ASSERT_EQ(RebuildRecordIndex(b.string()), 4);
    Process().rsResult = GetRecordset(kShowAllRecordStatement);
    ASSERT_EQ(Process().rsResult->RecordCount(), 8);

    // Another recorder rescans recorder-b: every row of it gets a new key,
    // b3 has grown (still being recorded when shown), and two recordings
    // come that were never shown, one of them before all the others.
    MakeFile(b / CallName(3), 16000);
    MakeFile(b / CallName(9), 8000);
    MakeFile(b / "early" / ("20240501115959" + CallName(50).substr(14)), 8000);
    const Ran scan = RunCalldeck(OtherDesk("desk-b"), {"scan", "--main-folder", b.string()});
    ASSERT_EQ(scan.code, 0) << scan.err;

    staged_.dialogs->answers = {true, true};
    DeleteCurrentFile();
    EXPECT_FALSE(fs::exists(a / CallName(0))) << "Delete did not delete the current recording";
    EXPECT_EQ(Process().rsResult->Field("FileFullName"), (b / CallName(1)).string())
        << "the row after the deleted one is not current";
    DeleteAllFiles();
    EXPECT_EQ(staged_.dialogs->asked.back(), DeleteAllDoneText(0, 1))
        << "DeleteAll did not say that the grown recording was not deleted";

    const std::vector<std::string> left{(b / CallName(3)).string(), (b / CallName(9)).string(),
                                        (b / "early" / ("20240501115959" + CallName(50).substr(14))).string()};
    std::vector<std::string> onDisk = FilesUnder(a);
    for (const std::string& f : FilesUnder(b)) onDisk.push_back(f);
    std::sort(onDisk.begin(), onDisk.end());
    std::vector<std::string> wanted = left;
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(onDisk, wanted) << "the recordings left on disk are not exactly the ones not shown or changed";
    std::vector<std::string> stored;
    for (const std::string& row : Rows()) stored.push_back(row.substr(0, row.rfind('|')));
    std::sort(stored.begin(), stored.end());
    std::vector<std::string> wantedRows;
    for (const std::string& f : wanted) wantedRows.push_back(b.string() + "|" + f);
    EXPECT_EQ(stored, wantedRows) << "the rows left are not exactly those of the recordings left";
}

TEST_F(SharedIndex, OneFolderIsOneMainFolderHoweverItIsSpelledAndNoneMayLieInsideAnother) {
    const fs::path samp = staged_.Folder() / "samp1", link = staged_.Folder() / "link-to-samp1";
    for (int n = 0; n < 6; ++n) MakeFile(samp / ("Board" + std::to_string(n % 2 + 1)) / CallName(n), 8000);
    fs::create_directory_symlink(samp, link);
    // A row an earlier version stored under the folder as it was typed.
    Connection earlier;
    earlier.ConnectionString = ServerConnection();
    earlier.Open();
    earlier.Server()->SetRowFolder(samp.string() + "/");
    earlier.InsertRow("RecordFileInfo", {"FileFullName", "RecordDateTime", "RecordChannel"},
                      {(samp / "Board1" / CallName(0)).string(), "2024-05-01 12:00:10", "0003"});
    earlier.Close();

    for (const std::string& spelling :
         {samp.string(), samp.string() + "/", link.string(), samp.string() + "/./Board1/.."})
        EXPECT_EQ(RebuildRecordIndex(spelling), 6) << "the scan of " << spelling;
    std::vector<std::string> wanted;
    for (const std::string& file : FilesUnder(samp)) wanted.push_back(samp.string() + "|" + file);
    std::vector<std::string> stored;
    for (const std::string& row : Rows()) stored.push_back(row.substr(0, row.rfind('|')));
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, wanted) << "the recordings are not indexed exactly once, under the folder's canonical path";

    // A folder inside the indexed one, and one above it, are refused by name.
    MakeFile(staged_.Folder() / "other" / CallName(9), 8000);
    const auto before = Rows();
    for (const auto& [folder, says] :
         {std::pair{samp / "Board1", std::string("lies inside")}, std::pair{staged_.Folder(), std::string("holds")}}) {
        try {
            RebuildRecordIndex(folder.string());
            ADD_FAILURE() << "a scan of " << folder << " beside the rows of " << samp << " went ahead";
        } catch (const RebuildError& e) {
            EXPECT_EQ(std::string(e.what()), "The main folder \"" + folder.string() + "\" " + says + " \"" +
                                                 samp.string() +
                                                 "\", the main folder of other rows of the record index (their "
                                                 "recordings would be indexed twice); the record index was not "
                                                 "rebuilt.");
        }
    }
    EXPECT_EQ(Rows(), before) << "a refused scan changed the index";
    EXPECT_EQ(RebuildRecordIndex((staged_.Folder() / "other").string()), 1) << "a folder beside it was refused";
}
