// Who this desk is on the site's server: see site_login.h.
#include "player/core/index/site_login.h"


#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/connection_line.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/index/site_file.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"

namespace player {
namespace {

SiteRights& Rights() { return Process().Rights; }

// The login the site file names, "" when it names none (libpq then takes
// the system account's, or a service file's).
std::string NamedLogin(const std::string& line) {
    try {
        for (const auto& [keyword, value] : platform::sqlstore::ReadConnectionLine(line).values)
            if (keyword == "user") return value;
    } catch (const std::exception&) {
        // a line that cannot be read connects nowhere
    }
    return {};
}

}  // namespace

const SiteRights& CurrentSiteRights() { return Rights(); }

void ForgetSiteRights() { Rights() = {}; }

void AskSiteRights() {
    ForgetSiteRights();
    PlayerProcess& p = Process();
    if (!p.PlayerConnection || !p.PlayerConnection->Server()) return;
    const auto answer = p.PlayerConnection->Query(
        "select session_user, has_table_privilege('RecordFileInfo', 'DELETE'),"
        " has_table_privilege('RecordHolds', 'INSERT') and has_table_privilege('RecordHolds', 'DELETE'),"
        " row_security_active('RecordNotes') and to_regprocedure('calldeck_note_paths(text)') is not null");
    SiteRights& r = Rights();
    r.onServer = true;
    r.login = answer.at(0).at(0).value_or("");
    r.mayDelete = answer.at(0).at(1) == "t";
    r.mayHold = answer.at(0).at(2) == "t";
    r.scopedNotes = answer.at(0).at(3) == "t";

    // A connection made as a login of its own (a service acting for the
    // person who logged in to it) shares nothing.
    const std::string named = p.PlayerConnection->User.empty() ? NamedLogin(p.SiteServer) : std::string();
    if (!named.empty() && named != AuditUserName() && !p.SharedLoginTold) {
        p.SharedLoginTold = true;
        WriteRunLog("!ConnectAccess this site uses a shared login: " + std::string(kSiteFileName) + " names the login " +
                    named + ", which every desk of the site uses, so the server cannot tell people apart nor bound "
                    "each one's rights; ask the administrator for a login of your own (docs/sites.md)");
    }
}

std::string WhyNoDelete() {
    const SiteRights& r = Rights();
    if (!r.onServer || r.mayDelete) return {};
    return "Your login " + r.login + " may not delete recordings on this site's server; deleting is for supervisors.";
}

std::string WhyNoHold() {
    const SiteRights& r = Rights();
    if (!r.onServer || r.mayHold) return {};
    return "Your login " + r.login + " may not place or release holds on this site's server; holds are for supervisors.";
}

void RequireDeleteRight() {
    if (const std::string why = WhyNoDelete(); !why.empty()) throw RunError(kNotPermitted, why + " Nothing was deleted.");
}

void RequireHoldRight() {
    if (const std::string why = WhyNoHold(); !why.empty()) throw RunError(kNotPermitted, why + " Nothing was changed.");
}

}  // namespace player
