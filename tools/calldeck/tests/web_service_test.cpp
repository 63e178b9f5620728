// calldeck serve over HTTP, started by the test on a staged desk: a web user
// made by "calldeck web-user add" logs in (and a wrong password does not),
// a change without the CSRF token is refused, a session ends when idle and
// at logout, failed logins are slowed down; a recording is named by its key
// only (a path or ".." in a parameter refused, an unknown key 404), which
// names the same call after a rebuild of the index, its ranges are the
// right bytes, a hold placed is found by the held-only search and
// released, and every play, download, note change and hold is an audit
// record naming the web user, their address and their browser.
// Under HTTPS, its own or a reverse proxy's, the cookie is marked Secure.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "player/core/audit/audit_record.h"
#include "player/core/index/record_database.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/encrypted_recordings.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/staged_player.h"
#include "served_web.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using namespace calldeck::testing;

namespace {

constexpr const char* kBrowser = "calldeck-web-test/1.0";

// A desk with one A-law WAV recording indexed (and, when asked, the same
// call encrypted by the recorder beside it, the next day) and the web user
// alice.
class ServedDesk {
public:
    explicit ServedDesk(std::vector<std::string> serveOptions = {}, bool withEncrypted = false) {
        staged_.Start();
        recording_ = staged_.Folder() / "calls" / "a.WAV";
        fs::create_directories(recording_.parent_path());
        std::string samples(24000, '\0');
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<char>((i * 7) ^ 0x55);
        wav_ = ALawWavHeader(static_cast<std::uint32_t>(samples.size())) + samples;
        WriteBytes(recording_, wav_);
        InsertFileInfo({true, recording_.string(), "2024-05-01 12:00:10", "0003", "555", "00:00:03", "IN"});
        if (withEncrypted) {
            staged_.StageLibrary("VelkCodec.so");
            const fs::path encrypted = recording_.parent_path() / "bE.WAV";
            Encrypt(recording_, 0, encrypted);
            InsertFileInfo({true, encrypted.string(), "2024-05-02 09:30:00", "0003", "555", "00:00:03", "IN"});
        }
        CloseAccess();
        const std::string add = "printf 'correct horse\\n' | '" CALLDECK_PROGRAM "' web-user add alice >/dev/null";
        EXPECT_EQ(std::system(add.c_str()), 0) << "calldeck web-user add did not store the user";
        serve_.emplace(staged_.Folder() / "serve", std::move(serveOptions));
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", Port());
        client.set_default_headers({{"User-Agent", kBrowser}});
        client.set_read_timeout(60, 0);
        return client;
    }

    // Logs in; the session cookie ("calldeck_session=...") and the CSRF token.
    std::pair<std::string, std::string> LogIn(const std::string& password = "correct horse") const {
        auto res = Client().Post("/api/login", httplib::Params{{"name", "alice"}, {"password", password}});
        if (!res || res->status != 200) {
            ADD_FAILURE() << "alice could not log in: " << (res ? res->body : "no answer");
            return {};
        }
        const std::string cookie = res->get_header_value("Set-Cookie");
        const auto csrf = res->body.find("\"csrf\":\"");
        return {cookie.substr(0, cookie.find(';')), res->body.substr(csrf + 8, 64)};
    }

    int Port() const { return serve_->Port(); }
    const fs::path& Folder() const { return staged_.Folder(); }
    const std::string& Wav() const { return wav_; }
    const fs::path& Recording() const { return recording_; }

