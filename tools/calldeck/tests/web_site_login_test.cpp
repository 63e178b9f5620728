// calldeck serve on a site: a person logs in over HTTP with their own
// database login (password checked by the server the test starts), and the
// server's scopes bound what the web shows: an operator of channels 1-4
// finds only their rows, a channel-7 recording's key is 404 for everything,
// one of channel 2 plays by ranges, the site's audit chain names web:op1,
// and the login's connection ends with the session.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <httplib.h>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/server_session.h"
#include "platform/sqlstore/testing/test_server.h"
#include "player/core/index/site_file.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/staged_player.h"
#include "served_web.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using namespace calldeck::testing;
using platform::sqlstore::Connection;
using platform::sqlstore::testing::SharedTestServer;

namespace {

constexpr const char* kPassword = "op1 own secret";
constexpr int kIdle = 5;  // seconds; long enough that a busy machine does not end a session in use

std::shared_ptr<Connection> Admin() {
    auto conn = std::make_shared<Connection>();
    conn->ConnectionString = "provider=postgresql;data source=" + SharedTestServer().ConnectionInfo();
    conn->Open();
    return conn;
}

int Status(const httplib::Result& res) { return res ? res->status : -1; }

// The site's tables, roles and trail; op1, an operator of channels 1-4 with
// a password the server checks (every login but the owner's must give
// one); two calls of each of channels 1-8 on 2024-05-01; and calldeck serve
// on a desk whose site file names the server.
class ServedSite : public ::testing::Test {
protected:
    void SetUp() override {
        auto admin = Admin();
        for (const char* file : {"player/core/index/Player.pg.sql", "player/core/index/PlayerSite.roles.pg.sql",
                                 "player/core/audit/PlayerSite.audit.pg.sql"})
            admin->Server()->Run(SourceText(file));
        admin->Server()->Run("create role op1 login password '" + std::string(kPassword) +
                             "' in role calldeck_operator;"
                             "insert into SiteScopes values ('op1', '000[1-4]', '.*')");
        const std::string hba = admin->Server()->RunForValue("show hba_file");
        admin->Server()->Run(
            "copy (select line from (values (1, 'local all calldeck trust'),"
            " (2, 'local all all scram-sha-256')) v (n, line) order by n) to '" +
            hba + "'");
        admin->Server()->RunForValue("select pg_reload_conf()");

        std::string samples(16000, '\0');
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<char>((i * 11) ^ 0x2a);
        wav_ = ALawWavHeader(static_cast<std::uint32_t>(samples.size())) + samples;
        for (int channel = 1; channel <= 8; ++channel)
            for (int n = 0; n < 2; ++n) {
                const std::string ch = "000" + std::to_string(channel);
                const fs::path file = staged_.Folder() / "calls" / (ch + "-" + std::to_string(n) + ".WAV");
                fs::create_directories(file.parent_path());
                WriteBytes(file, wav_);
                admin->Server()->Run(
                    "insert into RecordFileInfo (MainFolder, FileFullName, RecordDateTime, RecordChannel, CallNumber,"
                    " RecordDuration, CallDirection) values ($1, $2, $3, $4, '555', '00:00:02', 'IN')",
                    {file.parent_path().string(), file.string(),
                     "2024-05-01 12:0" + std::to_string(channel) + ":1" + std::to_string(n), ch});
            }
        WaitForPasswords();

        std::ofstream(staged_.Folder() / kSiteFileName) << SharedTestServer().ConnectionInfo() << "\n";
        serve_.emplace(staged_.Folder() / "serve", std::vector<std::string>{"--idle-timeout", std::to_string(kIdle)});
        ASSERT_NE(serve_->Port(), 0);
    }

