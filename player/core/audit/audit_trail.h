// player: the audit trail, one record for every act on a recording, in
// daily files of its own (never the run log) that form one hash chain.
// Sites must say who listened to or took a copy of a call and see when that
// account was edited; several programs append at once, under one lock, and
// an act is never lost silently. docs/audit.md.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "player/core/audit/audit_record.h"

struct stat;

namespace platform::sqlstore {
class Connection;
class Recordset;
}

namespace player {

inline constexpr const char* kAuditFolderName = "PlayerAudit";

// The audit files of a folder: one writer per process and folder.
class AuditTrail {
public:
    explicit AuditTrail(std::filesystem::path folder);
    ~AuditTrail();
    AuditTrail(const AuditTrail&) = delete;
    AuditTrail& operator=(const AuditTrail&) = delete;

    // Appends a record of `act` (seq, time, user, host and program filled
    // in); throws std::system_error when it cannot.
    void Append(std::string_view act, const AuditRow& row, std::string_view target, std::string_view result);
    // Takes the lock (within its wait) and opens the day's file as an
    // append would, writing nothing; throws std::system_error when it cannot.
    void Probe();

    const std::filesystem::path& Folder() const { return folder_; }
    // The clock the records' time and the daily file are taken from.
    std::function<std::chrono::system_clock::time_point()> clock = [] { return std::chrono::system_clock::now(); };
    std::string program = "window";
    // False skips the fdatasync (a benchmark measures what it costs).
    bool syncEachRecord = true;
    // Who the records name when not empty, instead of the operating-system
    // user and the machine: a service acting for people it logged in itself.
    std::string actingUser, actingHost;

private:
    struct Open;
    Open& Opened();
    void OpenDay(const std::string& name, struct stat& st);
    std::filesystem::path folder_;
    std::unique_ptr<Open> open_;
};

// The process's writer and what it told, as one part of the process state
// (process_state.h): the trail of its folder, who writes ("window" or
// "calldeck"), and whether the operator was told of a failure that lasts.
struct AuditState {
    std::unique_ptr<AuditTrail> trail;
    std::string program = "window";
    bool failing = false;  // the operator was told; quiet until a record is written again
    // On a site, the session that appends to the site's trail (site_audit.h),
    // and while the server does not take records, when to ask it again.
    std::shared_ptr<platform::sqlstore::Connection> site;
    bool siteFailing = false;
    std::chrono::steady_clock::time_point siteRetry;
    std::string actingUser, actingHost;  // AuditActingFor's, while one lives
};

// The day's file name, "audit-2026-12-08.tsv".
std::string AuditFileName(std::chrono::system_clock::time_point at);

// StateFolder()/PlayerAudit; WorkFolder()/PlayerAudit while the state
// folder cannot be written (its index is then read-only).
std::filesystem::path AuditFolder();
// Who a record names: the operating-system user running the program.
std::string AuditUserName();
// A record's time: ISO 8601 UTC, "2026-12-08T06:10:00Z".
std::string AuditTime(std::chrono::system_clock::time_point at);

// "window" (the default) or "calldeck": who writes this process's records.
void SetAuditProgram(std::string program);

// While one lives, the process's records name `user` as who and `host` as
// where (calldeck serve: the web user, and their address and browser)
// instead of the operating-system user and the machine. One at a time: the
// caller keeps the acts of different people apart.
class AuditActingFor {
public:
    AuditActingFor(std::string user, std::string host);
    ~AuditActingFor();
    AuditActingFor(const AuditActingFor&) = delete;
    AuditActingFor& operator=(const AuditActingFor&) = delete;
};
// Who the process's records name now: the user an AuditActingFor names
// while one lives, AuditUserName() otherwise. What the notes and holds
// store as their author, so a web user's hold is theirs, not the service's.
std::string AuditActorName();

// Appends a record to the process's audit trail; false when it could not.
// A failure is logged and shown (see above), never thrown.
bool Audit(std::string_view act, const AuditRow& row, std::string_view target = {}, std::string_view result = "ok");

// An act no record could be kept of: export, delete, purge and decrypt do
// not happen when the trail cannot be written, and say so with this.
class NotAudited : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Before an act that must not happen unrecorded: the trail can take a
// record now (its lock within the wait, the day's file open), or the act is
// refused: logs "!Audit the audit trail cannot be written (why); nothing
// was deleted" (decrypted, exported; changed for a note, tag,
// bookmark or hold) and throws NotAudited with that text.
void RequireAudit(std::string_view act);
// An exported file whose record could not be written is taken back:
// removed, with "!Audit the export [target] was removed: no audit record
// could be written" in the run log. True when it is gone.
bool RemoveUnrecordedExport(const std::string& target);

// The current row of `set`; nothing when it has no current row.
AuditRow AuditRowOf(const platform::sqlstore::Recordset& set);
// The row of `set` at position `row` (0-based), without moving the set.
AuditRow AuditRowAt(const platform::sqlstore::Recordset& set, long row);
// rsResult's current row when it is the recording at `path`, else the path.
AuditRow AuditRowFor(const std::string& path);

}  // namespace player
