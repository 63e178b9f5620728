// player: the text helpers -- the functions the file-name parsers are
// written with, and MyTrim for texts read from fixed-length fields.
//
// The recorder's file names are cut by character position (1-based) and
// at underscores, and the cutting rules decide which odd names fail with a
// run-time error ("!GetFileInfo File[") and which are merely not
// recordings ("Wrong Format : ["). These helpers keep those rules: Mid
// with a start below 1, or Left with a negative length, raises "Invalid
// procedure call or argument"; a start past the end gives "". Positions
// count bytes (names are ASCII in practice; UTF-8 passes through whole).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace player::text {

std::string Mid(std::string_view s, long start, long length = -1);  // length -1: to the end
std::string Left(std::string_view s, long length);
std::string Right(std::string_view s, long length);
long InStr(std::string_view s, std::string_view what);  // 1-based, 0 when absent
std::vector<std::string> Split(std::string_view s, char separator);
std::string UCase(std::string_view s);
std::string Trim(std::string_view s);  // blanks only, both ends
bool AllDigits(std::string_view s);    // true for ""
// A 16-bit integer from decimal digits: "" is a type mismatch, more than
// 32767 an overflow.
std::int16_t CInt(std::string_view digits);
std::string ZeroPad(long value, int width);

}  // namespace player::text

namespace player {

// A text read from a fixed-length field: drops the trailing blanks and
// NULs, every NUL before them, then blanks at both ends; "abc" from
// "  abc  " and from "ab\0c\0\0  ". A failure is logged ("!MyTrim ") and
// gives "".
std::string MyTrim(const std::string& text);

}  // namespace player
