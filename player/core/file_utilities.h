// player: the file utilities every module uses (the text helpers, MyTrim
// among them, are in text.h).
//
// MyMkDir    creates one folder level; True when it exists afterwards,
//            False for an empty name or a failure ("!MyMkDir " + number +
//            description + " " + path in the log).
// MyDelFIle  deletes a file, read-only or not; False and "!MyDelFIle "
//            in the log when it cannot.
// BrowseForFolder  the folder picker through the dialog seam; "" when
//            the user cancels.
// Paths are taken trimmed of blanks.
#pragma once

#include <string>

#include "player/core/seams.h"

namespace player {

bool MyMkDir(const std::string& path);
bool MyDelFIle(const std::string& path);
std::string BrowseForFolder(WindowHandle ownerWindow, const std::string& title);

}  // namespace player
