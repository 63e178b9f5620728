// calldeck serve: who is logged in, and who may try again.
//
// A session is a random 256-bit token (the cookie) with a second random
// token for changing requests (CSRF), found again by the token's hash so
// the table holds no usable cookie; it ends when idle too long or at
// logout. Failed logins are counted per address and per name: after three,
// each further try waits twice as long as the one before (1 s up to 5
// minutes), and a success clears the name's and the address's count. A wait
// is answered at once ("try again in N s"), not slept, so guessing holds no
// thread. Everything is under one lock: the service answers on many threads.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace calldeck::web {

using Clock = std::chrono::steady_clock;

struct SiteLogin;

struct Session {
    std::string user;
    std::string csrf;
    Clock::time_point lastUsed;
    // On a site: the person's connection (web_site_login.h), closed once
    // the session ended and no request holds it any more.
    std::shared_ptr<SiteLogin> site;
};

class Sessions {
public:
    explicit Sessions(std::chrono::seconds idle) : idle_(idle) {}

    // A new session for `user`; its token.
    std::string Open(const std::string& user, std::shared_ptr<SiteLogin> site = {});
    // The session of `token`, its idle time restarted; nothing when there is
    // none or it was idle too long (it is forgotten then).
    std::optional<Session> Find(const std::string& token);
    void Close(const std::string& token);
    // Ends the sessions idle too long (a service calls it now and then, so
    // an idle session's connection does not wait for the next login).
    void Expire();

    // How long a login from `address` as `name` must still wait; zero when
    // it may be tried now.
    std::chrono::seconds WaitBeforeLogin(const std::string& address, const std::string& name);
    void LoginFailed(const std::string& address, const std::string& name);
    void LoginSucceeded(const std::string& address, const std::string& name);

    // 64 hex digits from the system's random source.
    static std::string RandomToken();
    // Compares in a time that does not depend on where they differ.
    static bool SameToken(const std::string& a, const std::string& b);

private:
    struct Failures {
        int count = 0;
        Clock::time_point last;
    };
    std::chrono::seconds Wait(const Failures& f, Clock::time_point now) const;
    void Prune(Clock::time_point now);

    std::mutex mutex_;
    std::chrono::seconds idle_;
    std::map<std::string, Session> sessions_;  // by the token's hash
    std::map<std::string, Failures> byAddress_, byName_;
};

}  // namespace calldeck::web
