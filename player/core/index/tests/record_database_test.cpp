// The record database: connecting, storing, and the search statements of
// the main window over a small prepared table.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/index/record_database.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/staged_player.h"
#include "player/core/testing/unwritable_file.h"

namespace fs = std::filesystem;
using namespace player;
using player::testing::StagedPlayer;
using Names = std::vector<std::string>;

namespace {

RecordInfo Row(const std::string& file, const std::string& at, const std::string& channel, const std::string& number,
               const std::string& duration, const std::string& direction) {
    return {true, file, at, channel, number, duration, direction};
}

class PreparedTable : public ::testing::Test {
protected:
    void SetUp() override {
        staged_.Start();
        for (const RecordInfo& r : {
                 Row("a", "2006-12-01 12:30:45", "0003", "12345671", "00:00:10", "IN"),
                 Row("b", "2006-12-01 13:00:00", "0003", "5551234", "00:01:30", "OUT"),
                 Row("c", "06-12-01 09:00:00", "0007", "5551234", "00:01:29", ""),
                 Row("d", "99-12-31 23:59:59", "0007", "", "100:00:00", ""),
                 Row("e", "2005-12-31 23:59:59", "0003", "777", "00:05:00", "IN"),
                 Row("f", "29-06-01 00:00:00", "0012", "123", "99:59:59", "OUT"),
             })
            InsertFileInfo(r);
    }
    // The files a statement returns, in its order.
    Names Files(const std::string& sql) {
        auto rs = GetRecordset(sql);
        Names out;
        if (!rs->IsOpen()) return {"<failed>"};
        for (; !rs->Eof(); rs->MoveNext()) out.push_back(rs->Field("FileFullName"));
        return out;
    }
    Names Search(const SearchConditions& c) {
        Names out = Files(MakeCondition(c));
        std::sort(out.begin(), out.end());  // the statement has no order
        return out;
    }
    SearchConditions Defaults() { return InitMainFormConditions(staged_.now, "d:\\Voc"); }

    StagedPlayer staged_;
};

}  // namespace

