// The audit trail end to end: a play, a calldeck export, a Delete and a
// calldeck purge each leave exactly their records in one chain; verify
// names the first record tampered with (changed, removed, inserted,
// swapped, a day's file taken out) and tells a crash from an edit; a purge
// dry run changes nothing, and a purge deletes exactly the older recordings
// the search finds, keeping the row of a file it cannot delete; an audit
// that cannot be written is logged every time and shown once per burst;
// processes appending at once keep one chain.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sqlstore/recordset.h"
#include "player/core/audit/audit_record.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/audit/audit_verify.h"
#include "player/core/files/delete_files.h"
#include "player/core/playback/playback.h"
#include "player/core/index/record_database.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/recording_files.h"
#include "player/core/testing/recording_sink.h"
#include "player/core/testing/child_process.h"
#include "player/core/testing/staged_player.h"

namespace fs = std::filesystem;
using namespace player;
using namespace player::testing;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kUndeletable = "/proc/version";  // no one, root included, deletes it

AuditRow Path(const std::string& path) { return {path, {}, {}, {}, {}, {}}; }

// What a record says, without its time, user, host and hash.
std::string Summary(const AuditRecord& r) {
    return r.program + " " + r.act + " [" + r.row.path + "] [" + r.target + "] " + r.result;
}

std::vector<AuditRecord> Records() {
    std::vector<AuditRecord> out;
    for (const fs::path& file : AuditFiles(AuditFolder())) {
        std::ifstream in(file, std::ios::binary);
        for (std::string line; std::getline(in, line);)
            if (const auto fields = SplitAuditLine(line)) out.push_back(RecordOf(*fields));
    }
    return out;
}

Lines Summaries() {
    Lines out;
    for (const AuditRecord& r : Records())
        if (r.act != kActContinue) out.push_back(Summary(r));
    return out;
}

Lines StoredFiles() {
    Lines out;
    auto set = GetRecordset("select FileFullName from RecordFileInfo order by FileFullName");
    for (long r = 0; r < set->RecordCount(); ++r) out.emplace_back(set->Value(r, 0).value_or(""));
    return out;
}

