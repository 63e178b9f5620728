// calldeck serve: the HTTP service -- the pages, the login and the JSON
// API over a single desk's record index, its notes and its audit trail.
// docs/web.md tells what it answers and why it is shaped so.
#pragma once

#include <chrono>
#include <string>

namespace calldeck::web {

struct ServeOptions {
    std::string host = "127.0.0.1";
    int port = 8080;  // 0: one the system chooses (printed)
    std::string tlsCert, tlsKey;
    std::chrono::seconds idle{15 * 60};
    // Behind a site's HTTPS reverse proxy on this machine: the cookie is
    // marked Secure, and the address a person is counted and audited by is
    // the last one of X-Forwarded-For (the one the proxy itself appended).
    bool behindProxy = false;
};

// Serves until SIGINT or SIGTERM; prints "listening on URL" once it
// listens. Exit codes: 0 stopped, 1 could not listen or load the certificate.
int Serve(const ServeOptions& options);

}  // namespace calldeck::web
