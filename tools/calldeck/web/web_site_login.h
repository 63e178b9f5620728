// calldeck serve on a site (PlayerSite.conf): each person logs in with their
// own database login, and the service connects to the site's server as that
// person, so the server's roles and scopes bound the web as they bound the
// desk (docs/sites.md) and its row-level security hides every row outside
// them. The person's name and password go to libpq as parameters of their
// own after the site file's line (they win over a login the line names);
// they are never written into a line, a log or a message.
//
// The player core reaches the index through the process's one connection
// (Process().PlayerConnection) and writes the site's trail on the process's
// one audit session. Rather than thread a connection through the core, a
// request holds the service's lock (the core is single-threaded anyway) and,
// while an ActingOnSite lives, the process's connection, audit session and
// rights are the person's; the next request puts its own person's in. A
// connection the core drops and opens again keeps the person's login, since
// it is kept on the connection itself (Connection::User, Password).
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "player/core/index/store_state.h"

namespace platform::sqlstore {
class Connection;
}

namespace calldeck::web {

// One person's connections to the site's server for one web session;
// closed when the session ends (logout, idle) and no request uses it.
struct SiteLogin {
    std::shared_ptr<platform::sqlstore::Connection> index;  // searches, rows, notes
    std::shared_ptr<platform::sqlstore::Connection> audit;  // the site's trail, opened at the first record
    bool auditFailing = false;
    std::chrono::steady_clock::time_point auditRetry;
    player::SiteRights rights;
};

// The site's server could not be reached (not a wrong name or password).
class SiteUnreachable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Connects to the site's server as `name` with `password`; nothing when the
// server refused them. Throws SiteUnreachable when it cannot tell, since
// the server does not answer even the site file's own login. Call without
// the service's lock; it takes `core` itself to ask the person's rights.
std::shared_ptr<SiteLogin> LogInToSite(const std::string& name, const std::string& password, std::mutex& core);

// While it lives, the process's index connection, site audit session and
// rights are `login`'s (nothing changes for none). Hold the service's lock.
class ActingOnSite {
public:
    explicit ActingOnSite(SiteLogin* login);
    ~ActingOnSite();
    ActingOnSite(const ActingOnSite&) = delete;
    ActingOnSite& operator=(const ActingOnSite&) = delete;

private:
    SiteLogin* login_;
    SiteLogin saved_;  // the process's own, given back at the end
};

}  // namespace calldeck::web
