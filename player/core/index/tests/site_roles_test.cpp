// A site where each person connects as themselves: the server, not the
// desk, bounds what each may see and change. Operators, supervisors and
// recorders are login roles of a test server of the test's own, made
// members of the site's group roles (PlayerSite.roles.pg.sql); they search,
// delete and scan through the player, through calldeck processes of their
// own desks and through hand-written statements, and the site's audit
// trail (PlayerSite.audit.pg.sql) takes the records of several desks at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "platform/sqlstore/server_session.h"
#include "platform/sqlstore/testing/test_server.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/audit/audit_verify.h"
#include "player/core/files/delete_files.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/search_conditions.h"
#include "player/core/index/site_file.h"
#include "player/core/index/site_login.h"
#include "player/core/notes/notes_store.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using platform::sqlstore::testing::SharedTestServer;

namespace {

// The server's connection line as `login` (the superuser's when empty).
std::string LineAs(const std::string& login) {
    std::string line = SharedTestServer().ConnectionInfo();
    if (!login.empty()) line.replace(line.find("user=calldeck"), 13, "user=" + login);
    return line;
}

std::shared_ptr<Connection> ConnectAs(const std::string& login) {
    auto conn = std::make_shared<Connection>();
    conn->ConnectionString = "provider=postgresql;data source=" + LineAs(login);
    conn->Open();
    return conn;
}

std::string Script(const std::string& file) {
    const char* source = std::getenv("CALLDECK_SOURCE_DIR");
    if (!source) throw std::runtime_error("CALLDECK_SOURCE_DIR is not set");
    std::ifstream in(fs::path(source) / file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty()) throw std::runtime_error(file + " cannot be read");
    return text;
}

// A recording of `channel` (1-99) on 2024-05-01, in the recorder's name format.
std::string ChannelCall(int channel, int n) {
    const std::string ch = (channel < 10 ? "000" : "00") + std::to_string(channel);
    return "2024050112" + std::to_string(10 + n) + "10" + ch + std::to_string(5550000 + n) + "1.VOC";
}

class SiteRoles : public ::testing::Test {
protected:
    // The site's tables, roles and audit trail as its administrator makes
    // them; the logins of the test; the player started as the superuser
    // (the tables' owner, whom no scope binds).
    void SetUp() override {
        auto admin = ConnectAs("");
        for (const char* file : {"player/core/index/Player.pg.sql", "player/core/index/PlayerSite.roles.pg.sql",
                                 "player/core/audit/PlayerSite.audit.pg.sql"})
            admin->Server()->Run(Script(file));
        // Running the scripts again changes nothing (an administrator may).
        admin->Server()->Run(Script("player/core/index/PlayerSite.roles.pg.sql"));
        admin->Server()->Run(Script("player/core/audit/PlayerSite.audit.pg.sql"));
        admin->Server()->Run(
            "create role op1 login in role calldeck_operator;"
            "create role op2 login in role calldeck_operator;"  // no scope of its own
            "create role sup1 login in role calldeck_supervisor;"
            "create role rec1 login in role calldeck_recorder;"
            "create role aud1 login in role calldeck_auditor;"
            "insert into SiteScopes values ('op1', '000[1-4]', '.*'), ('sup1', '000[1-4]', '.*')");
        std::ofstream(staged_.Folder() / kSiteFileName) << LineAs("") << "\n";
        staged_.Start();
    }

    // Recordings of channels 1 to 8, three each, under `folder`, indexed.
    void IndexChannels(const fs::path& folder) {
        for (int channel = 1; channel <= 8; ++channel)
            for (int n = 0; n < 3; ++n) MakeFile(folder / ChannelCall(channel, n), 8000);
        ASSERT_EQ(RebuildRecordIndex(folder.string()), 24) << "the owner's scan did not index every recording";
    }
    // The channels of the rows `conn` sees, and how many rows.
    static std::pair<std::set<std::string>, long> Seen(Connection& conn, const std::string& sql) {
        auto self = std::shared_ptr<Connection>(&conn, [](Connection*) {});
        Recordset rs;
        rs.Open(sql, self);
        std::set<std::string> channels;
        long rows = 0;
        for (; !rs.Eof(); rs.MoveNext(), ++rows) channels.insert(rs.Field("RecordChannel"));
        return {channels, rows};
    }
    static long AllRows() { return std::stol(ConnectAs("")->Server()->RunForValue("select count(*) from RecordFileInfo")); }

