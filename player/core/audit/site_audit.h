// player: the site's one audit trail on its server (PlayerSite.audit.pg.sql):
// every record a desk of a site writes to its own files also goes into one
// hash chain on the server, of the same record form, which no desk can
// change afterwards. The desk's own files stay the record that is never
// lost: while the server cannot be reached the records are kept there only
// (docs/audit.md, "The site's trail").
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "player/core/audit/audit_record.h"
#include "player/core/audit/audit_verify.h"

namespace platform::sqlstore {
class Connection;
}

namespace player {

inline constexpr const char* kSiteAuditName = "SiteAudit";

// A connection of its own to the site's server (PlayerSite.conf), as the
// login of the index's connection; throws what the connection throws.
std::shared_ptr<platform::sqlstore::Connection> SiteConnection();

// Appends `record` (its seq and user filled in here: the record's user, or
// the system user when it names none, and the server's login, "alice (role
// alice)", "web:op1 (role op1)") to the site's chain, under the
// lock on the chain's head row; a chain still empty first gets its
// "continue" record. Throws what the server says.
void AppendSiteAudit(platform::sqlstore::Connection& server, AuditRecord record);

// The site's chain, oldest first, as lines of the daily files' form.
std::vector<std::string> SiteAuditLines(platform::sqlstore::Connection& server);
// Checks it as calldeck audit verify checks the files; a record changed,
// removed or inserted on the server is named by its place ("SiteAudit line 7").
AuditVerification VerifySiteAudit(platform::sqlstore::Connection& server);

// On a site: the record of an act also goes to the site's chain, on a
// session of its own (never the one a search or rebuild holds). A server
// that cannot take it is logged once until it takes one again and asked
// again after half a minute; the record stays in the desk's files.
void AuditOnSite(std::string_view act, const AuditRow& row, std::string_view target, std::string_view result);

}  // namespace player
