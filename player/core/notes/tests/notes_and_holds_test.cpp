// Notes, tags, bookmarks and holds on both stores (Player.mdb and a site's
// server of the test's own), end to end: they survive rebuilds, a held
// recording survives Delete, DeleteAll and calldeck purge (a process of its
// own) with their words, even its row when its file vanished, and what a
// deleted recording had goes with it; the changes are acts of one verified
// audit chain; the server refuses a hand-written delete of a held row; the
// manifest lists what was written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/error.h"
#include "platform/sqlstore/recordset.h"
#include "platform/sqlstore/server_session.h"
#include "platform/sqlstore/testing/test_server.h"
#include "player/core/audit/audit_record.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/audit/audit_verify.h"
#include "player/core/files/delete_files.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/search_conditions.h"
#include "player/core/index/site_file.h"
#include "player/core/notes/manifest.h"
#include "player/core/notes/notes_store.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using Lines = std::vector<std::string>;

namespace {

std::string ServerLine() { return platform::sqlstore::testing::SharedTestServer().ConnectionInfo(); }

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The store is Player.mdb, or ("server") the site's server.
class NotesAndHolds : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (OnServer()) {
            const char* source = std::getenv("CALLDECK_SOURCE_DIR");
            ASSERT_NE(source, nullptr) << "CALLDECK_SOURCE_DIR is not set";
            const std::string schema = ReadAll(fs::path(source) / "player/core/index/Player.pg.sql");
            ASSERT_FALSE(schema.empty()) << "Player.pg.sql cannot be read";
            platform::sqlstore::Connection setup;
            setup.ConnectionString = "provider=postgresql;data source=" + ServerLine();
            setup.Open();
            setup.Server()->Run(schema);
            setup.Server()->Run(schema);  // an existing site database migrated: it runs again unharmed
            setup.Close();
            std::ofstream(staged_.Folder() / kSiteFileName) << ServerLine() << "\n";
        }
        staged_.Start();
        ASSERT_EQ(Process().PlayerConnection && Process().PlayerConnection->Server(), OnServer())
            << "the player did not open the store the test wants";
        calls_ = staged_.Folder() / "calls";
        for (int n = 1; n <= 4; ++n) MakeFile(Call(n), 100);
        Rebuild();
    }
    bool OnServer() const { return GetParam() == "server"; }
    std::string Call(int n) const { return (calls_ / CallName(n)).string(); }
    void Rebuild() { ASSERT_NO_THROW(RebuildRecordIndex(calls_.string(), EmptyScan::Allow)) << "the rebuild failed"; }
    // The stored paths a search with these conditions finds, sorted.
    Lines Found(void (*set)(SearchConditions&)) {
        SearchConditions c = InitMainFormConditions(SystemNow(), calls_.string());
        set(c);
        auto rs = GetRecordset(MakeCondition(c));
        EXPECT_TRUE(rs->IsOpen()) << "the search failed: " << MakeCondition(c);
        Lines out;
        for (long r = 0; rs->IsOpen() && r < rs->RecordCount(); ++r)
            out.emplace_back(rs->Value(r, rs->FieldIndex("FileFullName")).value_or(""));
        std::sort(out.begin(), out.end());
        return out;
    }
    // The list showing every row, the first current.
    void ListAll() {
        Process().rsResult = GetRecordset(kShowAllRecordStatement);
        ASSERT_TRUE(Process().rsResult->IsOpen());
        Process().rsResult->MoveFirst();
    }

    StagedPlayer staged_;
    fs::path calls_;
};