    // A desk of its own whose site file names `login`.
    fs::path Desk(const std::string& name, const std::string& login) {
        const fs::path folder = staged_.Folder() / name;
        fs::create_directories(folder);
        std::ofstream(folder / kSiteFileName) << LineAs(login) << "\n";
        return folder;
    }
    static Ran RunCalldeck(const fs::path& desk, const std::vector<std::string>& args) {
        return RunProgram(CALLDECK_PROGRAM, args, desk, {"CALLDECK_PROGRAM_FOLDER=" + desk.string()});
    }

    StagedPlayer staged_;
};

const std::set<std::string> kChannelsOneToFour{"0001", "0002", "0003", "0004"};

}  // namespace

TEST_F(SiteRoles, AnOperatorSeesOnlyTheirScopesWhateverTheyAskAndChangesNothing) {
    IndexChannels(staged_.Folder() / "recorder-a");

    auto op = ConnectAs("op1");
    const auto [channels, rows] = Seen(*op, "select * from RecordFileInfo");
    EXPECT_EQ(channels, kChannelsOneToFour) << "a hand-written select showed channels outside the operator's scope";
    EXPECT_EQ(rows, 12);
    EXPECT_EQ(Seen(*ConnectAs("op2"), "select * from RecordFileInfo").second, 0)
        << "an operator without a scope saw rows";
    ConnectAs("")->Server()->Run("create role op4 login in role calldeck_operator;"
                                 "insert into SiteScopes values ('op4', '000[5-6]', '55500011')");
    const auto [numberChannels, numberRows] =
        Seen(*ConnectAs("op4"), "select * from RecordFileInfo where RecordChannel <> '0001'");
    EXPECT_EQ(numberChannels, (std::set<std::string>{"0005", "0006"})) << "a scope by channel and number";
    EXPECT_EQ(numberRows, 2) << "a scope bounding the number showed calls of other numbers";

    // The player's own search, as the window runs it, on a desk of op1's.
    CloseAccess();
    Process().SiteServer = LineAs("op1");
    SearchConditions c = InitMainFormConditions({2024, 5, 1, 0, 0, 0}, "");
    c.start = {2024, 5, 1, 0, 0, 0};
    c.end = {2024, 5, 1, 23, 59, 59};
    auto found = GetRecordset(MakeCondition(c) + " order by RecordChannel,RecordDateTime");
    ASSERT_TRUE(found->IsOpen()) << "the operator's search failed";
    EXPECT_EQ(found->RecordCount(), 12) << "the window's search showed rows outside the operator's scope";

    const Ran search = RunCalldeck(Desk("desk-op1", "op1"), {"search", "--all"});
    ASSERT_EQ(search.code, 0) << search.err;
    EXPECT_EQ(std::count(search.out.begin(), search.out.end(), '\n'), 1 + 12)
        << "calldeck search showed rows outside the operator's scope (a header, then the rows):\n" << search.out;
    for (int channel = 5; channel <= 8; ++channel)
        EXPECT_EQ(search.out.find("000" + std::to_string(channel) + "555"), std::string::npos)
            << "calldeck search showed channel " << channel << ":\n" << search.out;

    for (const char* statement :
         {"delete from RecordFileInfo", "update RecordFileInfo set CallNumber = 'x'", "truncate RecordFileInfo",
          "delete from SiteAudit", "update SiteAudit set Act = 'x'", "truncate SiteAudit",
          "update SiteAuditHead set Seq = 0", "insert into SiteScopes values ('op1', '.*', '.*')"}) {
        SCOPED_TRACE(statement);
        EXPECT_THROW(op->Server()->Run(statement), std::exception) << "the server let an operator run it";
    }
    EXPECT_EQ(AllRows(), 24) << "an operator's statement removed rows";
}

