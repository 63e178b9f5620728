// player: the run log, the player's one logging call.
//
// One file a day in PlayerLogFolder, "Runlog" + "YYYY-MM-DD" + ".txt";
// each entry one line "<YYYY-MM-DD hh:mm:ss>" + message + CR LF, appended
// by opening, writing and closing the file, so an entry written from an
// event handler during a scan is whole. Date and stamp come from one
// reading of the clock seam. The same line, after " RunLog : ", goes to the
// status-bar hook when the main window has set one. Nothing here fails
// aloud: a log that cannot be written is lost and the program goes on.
#pragma once

#include <string>

namespace player {

void WriteRunLog(const std::string& message);

}  // namespace player