    std::vector<AuditRecord> AuditRecords() const {
        std::vector<AuditRecord> records;
        for (const auto& file : fs::directory_iterator(Folder() / "PlayerAudit")) {
            if (file.path().extension() != ".tsv") continue;
            std::ifstream in(file.path());
            for (std::string line; std::getline(in, line);)
                if (const auto fields = SplitAuditLine(line)) records.push_back(RecordOf(*fields));
        }
        return records;
    }

private:
    StagedPlayer staged_;
    fs::path recording_;
    std::string wav_;
    std::optional<RunningServe> serve_;
};

int Status(const httplib::Result& res) { return res ? res->status : -1; }

struct FoundRow {
    std::string key, dateTime;
};

// The rows of a search's or a recording's answer: each one's key (a number
// or a text, as the service gives it) and time.
std::vector<FoundRow> RowsOf(const std::string& body) {
    std::vector<FoundRow> rows;
    for (std::size_t at = body.find("\"key\":"); at != std::string::npos; at = body.find("\"key\":", at + 1)) {
        const std::size_t from = at + 6, end = body.find(',', from);
        std::string key = body.substr(from, end - from);
        if (key.size() >= 2 && key.front() == '"') key = key.substr(1, key.size() - 2);
        const std::size_t time = body.find("\"dateTime\":\"", end) + 12;
        rows.push_back({key, body.substr(time, body.find('"', time) - time)});
    }
    return rows;
}

// The key of the one recording a search of 2024-05-01 finds.
std::string KeyOfTheDay(httplib::Client& client, const httplib::Headers& session) {
    auto found = client.Get("/api/search?start=2024-05-01%2000:00:00&end=2024-05-01%2023:59:59", session);
    const auto rows = found ? RowsOf(found->body) : std::vector<FoundRow>{};
    if (rows.size() != 1) {
        ADD_FAILURE() << "the search of the day did not find the one recording: "
                      << (found ? found->body : "no answer");
        return "none";
    }
    return rows[0].key;
}

}  // namespace

TEST(WebService, LogsInWithTheRightPasswordOnlyAndGuardsTheSession) {
    ServedDesk desk({"--idle-timeout", "5"});
    struct stat users {
    }, folder{};
    ASSERT_EQ(::stat((desk.Folder() / "PlayerWebUsers").c_str(), &users), 0) << "the web users' file was not made";
    ::stat(desk.Folder().c_str(), &folder);
    EXPECT_EQ(users.st_mode & 0777, 0600u) << "the web users' file can be read by others";
    EXPECT_EQ(folder.st_mode & 0777, 0700u) << "the state folder can be read by others";
    EXPECT_EQ(ReadBytes(desk.Folder() / "PlayerWebUsers").find("correct horse"), std::string::npos)
        << "the password itself was stored";
    const Ran list = RunProgram(CALLDECK_PROGRAM, {"web-user", "list"}, desk.Folder());
    EXPECT_EQ(list.out, "alice\n") << "web-user list: " << list.err;

    auto client = desk.Client();
    EXPECT_EQ(Status(client.Get("/api/session")), 401) << "a request without a session was answered";
    EXPECT_EQ(Status(client.Post("/api/login", httplib::Params{{"name", "alice"}, {"password", "wrong horse"}})), 401)
        << "a wrong password logged in";
    auto login = client.Post("/api/login", httplib::Params{{"name", "alice"}, {"password", "correct horse"}});
    ASSERT_EQ(Status(login), 200) << "the right password did not log in";
    const std::string setCookie = login->get_header_value("Set-Cookie");
    EXPECT_NE(setCookie.find("HttpOnly"), std::string::npos) << "the session cookie is readable by scripts";
    EXPECT_NE(setCookie.find("SameSite=Strict"), std::string::npos) << "the session cookie goes to other sites";
    const auto [cookie, csrf] = desk.LogIn();
    EXPECT_EQ(cookie.size(), std::string("calldeck_session=").size() + 64) << "the token is not 256 bits: " << cookie;

    const httplib::Headers session{{"Cookie", cookie}};
    EXPECT_EQ(Status(client.Get("/api/session", session)), 200) << "the session was not known";
    const std::string recording = "/api/recordings/" + KeyOfTheDay(client, session);
    auto noToken = client.Post(recording + "/note", session, httplib::Params{{"text", "forged"}});
    EXPECT_EQ(Status(noToken), 403) << "a note change without the CSRF token was taken";
    httplib::Headers wrongToken = session;
    wrongToken.emplace("X-CSRF-Token", std::string(64, '0'));
    EXPECT_EQ(Status(client.Post(recording + "/note", wrongToken, httplib::Params{{"text", "forged"}})), 403)
        << "a note change with a wrong CSRF token was taken";
    auto detail = client.Get(recording, session);
    ASSERT_EQ(Status(detail), 200);
    EXPECT_NE(detail->body.find("\"note\":\"\""), std::string::npos) << "a refused change was stored: " << detail->body;

    // Logout ends the session; an idle one ends by itself.
    httplib::Headers withToken = session;
    withToken.emplace("X-CSRF-Token", csrf);
    EXPECT_EQ(Status(client.Post("/api/logout", withToken, httplib::Params{})), 200);
    EXPECT_EQ(Status(client.Get("/api/session", session)), 401) << "the session lived on after logout";
    const auto [idleCookie, idleCsrf] = desk.LogIn();
    std::this_thread::sleep_for(std::chrono::seconds(6));
    EXPECT_EQ(Status(client.Get("/api/session", {{"Cookie", idleCookie}})), 401)
        << "a session idle past its timeout was still taken";

    // Failed logins: three are answered, then the address and the name wait.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Status(client.Post("/api/login", httplib::Params{{"name", "alice"}, {"password", "guess"}})), 401);
    auto slowed = client.Post("/api/login", httplib::Params{{"name", "alice"}, {"password", "correct horse"}});
    EXPECT_EQ(Status(slowed), 429) << "the fourth login after three failures was not made to wait";
    if (slowed) {
        EXPECT_FALSE(slowed->get_header_value("Retry-After").empty()) << "the wait was not said";
    }
}