class AuditedActs : public ::testing::Test {
protected:
    void SetUp() override {
        staged_.Start();
        for (const char* lib : {"VelkCodec.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
            staged_.StageLibrary(lib);
        staged_.dialogs->answers = {true, true, true};
    }

    // calldeck on the staged folder, its standard input no terminal.
    Ran Calldeck(const std::vector<std::string>& args) { return RunProgram(CALLDECK_PROGRAM, args, staged_.Folder()); }
    std::string Call(const std::string& name) const { return (staged_.Folder() / "calls" / name).string(); }
    void AddCall(const std::string& path, const std::string& at, const std::string& channel,
                 std::uint32_t bytes = 8000) {
        if (path != kUndeletable) WriteBytes(path, player::testing::ALawWavHeader(bytes) + std::string(bytes, 'x'));
        InsertFileInfo({true, path, at, channel, "555", "00:00:01", "IN"});
    }

    StagedPlayer staged_;
};

TEST_F(AuditedActs, APlayAnExportAndADeleteEachLeaveExactlyTheirRecordsInOneChain) {
    AddCall(Call("a.wav"), "2024-05-06 10:00:00", "0001");
    AddCall(Call("b.wav"), "2024-05-06 10:01:00", "0001");
    Process().rsResult = GetRecordset(kShowAllRecordStatement);
    Process().rsResult->MoveFirst();
    player::testing::RecordingSink sink;
    sink.replies["Status \"" + ConvertTempFile() + "\" length"] = "99000";

    PlayCurrent();
    const Ran exported = Calldeck({"export", "--to", (staged_.Folder() / "out").string(), "-j", "1", "--all"});
    ASSERT_EQ(exported.code, 0) << "calldeck export failed: " << exported.err;
    DeleteCurrentFile();

    const std::string out = (staged_.Folder() / "out").string() + "/";
    EXPECT_EQ(Summaries(), (Lines{"window play [" + Call("a.wav") + "] [] started",
                                  "calldeck export [" + Call("a.wav") + "] [" + out + "a.wav] ok",
                                  "calldeck export [" + Call("b.wav") + "] [" + out + "b.wav] ok",
                                  "window delete [" + Call("a.wav") + "] [] deleted"}))
        << "the audit trail does not hold exactly one record for each act";
    const AuditRecord played = Records().at(1);
    EXPECT_EQ((Lines{played.row.dateTime, played.row.channel, played.row.number, played.row.duration,
                     played.row.direction}),
              (Lines{"2024-05-06 10:00:00", "0001", "555", "00:00:01", "IN"}))
        << "the play's record does not carry the recording's row";
    const AuditVerification verified = VerifyAudit(AuditFiles(AuditFolder()));
    EXPECT_TRUE(verified.whole) << "the window's and calldeck's records do not form one chain: " << verified.problem;
    EXPECT_EQ(verified.records, 5u) << "records in the chain (a day's continue record and the four acts)";
}

TEST_F(AuditedActs, APurgeDryRunChangesNothingAndAPurgeDeletesExactlyTheOlderFoundRecordings) {
    if (!fs::is_regular_file(kUndeletable)) GTEST_SKIP() << "/proc is not mounted, so no file is undeletable";
    const LocalTime today = SystemNow();
    AddCall(Call("a.wav"), "2020-01-01 10:00:00", "0001", 100);
    AddCall(kUndeletable, "2020-01-02 10:00:00", "0001");
    AddCall(Call("c.wav"), "2020-01-03 10:00:00", "0002");                      // another channel
    AddCall(Call("d.wav"), FormatDate(today) + " 00:00:00", "0001");           // recent
    const Lines all{kUndeletable, Call("a.wav"), Call("c.wav"), Call("d.wav")};  // in name order
    const std::string aBytes = std::to_string(fs::file_size(Call("a.wav")));

    const Ran dry = Calldeck({"purge", "--older-than", "30", "--channel", "1", "--dry-run"});
    EXPECT_EQ(dry.code, 0) << dry.err;
    EXPECT_EQ(dry.out, Call("a.wav") + "\t2020-01-01 10:00:00\t" + aBytes + "\n" + kUndeletable +
                           "\t2020-01-02 10:00:00\t0\nwould delete 2 recordings (0 of them without their file "
                           "already), freeing " + aBytes + " bytes\n")
        << "the dry run's list";
    const Ran unasked = Calldeck({"purge", "--older-than", "30", "--channel", "1"});
    EXPECT_EQ(unasked.code, 2) << "a purge not on a terminal went ahead without --yes";
    EXPECT_EQ(StoredFiles(), all) << "the dry run or the unconfirmed purge changed the record index";
    EXPECT_TRUE(fs::exists(Call("a.wav"))) << "the dry run or the unconfirmed purge deleted a file";
    EXPECT_EQ(Summaries(), Lines{}) << "the dry run left audit records";

    const Ran purged = Calldeck({"purge", "--older-than", "30", "--channel", "1", "--yes"});
    EXPECT_EQ(purged.code, 1) << "the exit code when a file stayed";
    EXPECT_EQ(purged.out, "deleted 1 recordings, freed " + aBytes +
                              " bytes; kept 1: the file could not be deleted, the row stays\n")
        << "the summary";
    ::unlink(kUndeletable);  // fails: the purge must give the reason the system gives
    const std::string why = std::strerror(errno);
    EXPECT_NE(purged.err.find("calldeck: kept /proc/version: " + why + "\n"), std::string::npos)
        << "the file kept is not named with the system's reason: " << purged.err;
    EXPECT_FALSE(fs::exists(Call("a.wav"))) << "the older recording's file is still there";
    EXPECT_EQ(StoredFiles(), (Lines{kUndeletable, Call("c.wav"), Call("d.wav")}))
        << "the record index after the purge";
    EXPECT_EQ(Summaries(), (Lines{"calldeck purge [" + Call("a.wav") + "] [] deleted",
                                  "calldeck purge [/proc/version] [] kept: the file could not be deleted"}))
        << "the purge's audit records";
}

// Another program holds the audit trail's lock past the wait: an export, a
// delete, a purge and a decryption that no record would tell of do not
// happen, and say why; and a trail rewritten with its hashes computed anew
// is caught against the last hash kept apart.
TEST_F(AuditedActs, NoActHappensThatTheTrailCannotRecordAndARewrittenTrailIsCaughtByItsKeptHash) {
    AddCall(Call("a.wav"), "2020-01-01 10:00:00", "0001");
    Process().rsResult = GetRecordset(kShowAllRecordStatement);
    Process().rsResult->MoveFirst();
    ASSERT_TRUE(Audit("play", AuditRowOf(*Process().rsResult), {}, "started"));
    const Ran head = Calldeck({"audit", "head"});
    ASSERT_EQ(head.code, 0) << head.err;
    const std::string kept = head.out.substr(0, head.out.find('\n'));

    {
        const int lock = ::open((AuditFolder() / "audit.lock").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(lock, 0);
        ASSERT_EQ(::flock(lock, LOCK_EX), 0);
        const fs::path out = staged_.Folder() / "out";
        const Ran exported = Calldeck({"export", "--to", out.string(), "-j", "1", "--all"});
        EXPECT_EQ(exported.code, 1) << "an export no record could tell of ended with success: " << exported.err;
        EXPECT_NE(exported.err.find("the audit trail cannot be written"), std::string::npos)
            << "the refused export does not say why: " << exported.err;
        EXPECT_FALSE(fs::exists(out / "a.wav")) << "an export no record tells of was written";
        const Ran purged = Calldeck({"purge", "--older-than", "30", "--yes"});
        EXPECT_NE(purged.code, 0) << "a purge no record could tell of ended with success";
        EXPECT_NE(purged.err.find("the audit trail cannot be written"), std::string::npos) << purged.err;
        DeleteCurrentFile();
        EXPECT_TRUE(fs::exists(Call("a.wav"))) << "a recording was deleted that no record tells of";
        EXPECT_EQ(StoredFiles(), Lines{Call("a.wav")}) << "a row was deleted that no record tells of";
        ::close(lock);
    }
    EXPECT_EQ(Calldeck({"audit", "verify", "--expect-last", kept}).code, 0) << "the untouched trail was refused";

    // Rewritten: the play's record dropped and the chain computed again.
    const fs::path day = AuditFiles(AuditFolder()).back();
    fs::remove(day);
    ASSERT_TRUE(Audit("play", AuditRowOf(*Process().rsResult), {}, "started"));
    const Ran forged = Calldeck({"audit", "verify", "--expect-last", kept});
    EXPECT_EQ(forged.code, 1) << "a trail written anew passed against the hash kept apart: " << forged.out;
    EXPECT_NE(forged.out.find("is not the one kept apart"), std::string::npos) << forged.out;
}

TEST(AuditFailure, AFailedWriteIsLoggedEveryTimeAndShownOncePerBurst) {
    StagedPlayer staged;
    staged.Start();
    const fs::path folder = staged.Folder() / kAuditFolderName;
    WriteBytes(folder, "a file where the audit folder belongs");
    Audit("play", Path("/calls/a.wav"), {}, "started");
    Audit("play", Path("/calls/b.wav"), {}, "started");
    EXPECT_EQ(staged.dialogs->asked.size(), 1u) << "the operator should be told once about an audit failing twice";
    fs::remove(folder);
    Audit("play", Path("/calls/c.wav"), {}, "started");
    EXPECT_EQ(Summaries(), Lines{"window play [/calls/c.wav] [] started"}) << "the audit was not written again";
    fs::remove_all(folder);
    WriteBytes(folder, "in the way again");
    Audit("play", Path("/calls/d.wav"), {}, "started");
    EXPECT_EQ(staged.dialogs->asked.size(), 2u) << "a failure after a record was written again should be shown";
    Lines logged;
    for (const std::string& m : staged.LogMessages())
        if (m.starts_with("!Audit ")) logged.push_back(m.substr(0, m.find("] ") + 1));
    EXPECT_EQ(logged, (Lines{"!Audit the audit record of play [/calls/a.wav]",
                             "!Audit the audit record of play [/calls/b.wav]",
                             "!Audit the audit record of play [/calls/d.wav]"}))
        << "each record that could not be written should be logged";
}

// The window and calldeck commands append at once: four processes, a
// hundred records each, interleaved, still make one chain.
TEST(AuditWriters, ProcessesAppendingAtOnceKeepOneChain) {
    const fs::path folder = fs::temp_directory_path() / ("calldeck-audit-writers-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    std::vector<pid_t> writers;
    for (int w = 0; w < 4; ++w) {
        if (const pid_t pid = ::fork(); pid != 0) {
            writers.push_back(pid);
            continue;
        }
        AuditTrail trail(folder);
        trail.clock = [] { return std::chrono::sys_days{std::chrono::year{2026} / 3 / 1}; };
        try {
            for (int n = 0; n < 100; ++n)
                trail.Append("play", Path("/calls/" + std::to_string(w) + "-" + std::to_string(n)), {}, "started");
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    for (const pid_t pid : writers) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer could not append its records";
    }
    const AuditVerification v = VerifyAudit(AuditFiles(folder));
    EXPECT_TRUE(v.whole) << "the writers broke the chain: " << v.problem;
    EXPECT_EQ(v.records, 401u) << "records in the chain (the day's continue record and 4 x 100)";
    fs::remove_all(folder);
}

// A series of three daily files, 11 records: day 1 holds records 1-4, day
// 2 records 5-8, day 3 records 9-11 (each day's first its continue record).
class AuditSeries : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("calldeck-audit-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        AuditTrail trail(folder_);
        using namespace std::chrono;
        for (int day = 1; day <= 3; ++day) {
            trail.clock = [day] { return sys_days{2026y / 3 / day} + 10h; };
            for (int n = 0; n < (day < 3 ? 3 : 2); ++n)
                trail.Append("play", Path("/calls/" + std::to_string(day) + "-" + std::to_string(n) + ".wav"), {},
                             "started");
        }
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path File(int day) const { return folder_ / ("audit-2026-03-0" + std::to_string(day) + ".tsv"); }
    Lines LinesOf(int day) const {
        Lines out;
        std::ifstream in(File(day), std::ios::binary);
        for (std::string line; std::getline(in, line);) out.push_back(line + "\n");
        return out;
    }
    void Write(int day, const Lines& lines) const {
        std::string all;
        for (const std::string& l : lines) all += l;
        WriteBytes(File(day), all);
    }
    fs::path folder_;
};

TEST_F(AuditSeries, VerifyNamesTheFirstRecordTamperedWithAndTellsACrashFromAnEdit) {
    struct Case {
        const char* what;
        std::function<void()> change;
        std::string problem;  // "" for a whole chain
        std::string note;
    };
    const std::string day2 = "audit-2026-03-02.tsv", day3 = "audit-2026-03-03.tsv";
    const std::vector<Case> cases{
        {"untouched", [] {}, "", ""},
        {"a changed byte",
         [&] {
             Lines l = LinesOf(2);
             l[2][l[2].find("2-1.wav")] = '7';
             Write(2, l);
         },
         day2 + " line 3: record 7 was changed", ""},
        {"a removed line",
         [&] {
             Lines l = LinesOf(2);
             l.erase(l.begin() + 1);
             Write(2, l);
         },
         day2 + " line 2: record 6 was removed before this line", ""},
        {"an inserted line",
         [&] {
             Lines l = LinesOf(2);
             l.insert(l.begin() + 2, LinesOf(1)[1]);
             Write(2, l);
         },
         day2 + " line 3: this line was inserted; the chain goes on from the line before it to the line after it",
         ""},
        {"swapped lines",
         [&] {
             Lines l = LinesOf(2);
             std::swap(l[1], l[2]);
             Write(2, l);
         },
         day2 + " line 2 and the line after it: records 6 and 7 were swapped", ""},
        {"a file removed from the middle", [&] { fs::remove(File(2)); },
         day3 + " line 1: the file " + day2 + " is missing from the series; this file continues it", ""},
        {"a cut last line",
         [&] { fs::resize_file(File(3), fs::file_size(File(3)) - 10); }, "",
         day3 + " line 3: a record cut short (the program or the machine stopped while writing it); not part of "
                "the chain"},
        {"a cut line followed by more records",
         [&] {
             fs::resize_file(File(3), fs::file_size(File(3)) - 10);
             AuditTrail trail(folder_);
             trail.clock = [] { return std::chrono::sys_days{std::chrono::year{2026} / 3 / 3}; };
             trail.Append("play", Path("/calls/after.wav"), {}, "started");
         },
         "", day3 + " line 3: a record cut short by a crash, closed by the record after it"},
    };
    const fs::path kept = folder_.string() + ".kept";
    fs::remove_all(kept);
    fs::copy(folder_, kept);
    for (const Case& c : cases) {
        fs::remove_all(folder_);
        fs::copy(kept, folder_);
        c.change();
        const AuditVerification v = VerifyAudit(AuditFiles(folder_));
        EXPECT_EQ(v.problem, c.problem) << "verify after " << c.what;
        EXPECT_EQ(v.whole, c.problem.empty()) << "verify's verdict after " << c.what;
        EXPECT_EQ(v.notes, c.note.empty() ? Lines{} : Lines{c.note}) << "verify's notes after " << c.what;
    }
    fs::remove_all(kept);
}

}  // namespace
