// "Delete" and "DeleteAll": see delete_files.h.
#include "player/core/files/delete_files.h"

#include <exception>
#include <memory>
#include <optional>

#include "player/core/audit/audit_trail.h"
#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/error.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/playback/playback.h"
#include "player/core/process_state.h"
#include "player/core/index/rebuild_lock.h"
#include "player/core/index/site_login.h"
#include "player/core/run_error.h"
#include "player/core/file_utilities.h"
#include "player/core/notes/notes_store.h"
#include "player/core/run_log.h"

namespace player {
namespace {

using platform::sqlstore::Recordset;

// The record store's error numbers for "currently locked" and "read-only".
constexpr int kLocked = 3218;
constexpr int kReadOnly = 3027;

// rsResult when it holds rows; null otherwise.
std::shared_ptr<Recordset> RowsOfTheList() {
    auto set = Process().rsResult;
    if (!set || !set->IsOpen() || set->RecordCount() <= 0) return nullptr;
    return set;
}

void ShowTrapped(const std::exception& e) {
    Process().dialogs->Information("!Delete File " + std::to_string(NumberOf(e)) + " " + Describe(e));
}

// The rebuild lock for one delete, where a rebuild under way would keep the
// whole store until its commit (Player.mdb's write lock): the delete stops
// with the name of who rebuilds instead of waiting for it. An index open
// read-only stops it before anything is touched.
std::optional<RebuildLock> HoldOffRebuilds() {
    PlayerProcess& p = Process();
    if (!p.PlayerConnection || !p.PlayerConnection->WriterLocksWholeStore()) return std::nullopt;
    if (p.PlayerConnection->IsReadOnly())
        throw RunError(kReadOnly,
                       "The record index \"" + p.DatabaseFile + "\" cannot be written; nothing was deleted.");
    std::string holder;
    std::optional<RebuildLock> lock = RebuildLock::Take(p.DatabaseFile, p.RebuildWait, p.PumpEvents, holder);
    if (!lock)
        throw RunError(kLocked, "The record index is being rebuilt by " + holder +
                                    "; nothing was deleted. Delete again once the rebuild has ended.");
    return lock;
}

}  // namespace

RecordingOnHold::RecordingOnHold(const std::string& path, const std::string& reason)
    : std::runtime_error("The recording " + path + " is on hold (" + reason + ") and was kept.") {}

bool DeleteRowWithFile(Recordset& set, std::string_view act, const std::function<bool()>& deleteFile) {
    const AuditRow row = AuditRowOf(set);
    RequireDeleteRight();  // what the site's server would refuse, refused before the file goes
    RequireAudit(act);  // no delete that no record would tell of
    std::optional<Hold> held;
    try {
        // The row's lookup, its file's deletion and the row's deletion are
        // one unit: no rebuild may renumber the rows in between.
        const std::optional<RebuildLock> lock = HoldOffRebuilds();
        const bool gone = set.DeleteWith([&] {
            if ((held = HoldOn(*Process().PlayerConnection, row.path))) return false;
            const bool went = deleteFile();
            if (went && Process().BetweenFileAndRow) Process().BetweenFileAndRow();
            return went;
        });
        if (held) {
            WriteRunLog("!" + std::string(act) + " [" + row.path + "] is on hold (" + held->reason + "); kept");
            Audit(act, row, {}, "kept: on hold: " + held->reason);
            throw RecordingOnHold(row.path, held->reason);
        }
        Audit(act, row, {}, gone ? "deleted" : "kept: the file could not be deleted");
        if (gone) ForgetAnnotations(row.path);
        return gone;
    } catch (const RecordingOnHold&) {
        throw;
    } catch (const std::exception& e) {
        Audit(act, row, {}, "kept: " + Describe(e));
        throw;
    }
}

std::string HeldKeptText(std::int64_t held) {
    if (held <= 0) return {};
    if (held == 1) return "1 recording is on hold and was kept.";
    return std::to_string(held) + " recordings are on hold and were kept.";
}

std::string DeleteAllDoneText(std::int32_t kept, std::int32_t changed, std::int32_t held) {
    std::string text = "done!";
    if (held) text += " " + HeldKeptText(held);
    if (kept == 1) text += " 1 file could not be deleted and keeps its row.";
    if (kept > 1) text += " " + std::to_string(kept) + " files could not be deleted and keep their rows.";
    if (changed == 1) text += " 1 file was not deleted: its row changed in the record index since the search;";
    if (changed > 1)
        text += " " + std::to_string(changed) +
                " files were not deleted: their rows changed in the record index since the search;";
    if (changed) text += " search again.";
    return text;
}

void DeleteCurrentFile() {
    PlayerProcess& p = Process();
    if (!p.dialogs->Question("are you sure you want to delete current voice file?")) return;
    try {
        const auto set = RowsOfTheList();
        const std::string path = set ? set->Field("FileFullName") : std::string();
        if (path.empty()) return;
        try {
            if (!DeleteRowWithFile(*set, "delete", [&] { return MyDelFIle(path); })) {
                p.dialogs->Information("delete file " + path + " failed.");
                return;
            }
        } catch (const RecordingOnHold& e) {
            p.dialogs->Information(e.what());
            return;
        }
        // Back and on again: the row that followed the deleted one. With
        // the list's only row gone there is nothing to move on to.
        set->MovePrevious();
        if (!set->Eof()) set->MoveNext();
    } catch (const std::exception& e) {
        ShowTrapped(e);
    }
}

void DeleteAllFiles() {
    PlayerProcess& p = Process();
    if (!p.dialogs->Question("are you sure you want to delete all of the voice file?")) return;
    std::int32_t kept = 0, changed = 0, held = 0;
    try {
        if (const auto set = RowsOfTheList()) {
            StopPlay();  // the walk moves the play list's row
            for (set->MoveFirst(); !set->Eof();) {
                const std::string path = set->Field("FileFullName");
                try {
                    if (!DeleteRowWithFile(*set, "delete-all", [&] { return path.empty() || MyDelFIle(path); })) ++kept;
                } catch (const RecordingOnHold&) {
                    ++held;
                } catch (const platform::sqlstore::Error& e) {
                    if (e.Number() != platform::sqlstore::kRowChanged) throw;
                    ++changed;
                }
                set->MoveNext();
                p.PumpEvents();
                if (p.IsExiting) return;
            }
        }
        p.dialogs->Information(DeleteAllDoneText(kept, changed, held));
    } catch (const std::exception& e) {
        ShowTrapped(e);
    }
}

}  // namespace player