TEST(WebService, NamesRecordingsByKeyServesRangesAndAuditsEveryAct) {
    ServedDesk desk;
    const auto [cookie, csrf] = desk.LogIn();
    auto client = desk.Client();
    const httplib::Headers session{{"Cookie", cookie}};

    auto found = client.Get("/api/search?start=2024-05-01%2000:00:00&end=2024-05-01%2023:59:59&channel=3", session);
    ASSERT_EQ(Status(found), 200);
    EXPECT_NE(found->body.find("\"total\":1"), std::string::npos) << found->body;
    const auto rows = RowsOf(found->body);
    ASSERT_EQ(rows.size(), 1u) << found->body;
    EXPECT_EQ(rows[0].key, "20240501T120010-0003-" + PathHash(desk.Recording().string()))
        << "the key is not the row's time, channel and path hash";
    EXPECT_EQ(found->body.find(desk.Recording().string()), std::string::npos) << "the search gave the path away";
    const std::string recording = "/api/recordings/" + rows[0].key;

    for (const char* refused : {"/api/search?number=/etc/passwd", "/api/search?tag=..", "/api/recordings/..%2F1/audio",
                                "/api/recordings/x/audio?file=%2Fetc%2Fpasswd"})
        EXPECT_EQ(Status(client.Get(refused, session)), 400) << refused << " was not refused";
    // A key of no row, and keys of no key's form (a day that is none
    // among them), are 404, never a failure.
    for (const std::string& unknown :
         {"20240501T120010-0003-" + PathHash("/elsewhere.WAV"), std::string("2"), std::string("abc"),
          "20240231T120010-0003-" + PathHash(desk.Recording().string()),
          "20240501T120010-0003-" + PathHash(desk.Recording().string()).substr(1),
          "20240501T120010--" + PathHash(desk.Recording().string())})
        for (const char* what : {"/audio", "/peaks", ""})
            EXPECT_EQ(Status(client.Get("/api/recordings/" + unknown + what, session)), 404)
                << "the key " << unknown << " was answered on " << what;

    httplib::Headers range = session;
    range.emplace("Range", "bytes=100-199");
    auto part = client.Get(recording + "/audio", range);
    ASSERT_EQ(Status(part), 206) << "a range was not answered as one";
    EXPECT_EQ(part->body, desk.Wav().substr(100, 100)) << "the range's bytes are not the recording's";
    EXPECT_EQ(part->get_header_value("Content-Range"), "bytes 100-199/" + std::to_string(desk.Wav().size()));
    auto whole = client.Get(recording + "/audio", session);
    ASSERT_EQ(Status(whole), 200);
    EXPECT_EQ(whole->body, desk.Wav()) << "the played WAV is not the recording the player would play";
    auto download = client.Get(recording + "/download", session);
    ASSERT_EQ(Status(download), 200);
    EXPECT_NE(download->get_header_value("Content-Disposition").find("attachment"), std::string::npos);
    auto peaks = client.Get(recording + "/peaks", session);
    ASSERT_EQ(Status(peaks), 200);
    EXPECT_NE(peaks->body.find("\"rate\":8000,\"frames\":24000"), std::string::npos) << peaks->body.substr(0, 80);
    EXPECT_TRUE(fs::is_empty(desk.Folder() / "webTmp")) << "a converted copy outlived its request";

    httplib::Headers change = session;
    change.emplace("X-CSRF-Token", csrf);
    auto noted = client.Post(recording + "/note", change, httplib::Params{{"text", "asked for a refund"}});
    ASSERT_EQ(Status(noted), 200) << (noted ? noted->body : "");
    EXPECT_EQ(Status(client.Post(recording + "/tags", change, httplib::Params{{"add", "refund"}})), 200);
    EXPECT_EQ(Status(client.Post(recording + "/bookmarks", change,
                                 httplib::Params{{"second", "2"}, {"label", "the amount"}})),
              200);
    auto detail = client.Get(recording, session);
    ASSERT_EQ(Status(detail), 200);
    EXPECT_NE(detail->body.find("\"note\":\"asked for a refund\",\"tags\":[\"refund\"],\"bookmarks\":[{\"second\":2,"
                                "\"label\":\"the amount\"}]"),
              std::string::npos)
        << detail->body;
    auto byTag = client.Get("/api/search?start=2024-05-01%2000:00:00&end=2024-05-01%2023:59:59&tag=refund", session);
    ASSERT_EQ(Status(byTag), 200);
    EXPECT_NE(byTag->body.find("\"total\":1"), std::string::npos) << "the tag condition did not find the row";

    // A hold: placed with its reason, shown on the row the held-only search
    // finds, released; a blank reason and a release of nothing are refused.
    const std::string heldOnly = "/api/search?start=2024-05-01%2000:00:00&end=2024-05-01%2023:59:59&held=1";
    const auto heldTotal = [&] {
        auto found = client.Get(heldOnly, session);
        return Status(found) == 200 ? found->body.substr(0, found->body.find(",\"rows\"")) : "no answer";
    };
    EXPECT_NE(heldTotal().find("\"total\":0"), std::string::npos) << "the held-only search found a row not held";
    EXPECT_EQ(Status(client.Post(recording + "/hold", session, httplib::Params{{"reason", "forged"}})), 403)
        << "a hold without the CSRF token was placed";
    auto blank = client.Post(recording + "/hold", change, httplib::Params{{"reason", "  "}});
    EXPECT_EQ(Status(blank), 400) << "a hold without a reason was placed";
    auto held = client.Post(recording + "/hold", change, httplib::Params{{"reason", "dispute 4711"}});
    ASSERT_EQ(Status(held), 200) << (held ? held->body : "");
    EXPECT_NE(held->body.find("\"hold\":{\"reason\":\"dispute 4711\",\"by\":\"web:alice\""), std::string::npos)
        << "the hold does not name its reason and the web user: " << held->body;
    auto heldRows = client.Get(heldOnly, session);
    ASSERT_EQ(Status(heldRows), 200);
    EXPECT_NE(heldRows->body.find("\"total\":1,\"rows\":[{\"key\":\"" + rows[0].key + "\","), std::string::npos)
        << "the held-only search did not find exactly the held row: " << heldRows->body;
    EXPECT_NE(heldRows->body.find("\"hold\":{\"reason\":\"dispute 4711\""), std::string::npos)
        << "the found row does not show its hold: " << heldRows->body;
    auto released = client.Post(recording + "/hold", change, httplib::Params{{"release", "1"}});
    ASSERT_EQ(Status(released), 200) << (released ? released->body : "");
    EXPECT_NE(released->body.find("\"hold\":null"), std::string::npos) << "the hold stayed: " << released->body;
    auto again = client.Post(recording + "/hold", change, httplib::Params{{"release", "1"}});
    EXPECT_EQ(Status(again), 409) << "a release of a recording not held was taken";
    EXPECT_EQ(again ? again->body.find(desk.Recording().string()) : 0, std::string::npos)
        << "the refusal gave the recording's path away: " << (again ? again->body : "");
    EXPECT_NE(heldTotal().find("\"total\":0"), std::string::npos) << "the released row is still found as held";

    // One play (the range from byte 100 opened it; the whole WAV within the
    // minute is the same listening), one download, and
    // the three changes, the hold placed and released, each naming the web
    // user, address and browser.
    std::vector<std::string> acts;
    for (const AuditRecord& r : desk.AuditRecords()) {
        if (r.act == kActContinue) continue;
        acts.push_back(r.act == "hold" ? "hold " + r.result + " " + r.target : r.act);
        EXPECT_EQ(r.user, "web:alice") << r.act << " does not name the web user";
        EXPECT_EQ(r.host, std::string("127.0.0.1 ") + kBrowser) << r.act << " does not name the address and browser";
        EXPECT_EQ(r.row.path, desk.Recording().string()) << r.act << " names another recording";
    }
    EXPECT_EQ(acts, (std::vector<std::string>{"play", "download", "note", "tag", "bookmark", "hold placed dispute 4711",
                                              "hold released dispute 4711"}));
}

