// calldeck serve: the rows the web pages show, named by their row's key.
//
// A recording is never named by its path in a URL: the page gets the row's
// key (the index's own row number) and the service looks the path up
// itself, so no request can name a file the index does not hold. A search
// takes the same conditions as "calldeck search" (search_options.h), read
// from the request's parameters into the same option words, so the web and
// the terminal find the same rows. This is the desk's index as the process
// opened it; a login of the site's own (one connection per person, their
// scope the server's) takes the place of that connection, not of this code.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "player/core/audit/audit_record.h"

namespace calldeck::web {

struct WebRow {
    std::int64_t key = 0;
    player::AuditRow row;  // path, dateTime, channel, number, duration, direction
};

struct SearchPage {
    std::vector<WebRow> rows;
    long total = 0;  // rows the search found
};

// What a request's parameters ask: start, end ("YYYY-MM-DD hh:mm:ss"),
// channel (0 all, 1-128), number, duration (">=h:mm:ss" or "<=h:mm:ss"),
// in and out ("0" leaves that direction out), tag, note, held ("1").
// Throws UsageError for a value the search cannot take.
std::vector<std::string> SearchOptionsOf(const std::multimap<std::string, std::string>& params);

// Rows [page * size, page * size + size) of the search. Throws
// std::runtime_error with the reason when the index cannot be searched.
SearchPage Search(const std::vector<std::string>& options, long page, long size);

// The row of `key`; nothing for a key that is no row's (or not a number).
std::optional<WebRow> RowOf(const std::string& key);

}  // namespace calldeck::web
