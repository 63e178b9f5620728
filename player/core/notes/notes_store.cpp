// The notes, tags, bookmarks and holds of recordings: see notes_store.h.
// Each statement is written once for both stores (Connection::Query binds
// $1, $2, ... on either) and every value is bound.
#include "player/core/notes/notes_store.h"

#include <algorithm>
#include <chrono>

#include "platform/sqlstore/connection.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/index/record_database.h"
#include "player/core/index/site_login.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "player/core/text.h"

namespace player {
namespace {

using platform::sqlstore::Connection;

constexpr int kCannotWrite = 3027;
constexpr int kNotIndexed = 3021;
constexpr std::size_t kLongestTag = 32;

Connection& Index() {
    if (!ReachIndex()) {
        const std::string why = IndexServerTrouble();
        throw RunError(kCannotWrite, why.empty() ? "The record index \"" + Process().DatabaseFile +
                                                       "\" cannot be opened"
                                                 : why);
    }
    return *Process().PlayerConnection;
}

Connection& WritableIndex() {
    Connection& conn = Index();
    if (conn.IsReadOnly())
        throw RunError(kCannotWrite,
                       "The record index \"" + Process().DatabaseFile + "\" cannot be written; nothing was changed.");
    return conn;
}

std::string Now() { return AuditTime(std::chrono::system_clock::now()); }

// The recording's row as the audit trail shows it; nothing when the index
// does not hold it.
std::optional<AuditRow> IndexedRow(Connection& conn, const std::string& path) {
    const auto rows = conn.Query(
        "select FileFullName, RecordDateTime, RecordChannel, CallNumber, RecordDuration, CallDirection "
        "from RecordFileInfo where FileFullName = $1",
        {path});
    if (rows.empty()) return std::nullopt;
    const auto& r = rows.front();
    return AuditRow{r[0].value_or(""), r[1].value_or(""), r[2].value_or(""),
                    r[3].value_or(""), r[4].value_or(""), r[5].value_or("")};
}

AuditRow RowFor(Connection& conn, const std::string& path) {
    if (auto row = IndexedRow(conn, path)) return *row;
    return AuditRowFor(path);
}

// One recorded change: the trail must take the record first, then the
// change is made, then recorded with its outcome.
template <typename Change>
void Recorded(const char* act, const std::string& path, const std::string& target, const std::string& result,
              Change change) {
    Connection& conn = WritableIndex();
    const AuditRow row = RowFor(conn, path);
    RequireAudit(act);
    try {
        change(conn);
    } catch (const std::exception& e) {
        Audit(act, row, target, "failed: " + Describe(e));
        throw;
    }
    Audit(act, row, target, result);
}

std::string CheckedTag(const std::string& given) {
    const std::string tag = text::Trim(given);
    const bool word = !tag.empty() && tag.size() <= kLongestTag &&
                      std::none_of(tag.begin(), tag.end(), [](unsigned char c) { return c <= ' ' || c == 0x7f; });
    if (!word)
        throw RunError(RunError::InvalidCall().Number(),
                       "A tag is one word of 1 to 32 characters without blanks, not \"" + given + "\"");
    return tag;
}

bool HasTag(Connection& conn, const std::string& path, const std::string& tag) {
    return !conn.Query("select 1 from RecordTags where Tag = $1 and FileFullName = $2", {tag, path}).empty();
}

std::string Field(const std::vector<std::optional<std::string>>& row, std::size_t i) {
    return i < row.size() ? row[i].value_or("") : std::string();
}

// The rows of a statement for a list of paths, asked in slices so no
// statement binds more values than a store takes.
template <typename Each>
void ForPathsIn(Connection& conn, const std::string& select, const std::vector<std::string>& paths, Each each) {
    constexpr std::size_t kSlice = 500;
    for (std::size_t from = 0; from < paths.size(); from += kSlice) {
        const std::size_t n = std::min(kSlice, paths.size() - from);
        std::string list;
        for (std::size_t i = 0; i < n; ++i) list += (i ? ",$" : "$") + std::to_string(i + 1);
        const std::vector<std::string> slice(paths.begin() + from, paths.begin() + from + n);
        for (const auto& row : conn.Query(select + " in (" + list + ")", slice)) each(row);
    }
}

}  // namespace

Annotations LoadAnnotations(const std::string& path) {
    Connection& conn = Index();
    Annotations a;
    if (const auto note = conn.Query("select Note from RecordNotes where FileFullName = $1", {path}); !note.empty())
        a.note = Field(note.front(), 0);
    for (const auto& row : conn.Query("select Tag from RecordTags where FileFullName = $1 order by Tag", {path}))
        a.tags.push_back(Field(row, 0));
    for (const auto& row :
         conn.Query("select Second, Label from RecordBookmarks where FileFullName = $1 order by Second", {path}))
        a.bookmarks.push_back({std::stoll(Field(row, 0)), Field(row, 1)});
    a.hold = HoldOf(path);
    return a;
}

void SaveNote(const std::string& path, const std::string& note) {
    const bool blank = text::Trim(note).empty();
    Recorded(kActNote, path, blank ? std::string() : note, blank ? "removed" : "saved", [&](Connection& conn) {
        if (blank) {
            conn.Query("delete from RecordNotes where FileFullName = $1", {path});
            return;
        }
        conn.Query(
            "insert into RecordNotes(FileFullName, Note, ChangedBy, ChangedAt) values($1, $2, $3, $4) "
            "on conflict (FileFullName) do update set Note = excluded.Note, ChangedBy = excluded.ChangedBy, "
            "ChangedAt = excluded.ChangedAt",
            {path, note, AuditActorName(), Now()});
    });
}

void AddTag(const std::string& path, const std::string& given) {
    const std::string tag = CheckedTag(given);
    if (HasTag(WritableIndex(), path, tag)) return;
    Recorded(kActTag, path, "+" + tag, "ok", [&](Connection& conn) {
        conn.Query("insert into RecordTags(Tag, FileFullName) values($1, $2) on conflict do nothing", {tag, path});
    });
}

void RemoveTag(const std::string& path, const std::string& given) {
    const std::string tag = text::Trim(given);
    if (!HasTag(WritableIndex(), path, tag)) return;
    Recorded(kActTag, path, "-" + tag, "ok", [&](Connection& conn) {
        conn.Query("delete from RecordTags where Tag = $1 and FileFullName = $2", {tag, path});
    });
}

std::vector<std::string> TagsInUse(std::string_view prefix, std::size_t limit) {
    // Along the key, which leads with the tag: a step per tag, not per row.
    Connection& conn = Index();
    std::vector<std::string> out;
    std::string after;
    while (out.size() < limit) {
        const auto next = conn.Query("select min(Tag) from RecordTags where Tag > $1", {after});
        if (next.empty() || !next.front()[0]) break;
        after = *next.front()[0];
        if (!after.starts_with(prefix)) {
            if (after > prefix) break;  // past every tag the prefix begins
            continue;
        }
        out.push_back(after);
    }
    return out;
}

void AddBookmark(const std::string& path, std::int64_t second, const std::string& label) {
    if (second < 0) throw RunError(RunError::InvalidCall().Number(), "A bookmark's second cannot lie before the call");
    Recorded(kActBookmark, path, "+" + std::to_string(second) + " " + label, "ok", [&](Connection& conn) {
        conn.Query(
            "insert into RecordBookmarks(FileFullName, Second, Label) values($1, cast($2 as integer), $3) "
            "on conflict (FileFullName, Second) do update set Label = excluded.Label",
            {path, std::to_string(second), label});
    });
}

void RemoveBookmark(const std::string& path, std::int64_t second) {
    Recorded(kActBookmark, path, "-" + std::to_string(second), "ok", [&](Connection& conn) {
        conn.Query("delete from RecordBookmarks where FileFullName = $1 and Second = cast($2 as integer)",
                   {path, std::to_string(second)});
    });
}

void PlaceHold(const std::string& path, const std::string& reason) {
    RequireHoldRight();
    if (text::Trim(reason).empty())
        throw RunError(RunError::InvalidCall().Number(), "A hold needs a reason; nothing was changed.");
    if (!IndexedRow(WritableIndex(), path))
        throw RunError(kNotIndexed, "The record index holds no recording " + path + "; nothing was held.");
    Recorded(kActHold, path, reason, "placed", [&](Connection& conn) {
        conn.Query(
            "insert into RecordHolds(FileFullName, Reason, HeldBy, HeldAt) values($1, $2, $3, $4) "
            "on conflict (FileFullName) do update set Reason = excluded.Reason, HeldBy = excluded.HeldBy, "
            "HeldAt = excluded.HeldAt",
            {path, reason, AuditActorName(), Now()});
    });
}

void ReleaseHold(const std::string& path) {
    RequireHoldRight();
    const std::optional<Hold> hold = HoldOf(path);
    if (!hold) throw RunError(kNotIndexed, "The recording " + path + " is not on hold; nothing was changed.");
    Recorded(kActHold, path, hold->reason, "released", [&](Connection& conn) {
        conn.Query("delete from RecordHolds where FileFullName = $1", {path});
    });
}

std::optional<Hold> HoldOf(const std::string& path) { return HoldOn(Index(), path); }

std::optional<Hold> HoldOn(Connection& conn, const std::string& path) {
    const auto rows = conn.Query("select Reason, HeldBy, HeldAt from RecordHolds where FileFullName = $1", {path});
    if (rows.empty()) return std::nullopt;
    return Hold{Field(rows.front(), 0), Field(rows.front(), 1), Field(rows.front(), 2)};
}

std::vector<std::pair<std::string, Hold>> Holds() {
    std::vector<std::pair<std::string, Hold>> out;
    for (const auto& r :
         Index().Query("select FileFullName, Reason, HeldBy, HeldAt from RecordHolds order by FileFullName"))
        out.emplace_back(Field(r, 0), Hold{Field(r, 1), Field(r, 2), Field(r, 3)});
    return out;
}

std::map<std::string, AnnotationMarks> MarksOf(const std::vector<std::string>& paths) {
    Connection& conn = Index();
    std::map<std::string, AnnotationMarks> out;
    ForPathsIn(conn, "select FileFullName from RecordNotes where FileFullName", paths,
               [&](const auto& row) { out[Field(row, 0)].note = true; });
    ForPathsIn(conn, "select distinct FileFullName from RecordTags where FileFullName", paths,
               [&](const auto& row) { out[Field(row, 0)].tags = true; });
    ForPathsIn(conn, "select distinct FileFullName from RecordBookmarks where FileFullName", paths,
               [&](const auto& row) { out[Field(row, 0)].bookmarks = true; });
    ForPathsIn(conn, "select FileFullName from RecordHolds where FileFullName", paths,
               [&](const auto& row) { out[Field(row, 0)].hold = true; });
    return out;
}

std::map<std::string, Hold> HoldsOf(const std::vector<std::string>& paths) {
    std::map<std::string, Hold> out;
    ForPathsIn(Index(), "select FileFullName, Reason, HeldBy, HeldAt from RecordHolds where FileFullName", paths,
               [&](const auto& row) {
                   out[Field(row, 0)] = Hold{Field(row, 1), Field(row, 2), Field(row, 3)};
               });
    return out;
}

void ForgetAnnotations(const std::string& path) {
    try {
        Connection& conn = Index();
        for (const char* table : {"RecordNotes", "RecordTags", "RecordBookmarks"})
            conn.Query("delete from " + std::string(table) + " where FileFullName = $1", {path});
    } catch (const std::exception& e) {
        WriteRunLog("!ForgetAnnotations [" + path + "] " + Describe(e));
    }
}

namespace {

constexpr const char* kAnnotatedPaths =
    "select FileFullName from RecordNotes union select FileFullName from RecordTags "
    "union select FileFullName from RecordBookmarks";

}  // namespace

std::vector<std::string> OrphanedPaths() {
    std::vector<std::string> out;
    // Each path looked up along the rows' index on FileFullName (on a site,
    // through the rows the login sees, so a person bound by scopes finds none).
    for (const auto& r : Index().Query(std::string("select FileFullName from (") + kAnnotatedPaths +
                                       ") as a where not exists (select 1 from RecordFileInfo r "
                                       "where r.FileFullName = a.FileFullName) order by FileFullName"))
        out.push_back(Field(r, 0));
    return out;
}

std::int64_t CountOrphanedNotes(Connection& conn) {
    // The notes alone, each looked up along the path's index: a rebuild
    // costs a lookup per note, nothing when there are none.
    const auto rows = conn.Query(
        "select count(*) from RecordNotes n where not exists "
        "(select 1 from RecordFileInfo r where r.FileFullName = n.FileFullName)");
    return rows.empty() ? 0 : std::stoll(Field(rows.front(), 0));
}

std::string OrphanedNotesText(std::int64_t n) {
    if (n == 1) return "1 note belongs to a recording no longer found";
    return std::to_string(n) + " notes belong to recordings no longer found";
}

}  // namespace player