TEST_F(PreparedTable, TheDefaultSearchReturnsEveryRecordingFrom2006OnAndShowAllOrdersByChannelAndTime) {
    EXPECT_EQ(Search(Defaults()), (Names{"a", "b", "c"}))
        << "1999 and 2005 lie before the start (2006-01-01), 2029 after the end (today)";
    SearchConditions all = Defaults();
    all.end = {2030, 1, 1, 0, 0, 0};
    EXPECT_EQ(Search(all), (Names{"a", "b", "c", "f"}));
    all.start = {1990, 1, 1, 0, 0, 0};
    EXPECT_EQ(Search(all), (Names{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(Files(kShowAllRecordStatement), (Names{"e", "a", "b", "d", "c", "f"}))
        << "channel first, then time: 2005 before 2006; two-digit 99 is 1999, before 06 (2006)";
}

TEST_F(PreparedTable, EachConditionNarrowsTheSearchAsItShould) {
    SearchConditions c = Defaults();
    c.start = {1990, 1, 1, 0, 0, 0};
    c.end = {2030, 1, 1, 0, 0, 0};

    SearchConditions channel = c;
    channel.channelIndex = 7;
    EXPECT_EQ(Search(channel), (Names{"c", "d"}));

    SearchConditions number = c;
    number.number = "  555  ";
    EXPECT_EQ(Search(number), (Names{"b", "c"})) << "a substring of the number, blanks around it ignored";

    SearchConditions longer = c;
    longer.compareIndex = 1;
    longer.duration = {0, 0, 0, 0, 1, 30};
    EXPECT_EQ(Search(longer), (Names{"b", "d", "e", "f"})) << ">=#00:01:30#: 100 hours and 99:59:59 are longer";
    longer.compareIndex = 2;
    EXPECT_EQ(Search(longer), (Names{"a", "b", "c"})) << "<=#00:01:30#";

    SearchConditions noDirection = c;
    noDirection.callIn = noDirection.callOut = false;
    EXPECT_EQ(Search(noDirection), (Names{"c", "d"})) << "only rows with neither direction";
    SearchConditions outOnly = c;
    outOnly.callIn = false;
    EXPECT_EQ(Search(outOnly), (Names{"b", "c", "d", "f"}));

    SearchConditions day = c;
    day.start = {2006, 12, 1, 0, 0, 0};
    day.end = {2006, 12, 1, 23, 59, 59};
    day.channelIndex = 3;
    EXPECT_EQ(Search(day), (Names{"a", "b"})) << "one channel over one day";
}

TEST_F(PreparedTable, AQuoteTypedIntoTheNumberIsSearchedForLikeAnyOtherCharacter) {
    InsertFileInfo(Row("q", "2006-12-02 08:00:00", "0005", "O'Brien 55", "00:00:20", "IN"));
    SearchConditions c = Defaults();
    c.number = "O'B";
    EXPECT_EQ(Search(c), Names{"q"}) << "the recording whose number holds the quote was not found";
    c.number = "x' or 'a'='a";
    EXPECT_EQ(Search(c), Names{}) << "a quoted condition typed into the number box changed what the search asks";
    EXPECT_TRUE(staged_.LogMessages().empty()) << "a search was refused: " << staged_.LogMessages().back();
}

TEST_F(PreparedTable, AStatementTheDatabaseRefusesIsLoggedAndGivesAClosedSet) {
    auto rs = GetRecordset("select * from RecordFileInfo where CallNumber like '%O'B%'");
    ASSERT_TRUE(rs) << "GetRecordset must never give back nothing";
    EXPECT_FALSE(rs->IsOpen());
    ASSERT_FALSE(staged_.LogMessages().empty()) << "the refused search was not logged";
    EXPECT_EQ(staged_.LogMessages().back().rfind("!GetRecordset ", 0), 0u) << staged_.LogMessages().back();
}

TEST_F(PreparedTable, AValueThatIsNoDateIsRefusedAndLoggedWithTheStatementAsWritten) {
    InsertFileInfo(Row("bad", "2006-02-30 00:00:00", "0001", "", "00:00:01", ""));
    EXPECT_EQ(staged_.LogMessages().back(),
              "!InsertFileInfo Command [insert into RecordFileInfo(FileFullName,RecordDateTime,RecordChannel,"
              "CallNumber,RecordDuration,CallDirection) values('bad','2006-02-30 00:00:00','0001','','00:00:01','')] "
              "Data type mismatch in criteria expression.");
    EXPECT_EQ(Files("select FileFullName from RecordFileInfo where FileFullName = 'bad'"), Names{});
}

TEST_F(PreparedTable, QuotesInValuesAreStoredAndEmptyTextsStayEmpty) {
    InsertFileInfo(Row("/calls/O'Brien/x.VOC", "2006-12-01 00:00:00", "0001", "", "00:00:01", ""));
    auto rs = GetRecordset("select * from RecordFileInfo where RecordChannel = '0001'");
    ASSERT_EQ(rs->RecordCount(), 1) << "a folder named O'Brien was not indexed";
    EXPECT_EQ(rs->Field("FileFullName"), "/calls/O'Brien/x.VOC");
    EXPECT_EQ(rs->Field("CallNumber"), "");
    EXPECT_FALSE(rs->IsNull("CallDirection")) << "an empty direction is stored as empty text";
    InsertFileInfo(RecordInfo{false, "ignored", "2006-12-01 00:00:00", "0001", "", "00:00:01", ""});
    EXPECT_EQ(GetRecordset("select * from RecordFileInfo where FileFullName = 'ignored'")->RecordCount(), 0)
        << "a record that is not valid was stored";
}

TEST_F(PreparedTable, DeletingTheCurrentRowOfASearchDeletesItFromTheTable) {
    auto rs = GetRecordset(kShowAllRecordStatement);
    rs->MoveNext();  // a
    rs->Delete();
    EXPECT_EQ(Files(kShowAllRecordStatement), (Names{"e", "b", "d", "c", "f"}));
    ClearTmpData();
    EXPECT_EQ(Files(kShowAllRecordStatement), Names{});
}

TEST(Connecting, AMissingDatabaseFailsSilentlyAndLaterStatementsLogTheirOwnLines) {
    StagedPlayer staged(false);
    staged.Start();
    ASSERT_TRUE(Process().PlayerConnection) << "ConnectAccess must create the connection object";
    EXPECT_FALSE(Process().PlayerConnection->IsOpen());
    EXPECT_TRUE(staged.LogMessages().empty()) << "a missing database is not logged";
    ClearTmpData();
    InsertFileInfo(Row("x", "2006-12-01 00:00:00", "0001", "", "00:00:01", ""));
    auto rs = GetRecordset(kShowAllRecordStatement);
    EXPECT_FALSE(rs->IsOpen());
    Names prefixes;
    for (const std::string& m : staged.LogMessages()) prefixes.push_back(m.substr(0, m.find(' ')));
    EXPECT_EQ(prefixes, (Names{"!ClearTmpData", "!InsertFileInfo", "!GetRecordset"}));
}

TEST(Connecting, BlanksAroundTheNameAndAClosedConnectionAreHandled) {
    StagedPlayer staged;
    staged.Start();
    auto& conn = Process().PlayerConnection;
    EXPECT_TRUE(ConnectAccess(conn, "  " + Process().DatabaseFile + "  ", ""));
    EXPECT_EQ(conn->ConnectionString,
              "provider=microsoft.jet.oledb.4.0;data source=  " + Process().DatabaseFile + "  ")
        << "the connection string keeps the name as given";
    conn->Close();
    EXPECT_EQ(GetRecordset(kShowAllRecordStatement)->RecordCount(), 0) << "GetRecordset reopens a closed connection";
    EXPECT_TRUE(conn->IsOpen());
    std::shared_ptr<Recordset> none;
    EXPECT_TRUE(CloseRst(none));
    CloseAccess();
    EXPECT_FALSE(conn) << "closing releases an open connection";
}

namespace {

// What a program of its own reads from the index file: the statistics the
// query planner has of RecordFileInfo, and the plan of a time range over all
// channels.
struct IndexFile {
    explicit IndexFile(const std::string& path) { sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr); }
    ~IndexFile() { sqlite3_close_v2(db); }
    std::string Values(const std::string& sql, int column) const {
        sqlite3_stmt* s = nullptr;
        std::string out;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW)
                out += (out.empty() ? "" : "; ") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, column)));
        sqlite3_finalize(s);
        return out;
    }
    std::string Statistics() const { return Values("select stat from sqlite_stat1 where tbl = 'RecordFileInfo'", 0); }
    std::string AllChannelsPlan() const {
        return Values("explain query plan select * from RecordFileInfo where RecordDateTime between "
                      "'2024-05-01 00:00:00' and '2024-05-01 23:59:59'", 3);
    }
    sqlite3* db = nullptr;
};

}  // namespace

