// calldeck serve's options (serve_command.h).
#include "serve_command.h"

#include <filesystem>
#include <system_error>

#include "../search_options.h"
#include "player/core/index/record_database.h"
#include "player/core/process_state.h"
#include "player/core/state_folder.h"
#include "web_service.h"

namespace calldeck {

const char* const kServeHelp =
    "usage: calldeck serve [--listen ADDR:PORT] [--tls-cert FILE --tls-key FILE] [--idle-timeout SECONDS]\n"
    "                      [--behind-https-proxy]\n"
    "  Serves the search, listening, downloads and notes of this desk's record\n"
    "  index to web browsers, for the users of calldeck web-user; on a site\n"
    "  (PlayerSite.conf), for each person with their own database login and\n"
    "  within the scopes the site's server gives it. Listens on\n"
    "  127.0.0.1:8080 unless told otherwise ([::1]:8080 for IPv6, port 0 for one\n"
    "  the system chooses); HTTPS with the certificate and key given (PEM).\n"
    "  A session ends after SECONDS idle (default 900). --behind-https-proxy:\n"
    "  a site's HTTPS reverse proxy on this machine forwards to it (the cookie\n"
    "  is marked Secure; the address is the proxy's last X-Forwarded-For).\n"
    "  SIGINT or SIGTERM stops it.\n";

namespace {

int Number(const std::string& option, const std::string& text, int low, int high) {
    std::size_t used = 0;
    int n = -1;
    try {
        n = std::stoi(text, &used);
    } catch (const std::exception&) {
    }
    if (used != text.size() || n < low || n > high)
        throw UsageError{option + " wants " + std::to_string(low) + " to " + std::to_string(high) + ", not \"" + text +
                         "\""};
    return n;
}

}  // namespace

int RunServe(const std::vector<std::string>& args) {
    web::ServeOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--listen") {
            const std::string listen = NextValue(args, i);
            const std::size_t colon = listen.rfind(':');
            if (colon == std::string::npos || colon == 0) throw UsageError{"--listen wants ADDR:PORT"};
            std::string host = listen.substr(0, colon);
            if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
            options.host = host;
            options.port = Number("--listen's port", listen.substr(colon + 1), 0, 65535);
        } else if (args[i] == "--tls-cert") {
            options.tlsCert = NextValue(args, i);
        } else if (args[i] == "--tls-key") {
            options.tlsKey = NextValue(args, i);
        } else if (args[i] == "--behind-https-proxy") {
            options.behindProxy = true;
        } else if (args[i] == "--idle-timeout") {
            options.idle = std::chrono::seconds{Number("--idle-timeout", NextValue(args, i), 1, 7 * 24 * 3600)};
        } else {
            throw UsageError{"unknown option " + args[i]};
        }
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) throw UsageError{"--tls-cert and --tls-key go together"};
    if (!player::Process().SiteServer.empty()) {
        // Every request runs on its person's own connection
        // (web/web_site_login.h); the site file's login, which reached the
        // server at the start, serves no one.
        player::CloseAccess();
    }
    std::error_code ec;  // what a service killed earlier left converted
    std::filesystem::remove_all(std::filesystem::path(player::WorkFolder()) / "webTmp", ec);
    return web::Serve(options);
}

}  // namespace calldeck
