// The person's own connection to the site's server (web_site_login.h).
#include "web_site_login.h"

#include <utility>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/connection_line.h"
#include "platform/sqlstore/error.h"
#include "platform/sqlstore/server_session.h"
#include "player/core/index/site_login.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"

namespace calldeck::web {
namespace {

std::shared_ptr<platform::sqlstore::Connection> SiteConnectionAs(const std::string& name, const std::string& password) {
    auto conn = std::make_shared<platform::sqlstore::Connection>();
    conn->ConnectionString = "provider=postgresql;data source=" + player::Process().SiteServer;
    conn->User = name;
    conn->Password = password;
    conn->Open();
    return conn;
}

constexpr const char* kUnreachable = "the record index server of this site cannot be reached";

}  // namespace

std::shared_ptr<SiteLogin> LogInToSite(const std::string& name, const std::string& password, std::mutex& core) {
    // No password: libpq would look for one of the service's own (a
    // password file, the environment) and the server might trust the name.
    if (name.empty() || password.empty()) return nullptr;
    auto login = std::make_shared<SiteLogin>();
    try {
        login->index = SiteConnectionAs(name, password);
    } catch (const platform::sqlstore::Error& e) {
        if (e.Number() == platform::sqlstore::kNoAnswer) throw SiteUnreachable(kUnreachable);
        // Refused the person, or refused everyone: the site file's own
        // login tells which.
        try {
            SiteConnectionAs({}, {});
        } catch (const std::exception& own) {
            std::lock_guard lock(core);
            player::WriteRunLog("!WebLogin " + std::string(kUnreachable) + ": " + player::Describe(own));
            throw SiteUnreachable(kUnreachable);
        }
        return nullptr;
    }
    std::lock_guard lock(core);
    // A server that let the name in without asking its password (trust or
    // peer in pg_hba.conf) has not checked the person: the web refuses it,
    // as it refuses a wrong password, and says so to the administrator.
    if (!login->index->Server() || !login->index->Server()->UsedPassword()) {
        player::WriteRunLog("!WebLogin the site's server let the login " + name +
                            " in without asking its password; the web takes only logins whose password the "
                            "server checks (scram-sha-256 in pg_hba.conf)");
        return nullptr;
    }
    ActingOnSite acting(login.get());
    try {
        player::AskSiteRights();
    } catch (const std::exception& e) {
        player::WriteRunLog("!WebLogin the server did not say what the login " + name +
                            " may do: " + player::Describe(e));
    }
    return login;
}

ActingOnSite::ActingOnSite(SiteLogin* login) : login_(login) {
    if (!login_) return;
    player::PlayerProcess& p = player::Process();
    saved_.index = std::exchange(p.PlayerConnection, login_->index);
    saved_.audit = std::exchange(p.audit.site, login_->audit);
    saved_.auditFailing = std::exchange(p.audit.siteFailing, login_->auditFailing);
    saved_.auditRetry = std::exchange(p.audit.siteRetry, login_->auditRetry);
    saved_.rights = std::exchange(p.Rights, login_->rights);
}

ActingOnSite::~ActingOnSite() {
    if (!login_) return;
    player::PlayerProcess& p = player::Process();
    login_->index = std::exchange(p.PlayerConnection, saved_.index);
    login_->audit = std::exchange(p.audit.site, saved_.audit);
    login_->auditFailing = std::exchange(p.audit.siteFailing, saved_.auditFailing);
    login_->auditRetry = std::exchange(p.audit.siteRetry, saved_.auditRetry);
    login_->rights = std::exchange(p.Rights, saved_.rights);
}

}  // namespace calldeck::web
