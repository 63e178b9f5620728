// The result set walks, reads and deletes as the player's commands expect,
// over a real SQLite file and a real PostgreSQL server.
#include "platform/sqlstore/recordset.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/testing/test_server.h"

namespace fs = std::filesystem;
using namespace platform::sqlstore;

namespace {

enum class Backend { File, Server };

// A table T(Name, At, Len) in a fresh store of either kind, and a
// connection to it.
class StoreBase {
protected:
    void MakeStore(Backend backend) {
        char pattern[] = "/tmp/sqlstore-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        file_ = folder_ / "store.db";
        connection_ = std::make_shared<Connection>();
        if (backend == Backend::Server) {
            connection_->ConnectionString =
                "provider=postgresql;data source=" + platform::sqlstore::testing::SharedTestServer().ConnectionInfo();
            Connection setup;
            setup.ConnectionString = connection_->ConnectionString;
            setup.Open();
            setup.Execute("drop table if exists T; create table T(calldeck_key bigint generated always as identity "
                          "primary key, Name text, At timestamp, Len interval)");
            setup.Close();
        } else {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(file_.c_str(), &db), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(db, "create table T(Name TEXT, At DateTimeText, Len DurationText)", nullptr,
                                   nullptr, nullptr),
                      SQLITE_OK);
            sqlite3_close(db);
            connection_->ConnectionString = "provider=x;data source=" + file_.string();
        }
        connection_->Open();
    }
    void DropStore() {
        connection_.reset();
        fs::remove_all(folder_);
    }
    void Insert(const std::string& name, const std::string& at, const std::string& len) {
        connection_->InsertRow("T", {"Name", "At", "Len"}, {name, at, len});
    }
    std::vector<std::string> NamesOf(const std::string& sql) {
        Recordset rs;
        rs.Open(sql, connection_);
        std::vector<std::string> out;
        for (; !rs.Eof(); rs.MoveNext()) out.push_back(rs.Field("Name"));
        return out;
    }

    fs::path folder_, file_;
    std::shared_ptr<Connection> connection_;
};

// SQLite's own behaviour: snapshots, WAL, files.
class StoreFile : public ::testing::Test, protected StoreBase {
protected:
    void SetUp() override { MakeStore(Backend::File); }
    void TearDown() override { DropStore(); }
};

// What the player relies on, from the embedded file and the shared server alike.
class Store : public ::testing::TestWithParam<Backend>, protected StoreBase {
protected:
    void SetUp() override { MakeStore(GetParam()); }
    void TearDown() override { DropStore(); }
};

INSTANTIATE_TEST_SUITE_P(EveryBackend, Store, ::testing::Values(Backend::File, Backend::Server),
                         [](const auto& info) { return info.param == Backend::File ? "SQLiteFile" : "PostgreSQL"; });

using Names = std::vector<std::string>;

}  // namespace

TEST_P(Store, DatesAndDurationsOrderAndCompareByTimeNotByText) {
    Insert("y2029", "29-06-01 00:00:00", "100:00:00");
    Insert("y1999", "99-06-01 00:00:00", "00:00:09");
    Insert("y2006", "2006-06-01 00:00:00", "99:59:59");
    Insert("y2006b", "06-06-01 00:00:01", "00:01:30");
    EXPECT_EQ(NamesOf("select Name from T order by At"), (Names{"y1999", "y2006", "y2006b", "y2029"}));
    EXPECT_EQ(NamesOf("select Name from T where At >= #2006-06-01 00:00:00# and At <= #2006-06-01 23:59:59# order by At"),
              (Names{"y2006", "y2006b"}));
    EXPECT_EQ(NamesOf("select Name from T where Len >=#00:01:30# order by Name"), (Names{"y2006", "y2006b", "y2029"}))
        << "100 hours is longer than 99:59:59 and than 00:01:30";
    EXPECT_EQ(NamesOf("select Name from T where Len <=#00:01:30# order by Name"), (Names{"y1999", "y2006b"}));
    EXPECT_EQ(NamesOf("select Name from T where Len >=#100:00:00#"), (Names{"y2029"}))
        << "a search for recordings of 100 hours and more";
    EXPECT_EQ(NamesOf("select Name from T where Len <=#99:59:59# order by Name"), (Names{"y1999", "y2006", "y2006b"}));
}

TEST_P(Store, AValueThatIsNoDateIsRefusedAndQuotesAreJustCharacters) {
    try {
        Insert("bad", "2006-02-30 00:00:00", "00:00:01");
        FAIL() << "30 February was stored";
    } catch (const Error& e) {
        EXPECT_EQ(e.Description(), "Data type mismatch in criteria expression.");
    }
    EXPECT_THROW(Insert("bad", "2006-01-01 00:00:00", ""), Error) << "an empty duration was stored";
    Insert("O'Brien", "2006-01-01 00:00:00", "00:00:01");
    EXPECT_EQ(NamesOf("select Name from T"), (Names{"O'Brien"}));
    EXPECT_THROW(NamesOf("select Name from T where Name like '%O'B%'"), Error) << "a spliced quote still fails";
}

