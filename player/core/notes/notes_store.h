// player: what reviewers write about recordings -- a note, tags, bookmarks
// and a legal hold -- kept in the record index beside RecordFileInfo
// (Notes.sql on Player.mdb, Player.pg.sql on the site's server) and keyed by
// the recording's stored path, so rebuilds leave them alone. The window's
// notes panel and the terminal's commands both change them through here;
// every change is an act of the audit trail, recorded as deletes are: the
// trail must be able to take the record before anything changes.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::sqlstore {
class Connection;
}

namespace player {

// The audit trail's acts of this room.
inline constexpr const char* kActNote = "note";
inline constexpr const char* kActTag = "tag";
inline constexpr const char* kActBookmark = "bookmark";
inline constexpr const char* kActHold = "hold";

struct Bookmark {
    std::int64_t second = 0;  // from the start of the call
    std::string label;
};

struct Hold {
    std::string reason;
    std::string by;  // the user name the audit trail records
    std::string at;  // ISO 8601 UTC
};

// Everything written about one recording.
struct Annotations {
    std::string note;
    std::vector<std::string> tags;        // in name order
    std::vector<Bookmark> bookmarks;      // in time order
    std::optional<Hold> hold;
};

// Whether a row has each kind, for the grid's marks.
struct AnnotationMarks {
    bool note = false, tags = false, bookmarks = false, hold = false;
};

// Every operation below works on the process's record index
// (Process().PlayerConnection, reached as a search reaches it) and throws
// on failure with words for the operator (Describe(e)): RunError for an
// index that cannot be reached or written, a tag or value it cannot take,
// or a recording that is not indexed; NotAudited when the trail cannot
// record the change (nothing is changed then); the store's own Error.

// The recording's note, tags, bookmarks and hold (all empty when none).
Annotations LoadAnnotations(const std::string& path);

// Stores the note; an empty (or blank) note removes it. Act "note", its
// target the new text.
void SaveNote(const std::string& path, const std::string& note);

// A tag: one word of 1 to 32 characters, no blanks nor control characters,
// kept as typed. Acts "tag" with target "+tag" or "-tag". Adding a tag the
// recording has, or removing one it has not, changes and records nothing.
void AddTag(const std::string& path, const std::string& tag);
void RemoveTag(const std::string& path, const std::string& tag);
// The tags in use anywhere, in name order, those starting with `prefix`
// (the window completes what is typed from them), at most `limit`.
std::vector<std::string> TagsInUse(std::string_view prefix = {}, std::size_t limit = 200);

// One bookmark per second of a call; adding one at a second that has one
// replaces its label. Acts "bookmark" with target "+SECOND LABEL" or "-SECOND".
void AddBookmark(const std::string& path, std::int64_t second, const std::string& label);
void RemoveBookmark(const std::string& path, std::int64_t second);

// A hold on an indexed recording, with a reason (not blank); placing one on
// a held recording replaces its reason. Acts "hold" with target the reason
// and result "placed", "released".
void PlaceHold(const std::string& path, const std::string& reason);
void ReleaseHold(const std::string& path);
std::optional<Hold> HoldOf(const std::string& path);
// The same on a connection as it stands, inside its open transaction: a
// delete asks it there, so no hold placed meanwhile is passed.
std::optional<Hold> HoldOn(platform::sqlstore::Connection& conn, const std::string& path);
// Every hold, by path.
std::vector<std::pair<std::string, Hold>> Holds();

// The marks of each of `paths` that has anything written about it (paths
// without are left out): one statement per kind for the lot, so a grid
// asks once for the rows it shows.
std::map<std::string, AnnotationMarks> MarksOf(const std::vector<std::string>& paths);
// The holds of those of `paths` that are held, in one statement for the lot.
std::map<std::string, Hold> HoldsOf(const std::vector<std::string>& paths);

// After a recording was deleted through the program: its note, tags and
// bookmarks go too (a hold never: a held recording is not deleted).
// Failures go to the run log only; the recording is gone either way.
void ForgetAnnotations(const std::string& path);

// Recordings with a note, tags or bookmarks that the index no longer holds
// (their file vanished outside the program, or another rebuild no longer
// found it), in path order; and the count of such notes, which a rebuild
// asks for (a lookup along the path's index per note).
std::vector<std::string> OrphanedPaths();
std::int64_t CountOrphanedNotes(platform::sqlstore::Connection& conn);
// A rebuild's words for them: "n notes belong to recordings no longer found"
// ("1 note belongs to a recording no longer found").
std::string OrphanedNotesText(std::int64_t n);

}  // namespace player