// The service's conversion worker decrypts an encrypted recording for the
// web user: its audit record names them, their address and browser, not
// the account the service runs as.
TEST(WebService, AnEncryptedRecordingIsDecryptedInTheWebUsersName) {
    ServedDesk desk({}, true);
    const auto [cookie, csrf] = desk.LogIn();
    auto client = desk.Client();
    const httplib::Headers session{{"Cookie", cookie}};
    auto found = client.Get("/api/search?start=2024-05-02%2000:00:00&end=2024-05-02%2023:59:59", session);
    ASSERT_EQ(Status(found), 200);
    const auto rows = RowsOf(found->body);
    ASSERT_EQ(rows.size(), 1u) << "the encrypted call was not found: " << found->body;
    auto played = client.Get("/api/recordings/" + rows[0].key + "/audio", session);
    ASSERT_EQ(Status(played), 200) << (played ? played->body : "no answer");
    EXPECT_EQ(played->body, desk.Wav()) << "the decrypted call is not the recording that was encrypted";
    int decrypted = 0;
    for (const AuditRecord& r : desk.AuditRecords()) {
        if (r.act != "decrypt") continue;
        ++decrypted;
        EXPECT_EQ(r.user, "web:alice") << "the decryption does not name the web user";
        EXPECT_EQ(r.host, std::string("127.0.0.1 ") + kBrowser) << "the decryption does not name the address and browser";
    }
    EXPECT_EQ(decrypted, 1) << "the web play's decryption was not recorded once";
}

