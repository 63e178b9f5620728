// The HTTP service (web_service.h) on cpp-httplib: one handler per route,
// every one that touches the index, the notes or the audit trail under one
// lock, since the process's index and trail are one connection and one
// writer (on a site, the person's own while the lock is held:
// web_site_login.h); conversions wait on their own lock (web_audio.h).
#include "web_service.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <iostream>
#include <thread>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <stop_token>
#include <vector>

#include <httplib.h>

#include "../search_options.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/index/site_login.h"
#include "player/core/notes/notes_store.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "web_audio.h"
#include "web_json.h"
#include "web_listen_queue.h"
#include "web_pages.h"
#include "web_rows.h"
#include "web_sessions.h"
#include "web_site_login.h"
#include "web_users.h"

namespace calldeck::web {
namespace {

constexpr const char* kCookie = "calldeck_session";
constexpr long kPageSize = 50;
constexpr std::size_t kConnectionThreads = 64;

struct Refused {
    int status;
    std::string why;
};

void Answer(httplib::Response& res, int status, const std::string& json) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(json, "application/json; charset=utf-8");
}

void Fail(httplib::Response& res, int status, const std::string& why) {
    Answer(res, status, "{\"error\":" + Quoted(why) + "}");
}

// A value that could name a file: a slash or backslash, "..", or a NUL.
bool LooksLikePath(const std::string& value) {
    return value.find_first_of(std::string("/\\\0", 3)) != std::string::npos || value.find("..") != std::string::npos;
}

// The fields people write freely (a note, a bookmark's label, the words a
// note is searched for): text, never a name of anything.
bool IsFreeText(const std::string& name) {
    return name == "text" || name == "label" || name == "note" || name == "reason";
}

std::string Param(const httplib::Request& req, const std::string& name) {
    const std::string value = req.get_param_value(name.c_str());
    if (!IsFreeText(name) && LooksLikePath(value)) throw Refused{400, "a path is not taken in " + name};
    return value;
}

std::string CookieOf(const httplib::Request& req, const std::string& name) {
    const std::string cookies = req.get_header_value("Cookie");
    std::size_t at = 0;
    while (at < cookies.size()) {
        const std::size_t end = std::min(cookies.find(';', at), cookies.size());
        std::string pair = cookies.substr(at, end - at);
        pair.erase(0, pair.find_first_not_of(' '));
        if (pair.starts_with(name + "=")) return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return {};
}

// A hold as {"reason", "by", "at"}; null for none.
std::string HoldJson(const std::optional<player::Hold>& hold) {
    if (!hold) return "null";
    return "{\"reason\":" + Quoted(hold->reason) + ",\"by\":" + Quoted(hold->by) + ",\"at\":" + Quoted(hold->at) + "}";
}

std::string RowJson(const WebRow& r, const std::optional<player::Hold>& hold) {
    return "{\"key\":" + Quoted(r.key) + ",\"channel\":" + Quoted(r.row.channel) +
           ",\"dateTime\":" + Quoted(r.row.dateTime) + ",\"number\":" + Quoted(r.row.number) +
           ",\"duration\":" + Quoted(r.row.duration) + ",\"direction\":" + Quoted(r.row.direction) +
           ",\"hold\":" + HoldJson(hold) + "}";
}

std::string AnnotationsJson(const player::Annotations& a) {
    std::string tags, marks;
    for (const std::string& t : a.tags) tags += (tags.empty() ? "" : ",") + Quoted(t);
    for (const player::Bookmark& b : a.bookmarks)
        marks += std::string(marks.empty() ? "" : ",") + "{\"second\":" + std::to_string(b.second) +
                 ",\"label\":" + Quoted(b.label) + "}";
    return "{\"note\":" + Quoted(a.note) + ",\"tags\":[" + tags + "],\"bookmarks\":[" + marks +
           "],\"hold\":" + HoldJson(a.hold) + "}";
}

// A request's turn at the player's core: the service's lock, and on a site
// the caller's own connection as the process's while it lasts.
struct OnCore {
    OnCore(std::mutex& core, const Session& session) : lock(core), acting(session.site.get()) {}
    std::lock_guard<std::mutex> lock;
    ActingOnSite acting;
};

class Service {
public:
    explicit Service(const ServeOptions& options)
        : options_(options), sessions_(options.idle), onSite_(!player::Process().SiteServer.empty()) {
        // An idle session ends, and on a site closes its connection, within
        // a tenth of the idle time even when no one logs in meanwhile.
        expiry_ = std::jthread([this](std::stop_token stop) {
            std::mutex m;
            std::condition_variable_any wake;
            std::unique_lock lock(m);
            const auto every = std::max<std::chrono::seconds>(options_.idle / 10, std::chrono::seconds{1});
            while (!wake.wait_for(lock, stop, every, [] { return false; }) && !stop.stop_requested())
                sessions_.Expire();
        });
    }

    void Route(httplib::Server& server) {
        server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                    {"X-Frame-Options", "DENY"},
                                    {"Referrer-Policy", "no-referrer"},
                                    {"Content-Security-Policy",
                                     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                                     "media-src 'self'; connect-src 'self'; form-action 'self'; "
                                     "frame-ancestors 'none'"}});
        // Nothing in a URL may name a file: the address itself, and every
        // parameter but the free text ones.
        server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
            bool refused = req.path.find("..") != std::string::npos || req.path.find('\\') != std::string::npos;
            for (const auto& [name, value] : req.params)
                refused = refused || (!IsFreeText(name) && LooksLikePath(value));
            if (!refused) return httplib::Server::HandlerResponse::Unhandled;
            Fail(res, 400, "a path is not taken here; recordings are named by their key");
            return httplib::Server::HandlerResponse::Handled;
        });
        server.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kIndexHtml, "text/html; charset=utf-8");
        });
        server.Get("/app.js", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kAppJs, "text/javascript; charset=utf-8");
        });
        server.Get("/app.css", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kAppCss, "text/css; charset=utf-8");
        });
        server.Post("/api/login", [this](const auto& req, auto& res) { Handle(req, res, &Service::Login, false); });
        server.Post("/api/logout", [this](const auto& req, auto& res) { Handle(req, res, &Service::Logout); });
        server.Get("/api/session", [this](const auto& req, auto& res) { Handle(req, res, &Service::WhoAmI); });
        server.Get("/api/search", [this](const auto& req, auto& res) { Handle(req, res, &Service::SearchRows); });
        server.Get(R"(/api/recordings/([^/]+))",
                   [this](const auto& req, auto& res) { Handle(req, res, &Service::Recording); });
        server.Get(R"(/api/recordings/([^/]+)/audio)",
                   [this](const auto& req, auto& res) { Handle(req, res, &Service::Audio); });
        server.Get(R"(/api/recordings/([^/]+)/download)",
                   [this](const auto& req, auto& res) { Handle(req, res, &Service::Download); });
        server.Get(R"(/api/recordings/([^/]+)/peaks)",
                   [this](const auto& req, auto& res) { Handle(req, res, &Service::Peaks); });
        server.Post(R"(/api/recordings/([^/]+)/(note|tags|bookmarks|hold))",
                    [this](const auto& req, auto& res) { Handle(req, res, &Service::Change); });
    }