    // The server reads its new client rules after the reload, a moment later.
    static void WaitForPasswords() {
        for (int tries = 0; tries < 50; ++tries) {
            try {
                Connection probe;
                probe.ConnectionString = "provider=postgresql;data source=" + SharedTestServer().ConnectionInfo();
                probe.User = "op1";
                probe.Password = "not op1's";
                probe.Open();
            } catch (const std::exception&) {
                return;  // a wrong password is refused now
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        FAIL() << "the test server did not come to ask for passwords";
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", serve_->Port());
        client.set_default_headers({{"User-Agent", "calldeck-site-test/1.0"}});
        client.set_read_timeout(60, 0);
        return client;
    }

    static long Op1Sessions() {
        return std::stol(Admin()->Server()->RunForValue("select count(*) from pg_stat_activity where usename = 'op1'"));
    }

    fs::path Call(int channel, int n) const {
        return staged_.Folder() / "calls" / ("000" + std::to_string(channel) + "-" + std::to_string(n) + ".WAV");
    }

    StagedPlayer staged_;
    std::string wav_;
    std::optional<RunningServe> serve_;
};

}  // namespace

TEST_F(ServedSite, AnOperatorLogsInAsThemselvesAndTheServersScopesBoundTheWeb) {
    auto client = Client();
    for (const auto& [name, password] :
         {std::pair<std::string, std::string>{"op1", "a guess"}, {"op1", ""}, {"calldeck_operator", kPassword}})
        EXPECT_EQ(Status(client.Post("/api/login", httplib::Params{{"name", name}, {"password", password}})), 401)
            << name << " logged in with a password the server does not know";
    EXPECT_EQ(Op1Sessions(), 0) << "a refused login left a connection open";
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // after three failures, a second's wait
    auto login = client.Post("/api/login", httplib::Params{{"name", "op1"}, {"password", kPassword}});
    ASSERT_EQ(Status(login), 200) << "op1 could not log in with their own password: " << (login ? login->body : "");
    const std::string setCookie = login->get_header_value("Set-Cookie");
    const std::string csrf = login->body.substr(login->body.find("\"csrf\":\"") + 8, 64);
    const httplib::Headers session{{"Cookie", setCookie.substr(0, setCookie.find(';'))}};
    EXPECT_GE(Op1Sessions(), 1) << "the service did not connect to the server as op1";
    // A login the server lets in without asking its password (the owner,
    // whom this server trusts) proves no person: refused as a wrong one.
    EXPECT_EQ(Status(client.Post("/api/login", httplib::Params{{"name", "calldeck"}, {"password", "anything"}})), 401)
        << "the web let the owner in on a password the server never asked for";

    // The day's search: the rows of channels 1-4 only.
    auto found = client.Get("/api/search?start=2024-05-01%2000:00:00&end=2024-05-01%2023:59:59", session);
    ASSERT_EQ(Status(found), 200);
    EXPECT_NE(found->body.find("\"total\":8,"), std::string::npos) << "op1 did not find their 8 calls: " << found->body;
    std::set<std::string> channels;
    for (auto at = found->body.find("\"channel\":\""); at != std::string::npos;
         at = found->body.find("\"channel\":\"", at + 1))
        channels.insert(found->body.substr(at + 11, 4));
    EXPECT_EQ(channels, (std::set<std::string>{"0001", "0002", "0003", "0004"}))
        << "the web showed channels outside op1's scope: " << found->body;

    // A call of channel 7: its key, made as anyone would make it, is no
    // recording for op1, whatever is asked of it.
    const std::string hidden = "/api/recordings/20240501T120710-0007-" + PathHash(Call(7, 0).string());
    httplib::Headers change = session;
    change.emplace("X-CSRF-Token", csrf);
    EXPECT_EQ(Status(client.Get(hidden + "/audio", session)), 404) << "op1 played a call outside their scope";
    EXPECT_EQ(Status(client.Get(hidden + "/download", session)), 404) << "op1 downloaded a call outside their scope";
    EXPECT_EQ(Status(client.Get(hidden + "/peaks", session)), 404)
        << "op1 saw the waveform of a call outside their scope";
    EXPECT_EQ(Status(client.Get(hidden, session)), 404) << "op1 read the notes of a call outside their scope";
    EXPECT_EQ(Status(client.Post(hidden + "/note", change, httplib::Params{{"text", "mine"}})), 404)
        << "op1 wrote a note on a call outside their scope";

    // A call of channel 2 plays, range by range.
    const std::string key = "20240501T120211-0002-" + PathHash(Call(2, 1).string());
    EXPECT_NE(found->body.find("\"key\":\"" + key + "\""), std::string::npos) << "the search gave another key";
    httplib::Headers range = session;
    range.emplace("Range", "bytes=100-199");
    auto part = client.Get("/api/recordings/" + key + "/audio", range);
    ASSERT_EQ(Status(part), 206) << (part ? part->body : "no answer");
    EXPECT_EQ(part->body, wav_.substr(100, 100)) << "the range's bytes are not the recording's";

    // The site's chain holds the play, naming the web user, their login,
    // address and browser; nothing of channel 7.
    const auto audit =
        Admin()->Query("select UserName, Host, FileFullName from SiteAudit where Act = 'play' order by Seq");
    ASSERT_EQ(audit.size(), 1u) << "the site's audit chain does not hold exactly the one play";
    EXPECT_EQ(audit[0][0], "web:op1 (role op1)") << "the play does not name the web user and their login";
    EXPECT_EQ(audit[0][1], "127.0.0.1 calldeck-site-test/1.0") << "the play does not name the address and browser";
    EXPECT_EQ(audit[0][2], Call(2, 1).string()) << "the play names another recording";

    // Logout ends op1's connections with the session, and so does a
    // session left idle, with no request or login after it.
    const auto gone = [] {
        long open = -1;
        for (int tries = 0; tries < 50 && (open = Op1Sessions()) != 0; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return open == 0;
    };
    EXPECT_EQ(Status(client.Post("/api/logout", change, httplib::Params{})), 200);
    EXPECT_EQ(Status(client.Get("/api/search?start=2024-05-01%2000:00:00", session)), 401);
    EXPECT_TRUE(gone()) << "op1's connections to the server outlived the logout";
    ASSERT_EQ(Status(client.Post("/api/login", httplib::Params{{"name", "op1"}, {"password", kPassword}})), 200);
    EXPECT_GE(Op1Sessions(), 1);
    std::this_thread::sleep_for(std::chrono::seconds(kIdle));
    EXPECT_TRUE(gone()) << "op1's connection outlived the idle session";

    // The password is in none of the desk's files: the run log, the audit
    // files, the service's output.
    for (const auto& file : fs::recursive_directory_iterator(staged_.Folder())) {
        if (!file.is_regular_file()) continue;
        EXPECT_EQ(ReadBytes(file.path()).find(kPassword), std::string::npos) << file.path() << " holds op1's password";
    }
}
