// calldeck serve: the rows the web pages show, named by their row's key.
//
// A recording is never named by its path in a URL: the page gets the row's
// key (web_row_key.h) and the service finds the row again along the index
// on channel and time, so no request can name a file the index does not
// hold. A search takes the same conditions as "calldeck search"
// (search_options.h), read from the request's parameters into the same
// option words, so the web and the terminal find the same rows. Both run on
// the process's index connection: on a site, the person's own
// (web_site_login.h), so the server shows only the rows of their scopes.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "player/core/audit/audit_record.h"

namespace calldeck::web {

struct WebRow {
    std::string key;       // KeyOf(row)
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

// The row of `key`; nothing for a key that is no row's (or of no key's form).
std::optional<WebRow> RowOf(const std::string& key);

}  // namespace calldeck::web