TEST_P(NotesAndHolds, SurviveRebuildsAndAHeldRecordingSurvivesDeleteDeleteAllAndPurge) {
    const std::string a = Call(1), b = Call(2), c = Call(3), d = Call(4);
    SaveNote(a, "Refund promised\tby phone\nsecond line");
    AddTag(a, "dispute");
    AddBookmark(a, 12, "asks for a refund");
    PlaceHold(a, "court case 17");
    SaveNote(b, "a quiet call");
    AddTag(b, "dispute");
    Rebuild();

    const Annotations kept = LoadAnnotations(a);
    EXPECT_EQ(kept.note, "Refund promised\tby phone\nsecond line") << "the note did not survive the rebuild";
    EXPECT_EQ(kept.tags, Lines{"dispute"}) << "the tags did not survive the rebuild";
    ASSERT_EQ(kept.bookmarks.size(), 1u) << "the bookmark did not survive the rebuild";
    EXPECT_EQ(kept.bookmarks[0].second, 12);
    ASSERT_TRUE(kept.hold) << "the hold did not survive the rebuild";
    EXPECT_EQ(kept.hold->reason, "court case 17");
    EXPECT_EQ(kept.hold->by, AuditUserName()) << "the hold does not name the user the audit trail names";
    EXPECT_EQ(Found([](SearchConditions& s) { s.tag = "dispute"; }), (Lines{a, b})) << "search by tag";
    EXPECT_EQ(Found([](SearchConditions& s) { s.noteWords = "PHONE refund"; }), Lines{a}) << "search by note words";
    EXPECT_EQ(Found([](SearchConditions& s) { s.noteWords = "refun"; }), Lines{}) << "a part of a word matched";
    EXPECT_EQ(Found([](SearchConditions& s) { s.heldOnly = true; }), Lines{a}) << "search for held recordings";
    EXPECT_EQ(TagsInUse("dis"), Lines{"dispute"}) << "the tags offered for completion";
    const auto marks = MarksOf({a, b, c});
    EXPECT_TRUE(marks.count(a) && marks.at(a).note && marks.at(a).tags && marks.at(a).bookmarks && marks.at(a).hold)
        << "the grid's marks of the held recording";
    EXPECT_EQ(marks.count(c), 0u) << "a recording with nothing written has marks";

    // Delete on the held row: file and row stay, and the operator is told why.
    ListAll();
    ASSERT_EQ(Process().rsResult->Field("FileFullName"), a) << "the held recording is not the first row";
    staged_.dialogs->answers = {true};
    DeleteCurrentFile();
    EXPECT_EQ(staged_.dialogs->asked.back(), "The recording " + a + " is on hold (court case 17) and was kept.");
    EXPECT_TRUE(fs::exists(a)) << "Delete deleted a held recording's file";

    // DeleteAll: all go but the held one, counted in its closing words; a
    // deleted recording's note and tags go with it.
    staged_.dialogs->answers = {true};
    DeleteAllFiles();
    EXPECT_EQ(staged_.dialogs->asked.back(), "done! 1 recording is on hold and was kept.");
    EXPECT_TRUE(fs::exists(a)) << "DeleteAll deleted a held recording's file";
    EXPECT_FALSE(fs::exists(b)) << "DeleteAll kept a recording on no hold";
    const Annotations gone = LoadAnnotations(b);
    EXPECT_TRUE(gone.note.empty() && gone.tags.empty()) << "a recording deleted through the player kept its note";
    bool logged = false;
    for (const std::string& m : staged_.LogMessages())
        logged = logged || (m.find(a) != std::string::npos && m.find("court case 17") != std::string::npos);
    EXPECT_TRUE(logged) << "the run log does not name the held recording and its reason";

    // purge, another process: the same words, and nothing else stayed.
    const Ran purged = RunProgram(CALLDECK_PROGRAM, {"purge", "--older-than", "0", "--yes"}, staged_.Folder());
    EXPECT_EQ(purged.code, 0) << "purge's exit code when only a held recording stayed: " << purged.err;
    EXPECT_EQ(purged.out, "deleted 0 recordings, freed 0 bytes; 1 recording is on hold and was kept.\n");
    EXPECT_NE(purged.err.find(a + " is on hold (court case 17)"), std::string::npos) << purged.err;
    EXPECT_TRUE(fs::exists(a)) << "purge deleted a held recording's file";

    // Files that vanish outside the player: the held one keeps its row, the
    // other's note stays, counted and listed as no longer found.
    MakeFile(d, 100);
    Rebuild();
    SaveNote(d, "kept for training");
    fs::remove(a);
    fs::remove(d);
    Rebuild();
    EXPECT_EQ(Found([](SearchConditions& s) { s.heldOnly = true; }), Lines{a})
        << "a held recording whose file vanished lost its row in the rebuild";
    EXPECT_EQ(Process().OrphanedNotes, 1) << "the notes of recordings no longer found, as the rebuild counted them";
    EXPECT_EQ(OrphanedPaths(), Lines{d});
    bool said = false;
    for (const std::string& m : staged_.LogMessages())
        said = said || m.find("1 note belongs to a recording no longer found") != std::string::npos;
    EXPECT_TRUE(said) << "the rebuild's log line does not count the notes of recordings no longer found";
}

