// The site's audit trail on its server: see site_audit.h.
#include "player/core/audit/site_audit.h"

#include <unistd.h>

#include <chrono>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/server_session.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/process_state.h"
#include "player/core/run_log.h"
#include "player/core/run_error.h"

namespace player {
namespace {

constexpr std::chrono::seconds kRetryAfter{30};

std::string Value(const platform::sqlstore::Connection::TextRows& rows, std::size_t row, std::size_t column) {
    return rows.at(row).at(column).value_or("");
}

std::string HostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

}  // namespace

std::shared_ptr<platform::sqlstore::Connection> SiteConnection() {
    auto site = std::make_shared<platform::sqlstore::Connection>();
    site->ConnectionString = "provider=postgresql;data source=" + Process().SiteServer;
    // The login of the index's connection: a service's (calldeck serve)
    // is the person's it acts for.
    if (const auto& index = Process().PlayerConnection) site->User = index->User, site->Password = index->Password;
    site->Open();
    return site;
}

void AppendSiteAudit(platform::sqlstore::Connection& site, AuditRecord record) {
    platform::sqlstore::ServerSession& server = *site.Server();
    server.Begin();
    try {
        const auto head = site.Query("select seq, hash, session_user from calldeck_audit_head()");
        if (head.size() != 1) throw std::runtime_error("the site's audit chain has no head row");
        std::uint64_t seq = std::stoull(Value(head, 0, 0));
        const auto hash = FromHex(Value(head, 0, 1));
        if (!hash) throw std::runtime_error("the site's audit chain's head holds no hash");
        AuditHash previous = *hash;
        record.user = (record.user.empty() ? AuditUserName() : record.user) + " (role " + Value(head, 0, 2) + ")";
        std::vector<AuditRecord> out;
        if (seq == 0) {
            AuditRecord start = record;
            start.act = kActContinue, start.row = {}, start.target = {}, start.result = Hex(kAuditChainStart);
            out.push_back(std::move(start));
        }
        out.push_back(std::move(record));
        for (AuditRecord& r : out) {
            r.seq = ++seq;
            AuditLine(r, previous, previous);
            site.Query("select calldeck_audit_append($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15)",
                       {std::to_string(r.seq), r.time, r.user, r.host, r.program, r.act, r.row.path, r.row.dateTime,
                        r.row.channel, r.row.number, r.row.duration, r.row.direction, r.target, r.result,
                        Hex(previous)});
        }
        server.Commit();
    } catch (...) {
        server.Rollback();
        throw;
    }
}

std::vector<std::string> SiteAuditLines(platform::sqlstore::Connection& site) {
    const auto rows = site.Query(
        "select Seq, Time, UserName, Host, Program, Act, FileFullName, RecordDateTime, RecordChannel, CallNumber,"
        " RecordDuration, CallDirection, Target, Result, Hash from SiteAudit order by Seq");
    std::vector<std::string> lines;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto v = [&](std::size_t c) { return Value(rows, r, c); };
        const AuditRecord record{std::stoull(v(0)), v(1), v(2), v(3), v(4), v(5),
                                 {v(6), v(7), v(8), v(9), v(10), v(11)}, v(12), v(13)};
        lines.push_back(AuditRecordText(record) + v(14));
    }
    return lines;
}

AuditVerification VerifySiteAudit(platform::sqlstore::Connection& site) {
    std::string text;
    for (const std::string& line : SiteAuditLines(site)) text += line + "\n";
    return VerifyAuditText(kSiteAuditName, text);
}

void AuditOnSite(std::string_view act, const AuditRow& row, std::string_view target, std::string_view result) {
    PlayerProcess& p = Process();
    AuditState& a = p.audit;
    if (p.SiteServer.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (a.siteFailing && now < a.siteRetry) return;
    try {
        // The index's own connection lost (ReachIndex found the server
        // away): no wait for a connection that would fail the same way.
        if (!p.PlayerConnection || !p.PlayerConnection->IsOpen())
            throw std::runtime_error("the record index server of this site cannot be reached");
        if (!a.site || !a.site->IsOpen() || !a.site->Usable()) a.site = SiteConnection();
        AppendSiteAudit(*a.site, {0, AuditTime(std::chrono::system_clock::now()), a.actingUser,
                                  a.actingHost.empty() ? HostName() : a.actingHost, a.program,
                                  std::string(act), row, std::string(target), std::string(result)});
        if (a.siteFailing) WriteRunLog("!Audit the site's audit trail on the server takes records again");
        a.siteFailing = false;
    } catch (const std::exception& e) {
        a.site.reset();
        a.siteRetry = now + kRetryAfter;
        if (!a.siteFailing)
            WriteRunLog("!Audit the site's audit trail on the server did not take the record of " + std::string(act) +
                        " [" + row.path + "] (" + Describe(e) +
                        "); it and those after it are kept in this desk's audit files");
        a.siteFailing = true;
    }
}

}  // namespace player