TEST_F(SiteRoles, ASupervisorDeletesOnlyWithinScopeAndARecorderOnlyItsOwnFolder) {
    const fs::path a = staged_.Folder() / "recorder-a", b = staged_.Folder() / "recorder-b";
    IndexChannels(b);
    ConnectAs("")->Server()->Run("insert into SiteRecorderFolders values ('rec1', $1)", {a.string()});

    auto sup = ConnectAs("sup1");
    sup->Server()->Run("delete from RecordFileInfo where RecordChannel = '0007'");
    EXPECT_EQ(AllRows(), 24) << "a supervisor deleted rows of a channel outside their scope";
    EXPECT_THROW(sup->Server()->Run("insert into RecordHolds values ($1, 'dispute', 'sup1', 'now')",
                                    {(b / ChannelCall(7, 0)).string()}),
                 std::exception)
        << "a supervisor placed a hold on a recording outside their scope";
    sup->Server()->Run("delete from RecordFileInfo where RecordChannel = '0002'");
    EXPECT_EQ(AllRows(), 21) << "a supervisor could not delete within their scope";
    sup->Server()->Run("delete from RecordFileInfo");
    EXPECT_EQ(AllRows(), 12) << "a supervisor's delete of every row went beyond their scope";

    // The recorder scans its own folder, and is refused another's. A note
    // of another folder's recording that is gone is not the recorder's to count.
    for (int n = 0; n < 4; ++n) MakeFile(a / ChannelCall(9, n), 8000);
    ConnectAs("")->Server()->Run("insert into RecordNotes (FileFullName, Note) values ($1, 'heard')",
                                 {(b / "gone.VOC").string()});
    const fs::path desk = Desk("desk-rec1", "rec1");
    const Ran own = RunCalldeck(desk, {"scan", "--main-folder", a.string()});
    EXPECT_EQ(own.code, 0) << "the recorder's scan of its own folder failed:\n" << own.out << own.err;
    EXPECT_EQ(AllRows(), 16) << "the recorder's scan of its own folder did not store its rows";
    EXPECT_EQ(own.out.find("no longer found"), std::string::npos)
        << "the recorder's scan counted another folder's notes as its own:\n" << own.out;
    MakeFile(b / ChannelCall(9, 9), 8000);
    const Ran other = RunCalldeck(desk, {"scan", "--main-folder", b.string()});
    EXPECT_NE(other.code, 0) << "a recorder's scan of a folder not assigned to it succeeded";
    EXPECT_NE((other.out + other.err).find("is not assigned to the recorder role rec1"), std::string::npos)
        << "the refusal does not say why:\n" << other.out << other.err;
    EXPECT_EQ(AllRows(), 16) << "a refused scan changed rows";
    auto rec = ConnectAs("rec1");
    rec->Server()->Run("delete from RecordFileInfo where MainFolder = $1", {b.string()});
    EXPECT_EQ(AllRows(), 16) << "a recorder's hand-written delete removed another folder's rows";
}

