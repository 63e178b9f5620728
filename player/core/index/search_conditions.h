// player: the search conditions and the statements built from them.
//
// The main window's condition controls, held as plain values, so that the
// window and the command-line front build the very same statement. A
// window binds its pickers, lists and boxes to a SearchConditions;
// InitMainFormConditions gives the values the window starts with, and
// MakeCondition turns them into the select statement over RecordFileInfo:
// the time range always, then the duration, channel, number and direction
// clauses that the controls ask for. The number text goes between single
// quotes with every quote in it doubled, so a quote typed into the number
// box is searched for like any other character instead of ending the text
// early (which made the database refuse the statement, or, with a second
// quote, changed what it asked); text without quotes is inserted as typed.
// The same holds for a tag and a note's words; on the site's server every
// quoted text is bound as a value (jet_sql.h).
#pragma once

#include <string>
#include <vector>

#include "player/core/seams.h"

namespace player {

inline constexpr const char* kShowAllRecordStatement =
    "select RecordChannel,RecordDateTime,CallNumber,RecordDuration,FileFullName,CallDirection from RecordFileInfo "
    "order by RecordChannel,RecordDateTime";

struct SearchConditions {
    LocalTime start;          // dtpStartDate + dtpStartTime
    LocalTime end;            // dtpEndDate + dtpEndTime
    int channelIndex = 0;     // cmbChannelNo: -1 none selected, 0 "all", n channel n
    std::string number;       // txtNumber
    int compareIndex = -1;    // cmbCompare: -1 none, 0 "", 1 ">=", 2 "<="
    LocalTime duration;       // dtpDuration (0-23 hours); calldeck search: any hours
    bool callIn = true;       // chkCallIn
    bool callOut = true;      // chkCallOut
    std::string mainFolder;   // txtMainFolderPath
    // What reviewers wrote (player/core/notes/): a tag the row has, words
    // its note holds (each word whole, in any order, through the store's
    // full-text index), and whether it is on hold. Empty/false: no clause.
    std::string tag;
    std::string noteWords;
    bool heldOnly = false;
};

// The channel list ("all", "001" ... "128") and the compare list.
std::vector<std::string> ChannelListEntries();
std::vector<std::string> CompareListEntries();

// The controls as the main window's InitMainForm fills them: 2006-01-01
// 00:00:00 to today 23:59:59, all channels, both directions, no duration
// operator selected, the main folder as stored.
SearchConditions InitMainFormConditions(const LocalTime& today, const std::string& storedMainFolder);

std::string MakeCondition(const SearchConditions& c);

}  // namespace player
