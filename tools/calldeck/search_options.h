// calldeck: the search options, read once for every command that searches.
//
// "calldeck search" prints the rows a search finds and "calldeck export"
// writes them out; both take the same options and must find the same rows,
// so the options are read here, into the window's condition controls
// (SearchConditions, starting from the main window's own defaults), and the
// statement is built by the core's MakeCondition as the window builds it.
// A command takes its own options first and hands every other one to
// TakeSearchOption; anything neither knows is a usage error.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "player/core/index/search_conditions.h"

namespace calldeck {

// A command line the command cannot use; printed with the command's help.
struct UsageError {
    std::string what;
};

// The value following args[i] (i advances onto it).
std::string NextValue(const std::vector<std::string>& args, std::size_t& i);

struct SearchRequest {
    player::SearchConditions conditions;
    bool all = false;  // "Refresh Recordset": every row, the show-all order

    std::string Statement() const;
};

// The main window's defaults, with the stored main folder.
SearchRequest DefaultSearch();

// Reads args[i] (and its value) into `request` when it is a search option
// and answers true; false for any other argument. A search option with a
// value it cannot take throws UsageError.
bool TakeSearchOption(const std::vector<std::string>& args, std::size_t& i, SearchRequest& request);

}  // namespace calldeck