TEST_P(Store, WalkingMovesLikeAStaticCursorAndFailsPastTheEnds) {
    Insert("a", "2006-01-01", "00:00:01");
    Insert("b", "2006-01-02", "00:00:01");
    Recordset rs;
    rs.Open("select Name from T order by At", connection_);
    EXPECT_EQ(rs.RecordCount(), 2);
    EXPECT_FALSE(rs.Bof());
    EXPECT_EQ(rs.Field("name"), "a") << "field names are case-blind";
    EXPECT_EQ(rs.FieldName(0), "Name") << "a column's name is not spelled as the statement spells it";
    rs.MovePrevious();
    EXPECT_TRUE(rs.Bof());
    EXPECT_THROW(rs.MovePrevious(), Error);
    EXPECT_THROW(rs.Field("Name"), Error) << "no current row at BOF";
    rs.MoveLast();
    EXPECT_EQ(rs.Field("Name"), "b");
    EXPECT_EQ(rs.AbsolutePosition(), 2);
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    EXPECT_THROW(rs.MoveNext(), Error);
    Insert("c", "2006-01-03", "00:00:01");
    EXPECT_EQ(rs.RecordCount(), 2) << "a static cursor does not see later rows";
    rs.Close();
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_EQ(rs.RecordCount(), -1);
    EXPECT_THROW(rs.MoveFirst(), Error);

    Recordset none;
    none.Open("select Name from T where 1=0", connection_);
    EXPECT_TRUE(none.Bof());
    EXPECT_TRUE(none.Eof());
    EXPECT_EQ(none.RecordCount(), 0);
}

TEST_P(Store, DeleteRemovesTheRowFromTheTableAndTheFollowingRowBecomesCurrent) {
    for (const char* n : {"a", "b", "c"}) Insert(n, "2006-01-01", "00:00:01");
    Recordset rs;
    rs.Open("select Name from T order by Name", connection_);
    rs.MoveNext();
    rs.Delete();  // b
    EXPECT_THROW(rs.Field("Name"), Error) << "a deleted row has no fields";
    EXPECT_EQ(rs.RecordCount(), 2);
    rs.MovePrevious();
    rs.MoveNext();
    EXPECT_EQ(rs.Field("Name"), "c") << "the row after the deleted one";
    EXPECT_EQ(*rs.Value(1, 0), "c");
    rs.Delete();  // c, the last row
    rs.MovePrevious();
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof()) << "deleting the last row leaves no row current";
    EXPECT_EQ(NamesOf("select Name from T"), (Names{"a"}));

    Recordset joined;
    joined.Open("select distinct Name from T", connection_);
    EXPECT_THROW(joined.Delete(), Error) << "rows that are not one table's cannot be deleted";
}

TEST_P(Store, AnOpenSetKeepsItsRowsWhileARebuildReplacesThemAndNeverHoldsTheWriterOff) {
    for (int n = 0; n < 500; ++n) Insert("old" + std::to_string(1000 + n), "2006-01-01", "00:00:01");
    Recordset rs;
    rs.Open("select Name, At from T order by Name desc", connection_);
    ASSERT_TRUE(rs.ReadsOnDemand()) << "a plain search was fetched whole";
    EXPECT_EQ(*rs.Value(0, 0), "old1499");
    const std::string_view first = *rs.Value(0, 0);

    // A rebuild on the same connection while the set is open: it must get
    // the write lock at once and commit, the set must not notice.
    ASSERT_NO_THROW(connection_->BeginWrite(std::chrono::milliseconds(100)))
        << "an open result set held the rebuild off";
    connection_->Execute("delete from T");
    for (int n = 0; n < 300; ++n) Insert("new" + std::to_string(n), "2007-01-01", "00:00:02");
    ASSERT_NO_THROW(connection_->CommitBatch()) << "an open result set stopped the rebuild's commit";

    EXPECT_EQ(rs.RecordCount(), 500) << "the set saw the rebuild";
    EXPECT_EQ(*rs.Value(499, 0), "old1000") << "a row first read after the rebuild was not the one at open";
    EXPECT_EQ(*rs.Value(250, 1), "2006-01-01 00:00:00");
    EXPECT_EQ(first, "old1499") << "a value read before the rebuild changed under its reader";
    rs.MoveLast();
    EXPECT_EQ(rs.Field("Name"), "old1000");
    EXPECT_EQ(NamesOf("select Name from T where Name = 'new7'"), (Names{"new7"})) << "a new search missed the rebuild";

    if (GetParam() == Backend::Server) return;
    // While the set is open its snapshot keeps the rebuild's pages in the
    // log; closing it lets them go into the file.
    auto logAllCopied = [&] {
        Recordset checkpoint;
        checkpoint.Open("PRAGMA wal_checkpoint(PASSIVE)", connection_);
        return std::string(*checkpoint.Value(0, 1)) == std::string(*checkpoint.Value(0, 2));
    };
    EXPECT_FALSE(logAllCopied()) << "the open set held no snapshot";
    rs.Close();
    EXPECT_TRUE(logAllCopied()) << "closing the set did not end its read transaction";
}