private:
    struct Caller {
        std::string token;
        Session session;
    };
    using Handler = void (Service::*)(const httplib::Request&, httplib::Response&, const Caller&);

    // Every API route: the session (not for the login), the CSRF token on a
    // change, and the refusals turned into their status.
    void Handle(const httplib::Request& req, httplib::Response& res, Handler handler, bool needsSession = true) {
        try {
            Caller caller;
            if (needsSession) {
                caller.token = CookieOf(req, kCookie);
                const auto session = sessions_.Find(caller.token);
                if (!session) throw Refused{401, "not logged in, or the session ended"};
                caller.session = *session;
                if (req.method != "GET" && !Sessions::SameToken(req.get_header_value("X-CSRF-Token"), session->csrf))
                    throw Refused{403, "the request carries no valid CSRF token"};
            }
            (this->*handler)(req, res, caller);
        } catch (const Refused& r) {
            Fail(res, r.status, r.why);
        } catch (const UsageError& e) {
            Fail(res, 400, e.what);
        } catch (const player::NotAudited& e) {
            Fail(res, 503, e.what());
        } catch (const std::exception& e) {
            Fail(res, 500, player::Describe(e));
        }
    }

    void Login(const httplib::Request& req, httplib::Response& res, const Caller&) {
        const std::string name = Param(req, "name");
        const std::string address = AddressOf(req);
        if (const auto wait = sessions_.WaitBeforeLogin(address, name); wait.count() > 0) {
            res.set_header("Retry-After", std::to_string(wait.count()));
            throw Refused{429, "too many failed logins; try again in " + std::to_string(wait.count()) + " s"};
        }
        // On a site the person's own database login; on a desk the web
        // users' file.
        std::shared_ptr<SiteLogin> site;
        bool right = false;
        if (onSite_) {
            try {
                site = LogInToSite(name, req.get_param_value("password"), core_);
            } catch (const SiteUnreachable& e) {
                throw Refused{503, e.what()};
            }
            right = site != nullptr;
        } else {
            right = CheckWebUser(name, req.get_param_value("password"));
        }
        if (!right) {
            sessions_.LoginFailed(address, name);
            std::lock_guard lock(core_);
            player::WriteRunLog("!WebLogin failed for [" + name + "] from " + address);
            throw Refused{401, "wrong name or password"};
        }
        sessions_.LoginSucceeded(address, name);
        const std::string token = sessions_.Open(name, std::move(site));
        res.set_header("Set-Cookie", std::string(kCookie) + "=" + token + "; Path=/; HttpOnly; SameSite=Strict" +
                                         (options_.tlsCert.empty() && !options_.behindProxy ? "" : "; Secure"));
        Answer(res, 200, "{\"user\":" + Quoted(name) + ",\"csrf\":" + Quoted(sessions_.Find(token)->csrf) + "}");
    }

    void Logout(const httplib::Request&, httplib::Response& res, const Caller& caller) {
        sessions_.Close(caller.token);
        res.set_header("Set-Cookie", std::string(kCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
        Answer(res, 200, "{}");
    }

    void WhoAmI(const httplib::Request&, httplib::Response& res, const Caller& caller) {
        Answer(res, 200, "{\"user\":" + Quoted(caller.session.user) + ",\"csrf\":" + Quoted(caller.session.csrf) + "}");
    }

    void SearchRows(const httplib::Request& req, httplib::Response& res, const Caller& caller) {
        std::multimap<std::string, std::string> params(req.params.begin(), req.params.end());
        const std::vector<std::string> options = SearchOptionsOf(params);
        long page = 0;
        if (const std::string p = Param(req, "page"); !p.empty()) {
            try {
                page = std::stol(p);
            } catch (const std::exception&) {
                page = -1;
            }
            if (page < 0) throw Refused{400, "page wants a number from 0"};
        }
        SearchPage found;
        std::map<std::string, player::Hold> holds;
        {  // the index only in the request's turn at the core; the answer is written after
            const OnCore core(core_, caller.session);
            found = Search(options, page, kPageSize);
            std::vector<std::string> paths;
            for (const WebRow& r : found.rows) paths.push_back(r.row.path);
            holds = player::HoldsOf(paths);
        }
        std::string rows;
        for (const WebRow& r : found.rows) {
            const auto hold = holds.find(r.row.path);
            rows += (rows.empty() ? "" : ",") +
                    RowJson(r, hold == holds.end() ? std::nullopt : std::optional<player::Hold>(hold->second));
        }
        Answer(res, 200,
               "{\"page\":" + std::to_string(page) + ",\"pageSize\":" + std::to_string(kPageSize) +
                   ",\"total\":" + std::to_string(found.total) + ",\"rows\":[" + rows + "]}");
    }

    // The row a URL names; 404 for a key that is no row's, or (on a site)
    // of a row the person's scopes do not show. Hold the lock and act for
    // the caller.
    WebRow RowNamed(const httplib::Request& req) {
        const std::string key = req.matches[1];
        if (LooksLikePath(key)) throw Refused{400, "a path is not taken here; recordings are named by their key"};
        const auto row = RowOf(key);
        if (!row) throw Refused{404, "no such recording"};
        return *row;
    }

    // Who and where, for the audit trail: the web user, and the address and
    // browser the request came from.
    player::AuditActingFor ActingFor(const httplib::Request& req, const Caller& caller) const {
        return {Who(caller), Where(req)};
    }
    static std::string Who(const Caller& caller) { return "web:" + caller.session.user; }
    std::string Where(const httplib::Request& req) const {
        return AddressOf(req) + " " + req.get_header_value("User-Agent");
    }

    std::string AddressOf(const httplib::Request& req) const {
        const std::string forwarded = req.get_header_value("X-Forwarded-For");
        if (!options_.behindProxy || forwarded.empty()) return req.remote_addr;
        std::string last = forwarded.substr(forwarded.rfind(',') + 1);
        last.erase(0, last.find_first_not_of(' '));
        return last;
    }

    void Recording(const httplib::Request& req, httplib::Response& res, const Caller& caller) {
        const OnCore core(core_, caller.session);
        const WebRow row = RowNamed(req);
        const player::Annotations annotations = player::LoadAnnotations(row.row.path);
        Answer(res, 200,
               "{\"row\":" + RowJson(row, annotations.hold) + ",\"annotations\":" + AnnotationsJson(annotations) +
                   ",\"whyNoHold\":" + Quoted(player::WhyNoHold()) + "}");
    }

    // The recording's WAV, after its act is recorded (nothing is sent
    // without one). A browser asks for a recording it plays in several
    // ranges (and again as it seeks): a play is one act per session,
    // recording and minute, whatever range comes first, so no range goes
    // unrecorded and a seek is no new listening.
    void SendWav(const httplib::Request& req, httplib::Response& res, const Caller& caller, const char* act) {
        WebRow row;
        {
            const OnCore core(core_, caller.session);
            row = RowNamed(req);
        }
        const auto converted = audio_.Wav(row.row.path, Who(caller), Where(req));
        {
            const OnCore core(core_, caller.session);
            const auto now = Clock::now();
            std::erase_if(played_, [&](const auto& p) { return now - p.second > kOnePlaying; });
            const auto playing = std::make_pair(caller.session.csrf, row.key);  // the session, not its cookie
            if (std::string(act) != "play" || !played_.contains(playing)) {
                auto acting = ActingFor(req, caller);
                if (!player::Audit(act, row.row, "web", "ok"))
                    throw Refused{503, "the audit trail cannot be written; nothing is played or downloaded"};
                if (std::string(act) == "play") played_[playing] = now;
            }
        }
        res.set_header("Accept-Ranges", "bytes");
        res.set_header("Cache-Control", "no-store");
        // Handed out from the kept bytes, range by range, never copied whole.
        res.set_content_provider(converted->wav.size(), "audio/wav",
                                 [converted](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     return sink.write(converted->wav.data() + offset, length);
                                 });
    }

    void Audio(const httplib::Request& req, httplib::Response& res, const Caller& caller) {
        SendWav(req, res, caller, "play");
    }

    void Download(const httplib::Request& req, httplib::Response& res, const Caller& caller) {
        SendWav(req, res, caller, "download");
        res.set_header("Content-Disposition", "attachment; filename=\"call-" + std::string(req.matches[1]) + ".wav\"");
    }

    void Peaks(const httplib::Request& req, httplib::Response& res, const Caller& caller) {
        WebRow row;
        {
            const OnCore core(core_, caller.session);
            row = RowNamed(req);
        }
        const auto converted = audio_.Wav(row.row.path, Who(caller), Where(req));
        const player::Waveform& w = converted->waveform;
        std::string peaks;
        peaks.reserve(w.peaks.size() * 12);
        for (const auto& p : w.peaks)
            peaks += (peaks.empty() ? "" : ",") + std::to_string(p.low) + "," + std::to_string(p.high);
        Answer(res, 200,
               "{\"rate\":" + std::to_string(w.rate) + ",\"frames\":" + std::to_string(w.frames) + ",\"peaks\":[" +
                   peaks + "]}");
    }

    // POST .../note text=; .../tags add= or remove=; .../bookmarks second=
    // and label= to add, remove=SECOND to remove; .../hold reason= to place
    // (or give a new reason), release=1 to release. The store records each
    // change in the audit trail before making it, and refuses a hold where
    // the person's rights do not allow one.
    void Change(const httplib::Request& req, httplib::Response& res, const Caller& caller) {
        const std::string what = req.matches[2];
        const OnCore core(core_, caller.session);
        const WebRow row = RowNamed(req);
        auto acting = ActingFor(req, caller);
        const std::string& path = row.row.path;
        try {
            if (what == "note") {
                player::SaveNote(path, req.get_param_value("text"));
            } else if (what == "hold") {
                if (Param(req, "release") != "1")
                    player::PlaceHold(path, req.get_param_value("reason"));
                else if (!player::HoldOf(path))  // refused here: the store's words name the file
                    throw Refused{409, "the recording is not on hold; nothing was changed"};
                else
                    player::ReleaseHold(path);
            } else if (what == "tags") {
                if (const std::string add = Param(req, "add"); !add.empty()) player::AddTag(path, add);
                if (const std::string remove = Param(req, "remove"); !remove.empty()) player::RemoveTag(path, remove);
            } else {
                if (const std::string remove = Param(req, "remove"); !remove.empty())
                    player::RemoveBookmark(path, Second(remove));
                else
                    player::AddBookmark(path, Second(Param(req, "second")), req.get_param_value("label"));
            }
        } catch (const player::RunError& e) {
            throw Refused{e.Number() == player::kNotPermitted ? 403 : 400, player::Describe(e)};
        }
        Answer(res, 200, AnnotationsJson(player::LoadAnnotations(path)));
    }

    static std::int64_t Second(const std::string& text) {
        try {
            std::size_t used = 0;
            const long long s = std::stoll(text, &used);
            if (used == text.size() && s >= 0) return s;
        } catch (const std::exception&) {
        }
        throw Refused{400, "a bookmark's second is a whole number from 0, not \"" + text + "\""};
    }

    ServeOptions options_;
    Sessions sessions_;
    AudioConverter audio_;
    std::mutex core_;
    static constexpr std::chrono::seconds kOnePlaying{60};
    std::map<std::pair<std::string, std::string>, Clock::time_point> played_;  // by session and key
    const bool onSite_;
    std::jthread expiry_;  // last: stopped and joined before the sessions go
};

}  // namespace

