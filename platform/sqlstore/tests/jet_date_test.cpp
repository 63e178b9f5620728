// Date-time and duration texts become stored texts whose plain order is
// time order, and texts that are no dates are refused.
#include "platform/sqlstore/jet_date.h"

#include <gtest/gtest.h>

using namespace platform::sqlstore;

TEST(StoredDateTime, EveryFormTheRecorderAndTheSearchWriteBecomesOneCanonicalText) {
    EXPECT_EQ(CanonicalDateTime("2006-12-01 12:30:45"), "2006-12-01 12:30:45");
    EXPECT_EQ(CanonicalDateTime("06-12-01 12:30:45"), "2006-12-01 12:30:45") << "two-digit year below 30 is 20xx";
    EXPECT_EQ(CanonicalDateTime("29-01-01 00:00:00"), "2029-01-01 00:00:00");
    EXPECT_EQ(CanonicalDateTime("30-01-01 00:00:00"), "1930-01-01 00:00:00") << "two-digit year 30 and up is 19xx";
    EXPECT_EQ(CanonicalDateTime("99-12-31 23:59:59"), "1999-12-31 23:59:59");
    EXPECT_EQ(CanonicalDateTime("2006-01-01"), "2006-01-01 00:00:00");
    EXPECT_EQ(CanonicalDateTime("12/01/2006 1:02"), "2006-12-01 01:02:00") << "month first with slashes";
    EXPECT_EQ(CanonicalDateTime("00:01:30"), "1899-12-30 00:01:30") << "a time alone is on day zero";
    EXPECT_EQ(CanonicalDateTime(" 2004-02-29 23:59:59 "), "2004-02-29 23:59:59") << "leap day";
}

TEST(StoredDateTime, TextsThatAreNoDateAreRefused) {
    for (const char* bad : {"", "2006-13-01 00:00:00", "2006-02-29 00:00:00", "2006-04-31 00:00:00",
                            "2006-12-01 24:00:00", "2006-12-01 12:60:00", "2006-12-01 12:30:60", "2006-1a-01 00:00:00",
                            "2006-12-01 12:30:45x", "abcd-ef-gh ij:kl:mn", "0000-01-01 00:00:00", "2006-12",
                            "--  ::"})
        EXPECT_FALSE(ParseJetDate(bad).has_value()) << "'" << bad << "' was taken for a date";
}

TEST(StoredDuration, HoursOfAnyLengthAndNumericOrderByLengthThenText) {
    EXPECT_EQ(CanonicalDuration("00:00:10"), "00:00:10");
    EXPECT_EQ(CanonicalDuration("1:02:03"), "01:02:03");
    EXPECT_EQ(CanonicalDuration("100:00:00"), "100:00:00");
    EXPECT_EQ(CanonicalDuration("0100:00:00"), "100:00:00") << "no leading zero beyond two hour digits";
    EXPECT_EQ(CanonicalDuration(360000 + 59), "100:00:59");
    EXPECT_FALSE(ParseDuration("").has_value());
    EXPECT_FALSE(ParseDuration("00:60:00").has_value());
    EXPECT_FALSE(ParseDuration("00:00").has_value());
    EXPECT_FALSE(ParseDuration("a0:00:00").has_value());
    EXPECT_FALSE(ParseDuration("-1:00:00").has_value());
}
