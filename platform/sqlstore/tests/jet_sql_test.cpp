// The statements' # date literals become stored texts; the rest passes through.
#include "platform/sqlstore/jet_sql.h"

#include <gtest/gtest.h>

#include "platform/sqlstore/error.h"

using namespace platform::sqlstore;

namespace {
const ColumnKinds kKinds{{"RECORDDATETIME", ColumnKind::DateTime}, {"RECORDDURATION", ColumnKind::Duration}};
}

TEST(JetTranslation, DateLiteralsBecomeStoredTextsAndDurationsCompareByLengthThenText) {
    EXPECT_EQ(Translate("select * from T where 1=1 and RecordDateTime >= #2006-01-01 00:00:00# and "
                        "RecordDateTime <= #2024-05-06 23:59:59#",
                        kKinds),
              "select * from T where 1=1 and RecordDateTime >= '2006-01-01 00:00:00' and "
              "RecordDateTime <= '2024-05-06 23:59:59'");
    EXPECT_EQ(Translate("x and RecordDuration >=#00:01:30#", kKinds),
              "x and (length(RecordDuration),RecordDuration) >=(8,'00:01:30')");
    EXPECT_EQ(Translate("#00:01:30# > T.[RecordDuration]", kKinds),
              "(8,'00:01:30') > (length(T.[RecordDuration]),T.[RecordDuration])")
        << "a literal on the left, a qualified and bracketed column";
    EXPECT_EQ(Translate("RecordDateTime < #12:00#", kKinds), "RecordDateTime < '1899-12-30 12:00:00'");
    EXPECT_EQ(Translate("RecordDuration <= #123:04:05#", kKinds),
              "(length(RecordDuration),RecordDuration) <= (9,'123:04:05')")
        << "a duration literal of more than 23 hours was not taken as a duration";
    EXPECT_THROW(Translate("RecordDateTime >= #100:00:00#", kKinds), Error) << "100 hours is no time of day";
}

TEST(JetTranslation, QuotedTextsAndEverythingElsePassThroughUnchanged) {
    const char* sql = "select a from T where CallNumber like '%#1#%' and CallDirection <> 'IN' and x = 'it''s'";
    EXPECT_EQ(Translate(sql, kKinds), sql) << "a # inside quotes is text";
    EXPECT_EQ(Translate("CallNumber like '%12'3%'", kKinds), "CallNumber like '%12'3%'")
        << "an unbalanced quote is left for the database to refuse";
}

TEST(JetTranslation, AnInvalidDateLiteralIsASyntaxErrorNamingIt) {
    try {
        Translate("RecordDateTime >= #2006-02-30 00:00:00#", kKinds);
        FAIL() << "30 February was accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.Description(), "Syntax error in date in query expression '#2006-02-30 00:00:00#'.");
    }
    EXPECT_THROW(Translate("RecordDateTime >= #2006-01-01", kKinds), Error) << "unterminated literal";
}

TEST(JetTranslation, OnlyPlainOneTableReadsGainTheHiddenRowId) {
    auto plain = SingleTableSelect("select a,b from RecordFileInfo where 1=1 order by a");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->table, "RecordFileInfo");
    EXPECT_EQ(plain->sql, "select RecordFileInfo._rowid_ AS calldeck_rowid, a,b from RecordFileInfo where 1=1 order by a");
    EXPECT_TRUE(SingleTableSelect("SELECT * FROM T"));
    for (const char* other : {"select distinct a from T", "select a from T, U", "select a from T join U on 1",
                              "select count(*) from T group by a", "select a from T union select a from U",
                              "delete from T", "select 1"})
        EXPECT_FALSE(SingleTableSelect(other)) << other;
    EXPECT_TRUE(SingleTableSelect("select a from T where a in (select b from U)")) << "a subquery is no second table";
}

TEST(JetTranslation, OnlyListsOfPlainColumnsAreReadByRowIdLater) {
    auto plain = PlainColumnsSelect(
        "select RecordChannel,RecordDateTime from RecordFileInfo where RecordDateTime >= '2024' order by RecordChannel");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->table, "RecordFileInfo");
    EXPECT_EQ(plain->rowIds,
              "select RecordFileInfo._rowid_ from RecordFileInfo where RecordDateTime >= '2024' order by RecordChannel");
    EXPECT_EQ(plain->row, "select RecordChannel,RecordDateTime from RecordFileInfo where _rowid_ = ?");
    EXPECT_EQ(PlainColumnsSelect("select a, b from T where a > 1")->rowIds, "select T._rowid_,a,b from T where a > 1")
        << "without an order the row ids must come in the order the whole statement gives";
    EXPECT_TRUE(PlainColumnsSelect("SELECT * FROM T"));
    EXPECT_TRUE(PlainColumnsSelect("select T.a, [b c] from T order by length(a), a desc"))
        << "the order may be any expression";
    // Each of these yields rows that are not one table row's own values, or
    // orders by something the row-id statement cannot name.
    for (const char* other : {"select count(*) from T", "select a as b from T order by b", "select a b from T",
                              "select a || 'x' from T", "select a from T order by 1", "select distinct a from T",
                              "select a from T, U", "select a from T group by a", "select 1 from T", "select a",
                              "select a from T union select a from U", "PRAGMA page_count"})
        EXPECT_FALSE(PlainColumnsSelect(other)) << other;
}

TEST(JetTranslation, ForTheServerLiteralsAndTextsBecomeParametersAndBracketsGo) {
    const ServerStatement s = TranslateForServer(
        "select [RecordChannel] from T where 1=1 and RecordDateTime >= #06-01-01 00:00:00# and "
        "T.[RecordDuration] <= #100:00:00# and CallNumber like '%#1#%' and CallDirection <> 'IN' and "
        "[File Name] = 'it''s \\'' or 1=1--'",
        kKinds);
    EXPECT_EQ(s.sql,
              "select RecordChannel from T where 1=1 and RecordDateTime >= $1::timestamp and "
              "T.RecordDuration <= $2::interval and CallNumber like $3 and CallDirection <> $4 and "
              "\"File Name\" = $5")
        << "the literals and texts must travel as parameters, the rest unchanged";
    EXPECT_EQ(s.parameters, (std::vector<std::string>{"2006-01-01 00:00:00", "100:00:00", "%#1#%", "IN",
                                                      "it's \\' or 1=1--"}));
    EXPECT_EQ(TranslateForServer("select a from T where b = 'x' and c = 'unclosed''", kKinds).sql,
              "select a from T where b = $1 and c = 'unclosed''")
        << "a text the statement's end cuts short must stay for the server to refuse";
    EXPECT_THROW(TranslateForServer("RecordDuration >= #2006-01-01#", kKinds), Error)
        << "a date compared with a duration was not refused";
    EXPECT_THROW(TranslateForServer("RecordDateTime >= #2006-02-30#", kKinds), Error) << "30 February was accepted";
}