TEST(WebService, MarksTheCookieSecureUnderHttpsAndBehindAProxy) {
    const fs::path keys = fs::temp_directory_path() / ("calldeck-web-tls-" + std::to_string(::getpid()));
    fs::create_directories(keys);
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout '" +
                             (keys / "key.pem").string() + "' -out '" + (keys / "cert.pem").string() +
                             "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0) << "openssl could not make a test certificate";
    {
        ServedDesk desk({"--tls-cert", (keys / "cert.pem").string(), "--tls-key", (keys / "key.pem").string()});
        httplib::SSLClient client("127.0.0.1", desk.Port());
        client.enable_server_certificate_verification(false);
        auto login = client.Post("/api/login", httplib::Params{{"name", "alice"}, {"password", "correct horse"}});
        ASSERT_EQ(Status(login), 200) << "no login over HTTPS";
        EXPECT_NE(login->get_header_value("Set-Cookie").find("; Secure"), std::string::npos)
            << "the cookie may go over plain HTTP: " << login->get_header_value("Set-Cookie");
        httplib::Client plain("127.0.0.1", desk.Port());
        const auto answer = plain.Get("/api/session");
        EXPECT_TRUE(!answer || answer->status != 401) << "the HTTPS port answered plain HTTP";
    }
    fs::remove_all(keys);

    // Behind a proxy the address is the one the proxy appended, in the
    // login waits and in the audit records alike.
    ServedDesk desk({"--behind-https-proxy"});
    auto client = desk.Client();
    const httplib::Headers forwarded{{"X-Forwarded-For", "198.51.100.1, 203.0.113.9"}};
    auto login =
        client.Post("/api/login", forwarded, httplib::Params{{"name", "alice"}, {"password", "correct horse"}});
    ASSERT_EQ(Status(login), 200);
    EXPECT_NE(login->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
    const std::string setCookie = login->get_header_value("Set-Cookie");
    httplib::Headers session = forwarded;
    session.emplace("Cookie", setCookie.substr(0, setCookie.find(';')));
    ASSERT_EQ(Status(client.Get("/api/recordings/" + KeyOfTheDay(client, session) + "/audio", session)), 200);
    const auto records = desk.AuditRecords();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().host, std::string("203.0.113.9 ") + kBrowser)
        << "the play is not recorded with the address the proxy saw";
}

