// calldeck serve: the key a URL names a recording's row by.
//
// "20240501T120010-0003-9f86d081884c7d65": the row's time, its channel and
// the first 16 hex digits of the BLAKE2b hash of its path. It is made from
// the row itself, so a rebuild of the index (which numbers its rows anew)
// leaves every key naming the same recording, it reads the same on the
// desk's file and on a site's server, and it never shows the path.
#pragma once

#include <optional>
#include <string>

#include "player/core/audit/audit_record.h"

namespace calldeck::web {

struct RowKey {
    std::string dateTime;  // "2024-05-01 12:00:10", as the index holds it
    std::string channel;   // "0003"
    std::string pathHash;  // 16 lowercase hex digits
};

// The key of `row`; "" for a row whose time is not "YYYY-MM-DD hh:mm:ss".
std::string KeyOf(const player::AuditRow& row);

// The first 16 hex digits of the BLAKE2b hash of `path`.
std::string PathHash(const std::string& path);

// What `key` names; nothing for text of any other form.
std::optional<RowKey> ReadKey(const std::string& key);

}  // namespace calldeck::web