TEST_F(SiteRoles, NotesTagsBookmarksAndHoldsFollowTheRowsAPersonSees) {
    const fs::path a = staged_.Folder() / "recorder-a";
    IndexChannels(a);
    const std::string mine = (a / ChannelCall(1, 0)).string(), other = (a / ChannelCall(7, 0)).string();
    const std::string gone = (a / "gone.VOC").string();
    auto admin = ConnectAs("");
    for (const std::string& path : {mine, other}) {
        admin->Server()->Run("insert into RecordNotes (FileFullName, Note) values ($1, 'refund promised')", {path});
        admin->Server()->Run("insert into RecordTags values ($1, $2)", {path == mine ? "mine" : "secret", path});
        admin->Server()->Run("insert into RecordBookmarks values ($1, 5, 'here')", {path});
        admin->Server()->Run("insert into RecordHolds values ($1, 'dispute', 'admin', 'now')", {path});
    }
    admin->Server()->Run("insert into RecordNotes (FileFullName, Note) values ($1, 'refund of a gone call')", {gone});

    // Hand-written statements of an operator scoped to channels 1 to 4.
    auto op = ConnectAs("op1");
    for (const char* table : {"RecordNotes", "RecordTags", "RecordBookmarks", "RecordHolds"}) {
        SCOPED_TRACE(table);
        EXPECT_EQ(op->Server()->RunForValue(std::string("select string_agg(FileFullName, ' ') from ") + table), mine)
            << "an operator read what was written about a recording outside their scope (or not about their own)";
    }
    EXPECT_EQ(op->Server()->RunForValue("select string_agg(p, ' ') from calldeck_note_paths('refund') as p"), mine)
        << "the note search's own lookup found notes outside the operator's scope";
    for (const char* statement : {"insert into RecordNotes (FileFullName, Note) values ($1, 'x')",
                                  "insert into RecordTags values ('x', $1)",
                                  "insert into RecordBookmarks values ($1, 9, 'x')",
                                  "insert into RecordHolds values ($1, 'x', 'op1', 'now')"}) {
        SCOPED_TRACE(statement);
        EXPECT_THROW(op->Server()->Run(statement, {other}), std::exception)
            << "the server let an operator write about a recording outside their scope";
    }
    op->Server()->Run("delete from RecordNotes");
    op->Server()->Run("delete from RecordTags where FileFullName = $1", {other});
    EXPECT_EQ(admin->Server()->RunForValue("select count(*) from RecordNotes where FileFullName <> $1", {mine}), "2")
        << "an operator's delete removed notes outside their scope";
    EXPECT_EQ(admin->Server()->RunForValue("select count(*) from RecordTags"), "2");

    // A supervisor holds and writes within scope only, and removes what was
    // written about a recording they deleted.
    auto sup = ConnectAs("sup1");
    sup->Server()->Run("update RecordHolds set Reason = 'mine now' where FileFullName = $1", {other});
    EXPECT_THROW(sup->Server()->Run("insert into RecordHolds values ($1, 'again', 'sup1', 'now') "
                                    "on conflict (FileFullName) do update set Reason = 'again'",
                                    {other}),
                 std::exception)
        << "a supervisor replaced the hold of a recording outside their scope";
    EXPECT_EQ(admin->Server()->RunForValue("select Reason from RecordHolds where FileFullName = $1", {other}), "dispute");
    const std::string deleted = (a / ChannelCall(2, 1)).string();
    admin->Server()->Run("insert into RecordTags values ('done', $1)", {deleted});
    sup->Server()->Run("delete from RecordFileInfo where FileFullName = $1", {deleted});
    sup->Server()->Run("delete from RecordTags where FileFullName = $1", {deleted});
    EXPECT_EQ(admin->Server()->RunForValue("select count(*) from RecordTags where FileFullName = $1", {deleted}), "0")
        << "a supervisor could not remove the tags of a recording they deleted";

    // op1's own desk: the notes panel, the tag list, the grid's marks, the
    // note search and the orphans show only what op1 may see.
    CloseAccess();
    Process().SiteServer = LineAs("op1");
    ASSERT_TRUE(ReachIndex());
    SaveNote(mine, "refund sent");  // op1's hand-written delete above removed its note
    EXPECT_EQ(LoadAnnotations(mine).note, "refund sent");
    EXPECT_TRUE(LoadAnnotations(other).note.empty() && !LoadAnnotations(other).hold)
        << "the notes panel showed what was written about a recording outside the scope";
    EXPECT_EQ(TagsInUse(), std::vector<std::string>{"mine"}) << "the tag list offered a tag of another team's calls";
    const auto marks = MarksOf({mine, other});
    EXPECT_TRUE(marks.contains(mine) && marks.at(mine).note && marks.at(mine).hold);
    EXPECT_FALSE(marks.contains(other)) << "the grid marked a recording outside the scope";
    EXPECT_THROW(SaveNote(other, "refund sent"), std::exception) << "the desk wrote a note outside the scope";
    SearchConditions c = InitMainFormConditions({2024, 5, 1, 0, 0, 0}, "");
    c.noteWords = "refund";
    auto found = GetRecordset(MakeCondition(c));
    ASSERT_TRUE(found->IsOpen()) << "the operator's note search failed";
    EXPECT_EQ(found->RecordCount(), 1) << "the note search found notes outside the scope, or missed the operator's";
    EXPECT_TRUE(OrphanedPaths().empty()) << "an operator was shown notes of recordings no longer indexed";
    EXPECT_EQ(admin->Server()->RunForValue("select Note from RecordNotes where FileFullName = $1", {other}),
              "refund promised");
}

