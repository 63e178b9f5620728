// player: the string and file utilities every module uses.
//
// MyTrim     a text read from a fixed-length field: drops the trailing
//            blanks and NULs, every NUL before them, then blanks at both
//            ends; "abc" from "  abc  " and from "ab\0c\0\0  ".
// MyMkDir    creates one folder level; True when it exists afterwards,
//            False for an empty name or a failure ("!MyMkDir " + number +
//            description + " " + path in the log).
// MyDelFIle  deletes a file, read-only or not; False and "!MyDelFIle "
//            in the log when it cannot.
// BrowseForFolder  the folder picker through the dialog seam; "" when
//            the user cancels.
// Paths are taken trimmed of blanks, as the old file system did.
#pragma once

#include <string>

#include "seams.h"

namespace player {

std::string MyTrim(const std::string& text);
bool MyMkDir(const std::string& path);
bool MyDelFIle(const std::string& path);
std::string BrowseForFolder(WindowHandle ownerWindow, const std::string& title);

}  // namespace player