TEST_P(Store, ASetOpenedInsideATransactionOrOverComputedColumnsIsFetchedWhole) {
    Insert("a", "2006-01-01", "00:00:01");
    Insert("b", "2006-01-02", "00:00:01");
    Recordset count;
    count.Open("select count(*) from T", connection_);
    EXPECT_FALSE(count.ReadsOnDemand());
    EXPECT_EQ(count.RecordCount(), 1) << "a count came back as one row per table row";
    EXPECT_EQ(*count.Value(0, 0), "2");

    connection_->BeginBatch();
    connection_->Execute("delete from T where Name = 'a'");
    Recordset inside;
    inside.Open("select Name, Len from T", connection_);
    EXPECT_FALSE(inside.ReadsOnDemand()) << "a snapshot cannot see the transaction's own changes";
    EXPECT_EQ(inside.RecordCount(), 1);
    inside.Delete();  // b, inside the same transaction
    connection_->CommitBatch();
    EXPECT_EQ(NamesOf("select Name from T"), Names{});
    EXPECT_FALSE(inside.Value(0, 0)) << "a deleted row was still listed";
}

TEST_P(Store, BatchedInsertsAreSeenByASearchAtOnceAndSurviveClosing) {
    connection_->BeginBatch();
    Insert("a", "2006-01-01", "00:00:01");
    EXPECT_TRUE(connection_->InBatch());
    EXPECT_EQ(NamesOf("select Name from T"), (Names{"a"})) << "a search during a batch sees its rows";
    // A refused value costs its own row, never the batch: a scan goes on.
    EXPECT_THROW(Insert("bad", "2006-02-30", "00:00:01"), Error);
    if (GetParam() == Backend::Server) {
        EXPECT_THROW(Insert("bad\xff", "2006-01-01", "00:00:01"), Error) << "a name that is no UTF-8 was sent";
    }
    Insert("b", "2006-01-02", "00:00:01");
    for (int n = 0; n < 1234; ++n) Insert("n" + std::to_string(n), "2006-01-03", "00:00:02");  // a scan's many rows
    EXPECT_EQ(NamesOf("select Name from T where Name like 'n%'").size(), 1234u)
        << "a search during a batch missed some of its rows";
    connection_->Close();
    connection_->Open();
    EXPECT_EQ(NamesOf("select Name from T where Name not like 'n%' order by Name"), (Names{"a", "b"}))
        << "closing lost the batch, or a refused row spoiled it";
    EXPECT_EQ(NamesOf("select Name from T where Name like 'n%'").size(), 1234u) << "closing lost some of the batch's rows";
}

TEST_P(Store, TextsWithTabsBreaksBackslashesAndQuotesComeBackFromABatchUnchanged) {
    const Names awkward{"tab\there",          "two\nlines\r\n", "back\\slash \\N \\.",
                        "O'Brien \"quoted\"", "Z\u00fcrich \u6771\u4eac", ""};
    connection_->BeginBatch();  // as a rebuild stores its rows
    for (std::size_t i = 0; i < awkward.size(); ++i)
        Insert(awkward[i], "2006-01-0" + std::to_string(i + 1), "00:00:01");
    connection_->CommitBatch();
    EXPECT_EQ(NamesOf("select Name from T order by At"), awkward) << "a stored file name came back changed";
    Recordset rs;
    rs.Open("select Name from T order by At", connection_);
    rs.MoveLast();
    EXPECT_FALSE(rs.IsNull("Name")) << "an empty text was stored as no value at all";
}

TEST_F(StoreFile, OpeningNeedsAnExistingDatabaseAndIgnoresBlanksAroundItsName) {
    Connection c;
    c.ConnectionString = "provider=x;data source=  " + file_.string() + "  ";
    EXPECT_NO_THROW(c.Open());
    Connection missing;
    missing.ConnectionString = "data source=" + (folder_ / "none.db").string();
    EXPECT_THROW(missing.Open(), Error);
    EXPECT_FALSE(fs::exists(folder_ / "none.db")) << "opening created a database";
    std::FILE* junk = std::fopen((folder_ / "junk.db").c_str(), "w");
    std::fputs("this is not a database file, just some text that is long enough to look like a header", junk);
    std::fclose(junk);
    Connection notDb;
    notDb.ConnectionString = "data source=" + (folder_ / "junk.db").string();
    EXPECT_THROW(notDb.Open(), Error);
    EXPECT_FALSE(notDb.IsOpen());
}
