// bench: the statement the main window makes for one day's calls.
//
// The search benchmarks time the window's own search path, so they start
// from the conditions the window starts with and narrow them to one day,
// of one channel or of all (channel 0), as an operator would.
#pragma once

#include <string>

#include "player/core/index/search_conditions.h"

namespace bench {

inline std::string OneDaySearch(int year, int month, int day, int channel) {
    player::SearchConditions c = player::InitMainFormConditions({2024, 12, 31}, "");
    c.start = {year, month, day, 0, 0, 0};
    c.end = {year, month, day, 23, 59, 59};
    c.channelIndex = channel;
    return player::MakeCondition(c);
}

}  // namespace bench