int Serve(const ServeOptions& options) {
    // SIGINT and SIGTERM stop the service from a thread of its own that
    // waits for them (every other thread, started after, inherits the mask).
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::unique_ptr<httplib::Server> server;
    if (!options.tlsCert.empty()) {
        auto tls = std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
        if (!tls->is_valid()) {
            std::cerr << "calldeck: cannot load the certificate " << options.tlsCert << " and its key "
                      << options.tlsKey << "\n";
            return 1;
        }
        server = std::move(tls);
    } else {
        server = std::make_unique<httplib::Server>();
    }
    Service service(options);
    service.Route(*server);
    // A thread for each connection a browser keeps open: cpp-httplib holds a
    // thread for a kept-alive connection between its requests, so with its
    // default of 8 the ninth person waits for another's connection to end.
    // Idle threads cost their stacks' touched pages only. (cpp-httplib takes
    // the queue it is handed and deletes it.)
    server->new_task_queue = [] { return new httplib::ThreadPool(kConnectionThreads); };
    // An answer goes out in more than one write (its headers, then its
    // body, range by range): without TCP_NODELAY the next write of a kept-alive
    // connection waits for the browser's delayed ACK, up to 40 ms.
    server->set_tcp_nodelay(true);
    // A connection is closed after cpp-httplib's 5 requests, and the
    // browser opens another: that queues it behind those waiting, so 50
    // busy connections are served in turn (kept for 1000 requests, the
    // slowest 5 % of 50 connections' searches took 1.3 to 1.8 times as
    // long). The reconnections need a listen queue longer than its 5.
    server->set_payload_max_length(1 << 20);
    server->set_read_timeout(30, 0);
    int port = options.port;
    if (port == 0) {
        port = server->bind_to_any_port(options.host);
        if (port < 0) port = -1;
    } else if (!server->bind_to_port(options.host, port)) {
        port = -1;
    }
    if (port < 0) {
        std::cerr << "calldeck: cannot listen on " << options.host << ":" << options.port << "\n";
        return 1;
    }
    if (!LengthenListenQueue(port))
        player::WriteRunLog(
            "!WebServe the listen queue stays cpp-httplib's 5: a burst of connections may wait a second");
    const bool v6 = options.host.find(':') != std::string::npos;
    std::cout << "listening on " << (options.tlsCert.empty() ? "http" : "https") << "://"
              << (v6 ? "[" + options.host + "]" : options.host) << ":" << port << "/" << std::endl;
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stops, &signal);
        server->stop();
    });
    const bool listened = server->listen_after_bind();
    pthread_kill(stopper.native_handle(), SIGTERM);  // ends the wait when the server stopped by itself
    stopper.join();
    return listened ? 0 : 1;
}

}  // namespace calldeck::web
