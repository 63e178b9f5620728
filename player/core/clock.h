// player: the local time of the player's clock, and the texts the run log
// and the search statements write it as.
//
// The program reads the machine's wall clock (SystemNow); tests set their own
// through the process state's Now seam, so a run log's daily file and every
// stamp is known to them.
#pragma once

#include <string>

namespace player {

struct LocalTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

// The wall clock of this machine, local time.
LocalTime SystemNow();
// "YYYY-MM-DD" and "hh:mm:ss" (24-hour).
std::string FormatDate(const LocalTime& t);
std::string FormatClock(const LocalTime& t);

}  // namespace player