TEST_P(NotesAndHolds, TheAuditChainHoldsEveryChangeAndVerifies) {
    const std::string a = Call(1);
    SaveNote(a, "first");
    SaveNote(a, "");
    AddTag(a, "urgent");
    RemoveTag(a, "urgent");
    AddBookmark(a, 5, "greeting");
    RemoveBookmark(a, 5);
    PlaceHold(a, "audit 3");
    ReleaseHold(a);
    EXPECT_FALSE(HoldOf(a)) << "the hold was not released";
    const Ran cli = RunProgram(CALLDECK_PROGRAM, {"hold", a, "--reason", "from a terminal"}, staged_.Folder());
    EXPECT_EQ(cli.code, 0) << cli.err;

    Lines acts;
    for (const fs::path& file : AuditFiles(AuditFolder())) {
        std::ifstream in(file, std::ios::binary);
        for (std::string line; std::getline(in, line);)
            if (const auto fields = SplitAuditLine(line); fields && fields->field[kAct] != kActContinue) {
                const AuditRecord r = RecordOf(*fields);
                EXPECT_EQ(r.row.path, a);
                EXPECT_EQ(r.row.channel, "0003") << "the record does not carry the recording's row";
                acts.push_back(r.program + " " + r.act + " [" + r.target + "] " + r.result);
            }
    }
    EXPECT_EQ(acts, (Lines{"window note [first] saved", "window note [] removed", "window tag [+urgent] ok",
                           "window tag [-urgent] ok", "window bookmark [+5 greeting] ok", "window bookmark [-5] ok",
                           "window hold [audit 3] placed", "window hold [audit 3] released",
                           "calldeck hold [from a terminal] placed"}))
        << "the audit trail does not hold exactly one record for each change";
    const AuditVerification verified = VerifyAudit(AuditFiles(AuditFolder()));
    EXPECT_TRUE(verified.whole) << "the chain does not verify: " << verified.problem;
    const Ran shown = RunProgram(CALLDECK_PROGRAM, {"audit", "show", "--act", "hold"}, staged_.Folder());
    EXPECT_EQ(std::count(shown.out.begin(), shown.out.end(), '\n'), 4) << "audit show --act hold: " << shown.out;
}

TEST_P(NotesAndHolds, TheManifestListsWhatWasWrittenPrivately) {
    const std::string a = Call(1), b = Call(2);
    SaveNote(a, "line one\nline\ttwo");
    AddTag(a, "b-tag");
    AddTag(a, "a-tag");
    AddBookmark(a, 30, "price");
    AddBookmark(a, 4, "hello");
    PlaceHold(a, "dispute");
    const fs::path out = staged_.Folder() / "out";
    fs::create_directories(out);
    const mode_t previous = ::umask(0);
    WriteManifest(out / kManifestName, {{{a, "2024-05-01 12:00:11", "0003", "5550001", "00:00:01", "IN"}, "a.wav",
                                         LoadAnnotations(a)},
                                        {{b, {}, {}, {}, {}, {}}, "b.wav", LoadAnnotations(b)}});
    ::umask(previous);
    EXPECT_EQ(fs::status(out / kManifestName).permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << "manifest.tsv can be read by other users";
    const Hold hold = *HoldOf(a);
    EXPECT_EQ(ReadAll(out / kManifestName),
              ManifestHeader() + a + "\t2024-05-01 12:00:11\t0003\t5550001\t00:00:01\tIN\ta.wav\ta-tag b-tag\t" +
                  "line one\\nline\\ttwo\t4 hello\\n30 price\tdispute\t" + hold.by + "\t" + hold.at + "\n" + b +
                  "\t\t\t\t\t\tb.wav\t\t\t\t\t\t\n")
        << "manifest.tsv does not list each recording with what was written about it";
}

// A statement typed by hand, from a session of its own, may not delete a
// held recording's row, nor empty the table; a row on no hold it deletes.
TEST_P(NotesAndHolds, TheServerRefusesAHandWrittenDeleteOfAHeldRow) {
    if (!OnServer()) GTEST_SKIP() << "the file has no server to guard it";
    PlaceHold(Call(1), "court case 17");
    platform::sqlstore::Connection hand;
    hand.ConnectionString = "provider=postgresql;data source=" + ServerLine();
    hand.Open();
    auto& server = *hand.Server();
    try {
        server.Run("delete from RecordFileInfo where FileFullName = $1", {Call(1)});
        ADD_FAILURE() << "the server deleted a held recording's row";
    } catch (const platform::sqlstore::Error& e) {
        EXPECT_NE(e.Description().find("is on hold (court case 17)"), std::string::npos) << e.Description();
    }
    EXPECT_THROW(server.Run("truncate RecordFileInfo"), platform::sqlstore::Error) << "the table was emptied";
    server.Run("delete from RecordFileInfo where FileFullName = $1", {Call(2)});
    EXPECT_EQ(server.RunForValue("select count(*) from RecordFileInfo"), "3")
        << "the held row went, or the row on no hold stayed";
}

INSTANTIATE_TEST_SUITE_P(Stores, NotesAndHolds, ::testing::Values("file", "server"),
                         [](const auto& info) { return info.param == "file" ? "PlayerMdb" : "SiteServer"; });

}  // namespace