// A rebuild of the index numbers its rows anew: a key taken before it (a
// page left open, a link sent on) names the same recording after it, or
// none when the recording is gone, never another call.
TEST(WebService, AKeyNamesTheSameRecordingAfterARebuild) {
    ServedDesk desk;
    const fs::path calls = desk.Folder() / "scanned";
    fs::create_directories(desk.Folder() / "scan");
    const auto scan = [&] {
        const Ran ran = RunProgram(CALLDECK_PROGRAM, {"scan", "--main-folder", calls.string()}, desk.Folder() / "scan");
        ASSERT_EQ(ran.code, 0) << "calldeck scan failed: " << ran.err;
    };
    for (int n = 1; n <= 5; ++n) MakeFile(calls / CallName(n), 8000);
    scan();
    const auto [cookie, csrf] = desk.LogIn();
    auto client = desk.Client();
    const httplib::Headers session{{"Cookie", cookie}};
    const std::string day = "/api/search?start=2024-05-01%2000:00:00&end=2024-05-01%2023:59:59";
    auto before = client.Get(day, session);
    ASSERT_EQ(Status(before), 200);
    const auto rows = RowsOf(before->body);
    ASSERT_EQ(rows.size(), 5u) << "the scan did not index the five calls: " << before->body;

    // The first two calls go, two new ones come, and the index is rebuilt.
    fs::remove(calls / CallName(1));
    fs::remove(calls / CallName(2));
    MakeFile(calls / CallName(6), 8000);
    MakeFile(calls / CallName(7), 8000);
    scan();
    for (const FoundRow& old : rows) {
        const bool gone = old.dateTime == "2024-05-01 12:00:11" || old.dateTime == "2024-05-01 12:00:12";
        auto now = client.Get("/api/recordings/" + old.key, session);
        if (gone) {
            EXPECT_EQ(Status(now), 404) << "the key of the call of " << old.dateTime
                                        << ", no longer indexed, named another one: " << (now ? now->body : "");
            continue;
        }
        ASSERT_EQ(Status(now), 200) << "the key of the call of " << old.dateTime << " was lost in the rebuild";
        const auto found = RowsOf(now->body);
        ASSERT_EQ(found.size(), 1u) << now->body;
        EXPECT_EQ(found[0].dateTime, old.dateTime) << "the key of a call named another call after the rebuild";
        EXPECT_EQ(found[0].key, old.key);
    }
}
