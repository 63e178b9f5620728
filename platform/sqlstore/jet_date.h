// platform/sqlstore: date-time and duration texts as the record store reads
// and writes them.
//
// The player hands the store dates and durations as text ("2006-12-01
// 12:30:45", "06-12-01 12:30:45", "00:01:30", "100:00:00") and compares them
// with #...# literals. SQLite has no date type, so the store keeps one
// canonical text per kind, chosen so that plain text order is time order:
//   * a date-time is "YYYY-MM-DD hh:mm:ss", four-digit year, always 19 chars;
//     a two-digit year reads 00-29 as 20xx and 30-99 as 19xx; a time alone
//     lands on the day zero of Jet dates, 1899-12-30;
//   * a duration is "hh:mm:ss" with at least two hour digits and no leading
//     zero beyond two, so (length, text) order is numeric order, however
//     many hours (FormatTime writes 100:00:00 and more).
// A text that is not a real date (month 13, 30 February, hour 24, letters)
// is none (nullopt), and the store refuses it with kTypeMismatch (error.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::sqlstore {

struct JetDate {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    bool hasDate = false;  // false: a time of day alone
};

// Year first ("2006-12-01", "06-12-01 12:30:45", "2006/12/01"), month first
// with slashes ("12/01/2006"), or a time alone ("12:30:45", "12:30");
// surrounding blanks are allowed. nullopt when it is no valid date-time.
std::optional<JetDate> ParseJetDate(std::string_view text);
// "YYYY-MM-DD hh:mm:ss"; a time alone lands on 1899-12-30.
std::string CanonicalDateTime(const JetDate& date);
// The stored form of a date-time text, or nullopt when it is not one.
std::optional<std::string> CanonicalDateTime(std::string_view text);

// A duration "h:mm:ss" with any number of hour digits; minutes and seconds
// below 60. nullopt when it is none.
std::optional<std::int64_t> ParseDuration(std::string_view text);
std::string CanonicalDuration(std::int64_t seconds);
std::optional<std::string> CanonicalDuration(std::string_view text);

}  // namespace platform::sqlstore