// An index filled by another program (rows inserted, no ANALYZE) has no
// statistics, and without them a day of every channel reads the whole table.
TEST(Connecting, AnIndexWithoutStatisticsGainsThemAtItsFirstSearchAndAReadOnlyOneStillSearches) {
    StagedPlayer staged;
    staged.Start();
    for (int n = 0; n < 400; ++n)
        InsertFileInfo(Row("call" + std::to_string(n), "2024-05-0" + std::to_string(n % 9 + 1) + " 12:00:00",
                           "000" + std::to_string(n % 4 + 1), "", "00:00:10", "IN"));
    CloseAccess();
    const std::string file = Process().DatabaseFile;
    ASSERT_EQ(IndexFile(file).Statistics(), "") << "the staged index should start without statistics";

    SearchConditions day = InitMainFormConditions(staged.now, "d:\\Voc");
    day.start = {2024, 5, 1, 0, 0, 0};
    day.end = {2024, 5, 1, 23, 59, 59};
    const std::string search = MakeCondition(day);
    const fs::path copy = staged.Folder() / "unanalysed.mdb";
    fs::copy_file(file, copy);

    ASSERT_TRUE(ConnectAccess(Process().PlayerConnection, file, ""));
    EXPECT_EQ(GetRecordset(search)->RecordCount(), 45);
    EXPECT_NE(IndexFile(file).Statistics(), "") << "the first search did not gather the statistics the plan needs";
    EXPECT_NE(IndexFile(file).AllChannelsPlan().find("USING INDEX RecordFileInfo_Channel_DateTime"), std::string::npos)
        << "a day of every channel still reads the whole table: " << IndexFile(file).AllChannelsPlan();
    CloseAccess();

    auto bytes = [](const fs::path& f) {
        std::ifstream in(f, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = bytes(copy);
    {
        const player::testing::UnwritableFile readOnly(copy, player::testing::UnwritableFile::Folder::Writable);
        if (!readOnly.Refused()) GTEST_SKIP() << "this process cannot be refused a write";
        ASSERT_TRUE(ConnectAccess(Process().PlayerConnection, copy.string(), ""));
        const auto rs = GetRecordset(search);
        EXPECT_TRUE(rs->IsOpen()) << "a read-only index cannot be searched";
        EXPECT_EQ(rs->RecordCount(), 45);
        CloseAccess();
    }
    EXPECT_EQ(bytes(copy), before) << "the read-only index was written";
    // The one line a read-only index is told with, and nothing else.
    for (const std::string& line : staged.LogMessages())
        EXPECT_TRUE(line.starts_with("!ConnectAccess The record index " + copy.string() + " cannot be written"))
            << "opening or searching an index without statistics logged a failure: " << line;
}