TEST_F(SiteRoles, ALoginWithoutTheDeleteOrHoldRightIsRefusedBeforeAnythingChanges) {
    const fs::path a = staged_.Folder() / "recorder-a";
    IndexChannels(a);
    const std::string path = (a / ChannelCall(1, 0)).string();

    // op1's own desk: the player asks the server what the login may do.
    CloseAccess();
    Process().SiteServer = LineAs("op1");
    auto found = GetRecordset(kShowAllRecordStatement);
    ASSERT_TRUE(found->IsOpen() && found->RecordCount() == 12) << "the operator's search failed";
    EXPECT_FALSE(Process().Rights.mayDelete) << "an operator's desk took the delete right as given";
    EXPECT_NE(WhyNoDelete().find("Your login op1 may not delete recordings"), std::string::npos) << WhyNoDelete();
    Process().rsResult = found;
    staged_.dialogs->answers = {true};
    DeleteCurrentFile();
    ASSERT_FALSE(staged_.dialogs->asked.empty());
    EXPECT_NE(staged_.dialogs->asked.back().find("may not delete recordings"), std::string::npos)
        << "the refused Delete did not say why: " << staged_.dialogs->asked.back();
    EXPECT_TRUE(fs::exists(path)) << "a Delete the server would refuse removed the recording's file";
    EXPECT_EQ(AllRows(), 24);

    const fs::path desk = Desk("desk-op1", "op1");
    const Ran purge = RunCalldeck(desk, {"purge", "--older-than", "0", "--yes"});
    EXPECT_EQ(purge.code, 1) << purge.out << purge.err;
    EXPECT_NE(purge.err.find("may not delete recordings on this site's server"), std::string::npos) << purge.err;
    const Ran hold = RunCalldeck(desk, {"hold", path, "--reason", "dispute"});
    EXPECT_EQ(hold.code, 1) << hold.out << hold.err;
    EXPECT_NE(hold.err.find("may not place or release holds"), std::string::npos) << hold.err;
    EXPECT_EQ(ConnectAs("")->Server()->RunForValue("select count(*) from RecordHolds"), "0");
    for (int channel = 1; channel <= 8; ++channel) EXPECT_TRUE(fs::exists(a / ChannelCall(channel, 0)));
    EXPECT_EQ(AllRows(), 24) << "a refused purge changed rows";

    // A supervisor's desk may do both, within scope.
    const fs::path supDesk = Desk("desk-sup1", "sup1");
    const Ran held = RunCalldeck(supDesk, {"hold", path, "--reason", "dispute"});
    EXPECT_EQ(held.code, 0) << held.out << held.err;
    EXPECT_EQ(ConnectAs("")->Server()->RunForValue("select Reason from RecordHolds"), "dispute");
}

TEST_F(SiteRoles, TheSiteAuditChainTakesThreeDesksAtOnceAndNamesARowTheSuperuserEdited) {
    const fs::path a = staged_.Folder() / "recorder-a";
    IndexChannels(a);
    ConnectAs("")->Server()->Run("create role op3 login in role calldeck_operator;"
                                 "insert into SiteScopes values ('op3', '.*', '.*')");
    // Three people's desks, each writing notes on four recordings at once.
    std::vector<std::pair<pid_t, fs::path>> running;
    for (const std::string login : {"op1", "sup1", "op3"})
        for (int n = 0; n < 4; ++n) {
            const fs::path desk = Desk("desk-" + login + "-" + std::to_string(n), login);
            running.emplace_back(
                StartProgram(CALLDECK_PROGRAM,
                             {"note", (a / ChannelCall(1 + n % 3, n % 3)).string(), "heard by " + login},
                             desk, {"CALLDECK_PROGRAM_FOLDER=" + desk.string()}),
                desk);
        }
    for (const auto& [pid, desk] : running) {
        const Ran ran = FinishProgram(pid, desk);
        EXPECT_EQ(ran.code, 0) << desk << ": " << ran.out << ran.err;
    }
    const std::string records = ConnectAs("")->Server()->RunForValue("select count(*) from SiteAudit");
    EXPECT_EQ(records, "13") << "the site's trail does not hold each desk's note (and the chain's start)";

    const fs::path auditor = Desk("desk-aud1", "aud1");
    const Ran whole = RunCalldeck(auditor, {"audit", "verify", "--site"});
    EXPECT_EQ(whole.code, 0) << whole.out << whole.err;
    EXPECT_NE(whole.out.find("site audit trail whole: 13 records"), std::string::npos) << whole.out;
    const Ran shown = RunCalldeck(auditor, {"audit", "show", "--site", "--act", "note"});
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(std::count(shown.out.begin(), shown.out.end(), '\n'), 13) << "a header and twelve notes:\n" << shown.out;
    for (const std::string login : {"op1", "sup1", "op3"})
        EXPECT_NE(shown.out.find(AuditUserName() + " (role " + login + ")"), std::string::npos)
            << "the records do not name the system user and the database role " << login << ":\n" << shown.out;
    const Ran notAllowed = RunCalldeck(Desk("desk-op1", "op1"), {"audit", "verify", "--site"});
    EXPECT_EQ(notAllowed.code, 1) << "an operator read the site's audit trail:\n" << notAllowed.out;

    ConnectAs("")->Server()->Run("update SiteAudit set Target = 'nothing happened' where Seq = 5");
    const Ran edited = RunCalldeck(auditor, {"audit", "verify", "--site"});
    EXPECT_EQ(edited.code, 1) << edited.out;
    EXPECT_NE(edited.out.find("SiteAudit line 5: record 5 was changed"), std::string::npos)
        << "verify --site did not name the edited record:\n" << edited.out;
}

TEST_F(SiteRoles, APersonConnectsAsThemselvesAndASharedLoginIsToldOnce) {
    const auto told = [&] {
        const auto log = staged_.LogMessages();
        return std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.find("this site uses a shared login: PlayerSite.conf names the login calldeck") !=
                   std::string::npos;
        });
    };
    EXPECT_EQ(told(), 1) << "a site file naming the shared login calldeck was not told at the start";
    CloseAccess();
    ASSERT_TRUE(ReachIndex());
    EXPECT_EQ(told(), 1) << "the shared login was told more than once";

    // A login of the system account's own name, and a site file naming none:
    // libpq connects as the person running the program.
    auto admin = ConnectAs("");
    admin->Server()->Run("create function pg_temp.personal(name text) returns void language plpgsql as $$"
                         " begin execute format('create role %I login in role calldeck_operator', name); end $$");
    admin->Server()->Run("select pg_temp.personal($1)", {AuditUserName()});
    admin->Server()->Run("insert into SiteScopes values ($1, '0002', '.*')", {AuditUserName()});
    IndexChannels(staged_.Folder() / "recorder-a");
    std::string line = LineAs("");
    line.erase(line.find(" user=calldeck"), 14);
    CloseAccess();
    Process().SharedLoginTold = false;
    Process().SiteServer = line;
    auto found = GetRecordset(kShowAllRecordStatement);
    ASSERT_TRUE(found->IsOpen()) << "a site file without a login did not connect as the system account";
    EXPECT_EQ(Process().Rights.login, AuditUserName());
    EXPECT_EQ(found->RecordCount(), 3) << "the person's own scope (channel 2) did not bound what they saw";
    EXPECT_EQ(told(), 1) << "a personal login was taken for a shared one";
}

TEST_F(SiteRoles, RecordsTheServerCannotTakeAreKeptInTheDesksOwnTrail) {
    const auto said = [&] {
        const auto log = staged_.LogMessages();
        return std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.find("site's audit trail on the server did not take the record") != std::string::npos;
        });
    };
    ASSERT_TRUE(Audit("play", {"/calls/a.VOC", {}, {}, {}, {}, {}}));
    SharedTestServer().Stop();
    EXPECT_TRUE(Audit("play", {"/calls/b.VOC", {}, {}, {}, {}, {}})) << "the desk's own trail refused a record";
    EXPECT_TRUE(Audit("play", {"/calls/c.VOC", {}, {}, {}, {}, {}}));
    EXPECT_EQ(said(), 1) << "the server's absence was not logged once";
    const AuditVerification local = VerifyAudit(AuditFiles(AuditFolder()));
    EXPECT_TRUE(local.whole) << local.problem;
    EXPECT_EQ(local.records, 4u) << "the desk's files do not hold every record (a continue record and three plays)";
    SharedTestServer().Start();
    EXPECT_EQ(ConnectAs("")->Server()->RunForValue("select string_agg(FileFullName, ' ' order by Seq) from SiteAudit"),
              " /calls/a.VOC")
        << "the site's trail does not hold exactly what reached it (its start and the first play)";
}
