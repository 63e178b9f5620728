// Rebuilding the record index as one unit: see record_rebuild.h.
#include "player/core/index/record_rebuild.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "player/core/text.h"
#include "player/core/fixed_text.h"
#include "player/core/paths.h"
#include "platform/sqlstore/connection.h"
#include "player/core/process_state.h"
#include "player/core/index/rebuild_lock.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_scan.h"
#include "player/core/notes/held_rows.h"
#include "player/core/notes/notes_store.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"

namespace player {
namespace {

constexpr const char* kNotRebuilt = "; the record index was not rebuilt.";
constexpr const char* kKept = "; the record index was left as it was.";

[[noreturn]] void Refuse(const std::string& why) { throw RebuildError(why + kNotRebuilt); }

// The folder a rebuild scans and stores: its canonical path, once it is
// known to be a folder this user can list.
std::string CheckMainFolder(const std::string& given) {
    if (given.empty()) Refuse("No main folder is given");
    const std::string named = "The main folder \"" + given + "\"";
    const auto reason = [] { return std::string(FileError({errno, std::generic_category()}).what()); };
    struct stat st {};
    if (stat(given.c_str(), &st) != 0) {
        if (errno == ENOENT) Refuse(named + " does not exist");
        Refuse(named + " cannot be reached (" + reason() + ")");
    }
    if (!S_ISDIR(st.st_mode)) Refuse(named + " is not a folder");
    // A folder this user may not list scans as an empty one.
    DIR* listing =
        faccessat(AT_FDCWD, given.c_str(), R_OK | X_OK, AT_EACCESS) == 0 ? opendir(given.c_str()) : nullptr;
    if (!listing) Refuse(named + " cannot be read (" + reason() + ")");
    closedir(listing);
    std::error_code ec;
    const std::string folder = std::filesystem::canonical(given, ec).string();
    if (ec) Refuse(named + " cannot be reached (" + FileError(ec).what() + ")");
    if (folder.size() > decltype(PlayerProcess::MainFolder)::size())
        Refuse("The main folder \"" + folder + "\" is longer than the " +
               std::to_string(decltype(PlayerProcess::MainFolder)::size()) + " bytes the settings keep");
    return folder;
}

// The database's write lock, tried in short turns so the window stays
// live while another program finishes its write.
void BeginWrite(platform::sqlstore::Connection& conn) {
    PlayerProcess& p = Process();
    const auto giveUp = std::chrono::steady_clock::now() + p.RebuildWait;
    for (;;) {
        try {
            conn.BeginWrite(std::chrono::milliseconds(100));
            return;
        } catch (const platform::sqlstore::Error& e) {
            if (!e.IsBusy())  // read-only, damaged, ...
                throw RebuildError("The record index cannot be written (" + e.Description() + ")" + kKept);
            if (std::chrono::steady_clock::now() >= giveUp)
                throw RebuildError("The record index is locked by another program (" + e.Description() + ")" +
                                   kKept);
        }
        p.PumpEvents();
    }
}

// True when `inner` lies inside `outer` (both canonical, absolute).
bool Inside(const std::string& inner, const std::string& outer) {
    return inner != outer && inner.starts_with(outer == "/" ? outer : outer + "/");
}

// The rebuild's own main folder, locked for the transaction, so that a
// scan of it, or of a folder inside or above it, waits as a second scan of
// it does; tried in short turns as BeginWrite does. A folder beside it
// never waits.
void LockMainFolder(platform::sqlstore::Connection& conn, const std::string& folder) {
    PlayerProcess& p = Process();
    const auto giveUp = std::chrono::steady_clock::now() + p.RebuildWait;
    for (;;) {
        try {
            if (conn.TryLockMainFolder(folder)) return;
        } catch (const std::exception& e) {
            throw RebuildError("The record index cannot be written (" + Describe(e) + ")" + kKept);
        }
        if (std::chrono::steady_clock::now() >= giveUp)
            throw RebuildError("The main folder \"" + folder +
                               "\" or a folder inside or above it is being rebuilt by another scan" + kKept);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        p.PumpEvents();
    }
}

// A stored main folder's name as this machine resolves it; a name it
// cannot resolve (another recorder's mount) only tidied.
std::string Resolved(const std::string& name) {
    std::error_code ec;
    if (name.starts_with('/'))
        if (auto real = std::filesystem::canonical(name, ec); !ec) return real.string();
    std::string tidy = std::filesystem::path(name).lexically_normal().string();
    while (tidy.size() > 1 && tidy.back() == '/') tidy.pop_back();
    return tidy;
}

// The names under which the index holds `folder`'s rows: the folder and
// its other spellings. Refuses a folder inside or above another main folder
// of the rows.
std::vector<std::string> NamesOfMainFolder(platform::sqlstore::Connection& conn, const std::string& folder) {
    std::vector<std::string> names{folder};
    for (const std::string& name : conn.StoredMainFolders("RecordFileInfo")) {
        if (name == folder || name.empty()) continue;
        const std::string other = Resolved(name);
        if (other == folder) {
            names.push_back(name);
            continue;
        }
        const char* where = Inside(folder, other) ? "lies inside" : Inside(other, folder) ? "holds" : nullptr;
        if (where)
            Refuse("The main folder \"" + folder + "\" " + where + " \"" + name +
                   "\", the main folder of other rows of the record index (their recordings would be indexed twice)");
    }
    return names;
}

// While the index is rebuilt, every inserted row is marked with the main
// folder; the mark goes however the rebuild ends.
class RowFolder {
public:
    RowFolder(platform::sqlstore::Connection& conn, const std::string& folder) : conn_(conn) {
        conn_.SetRowFolder(folder);
    }
    RowFolder(const RowFolder&) = delete;
    RowFolder& operator=(const RowFolder&) = delete;
    ~RowFolder() { conn_.SetRowFolder({}); }

private:
    platform::sqlstore::Connection& conn_;
};

// The rows the index holds under `names` (every row of Player.mdb).
std::int32_t StoredRows(platform::sqlstore::Connection& conn, const std::vector<std::string>& names) {
    return static_cast<std::int32_t>(conn.CountFolderRows("RecordFileInfo", names));
}

// A scan that found nothing where the index held `held` rows empties it
// only when the operator (or the caller) says so.
void MayEmpty(EmptyScan empty, const std::string& folder, std::int32_t held) {
    if (held == 0 || empty == EmptyScan::Allow) return;
    if (empty == EmptyScan::Ask &&
        Process().dialogs->Question("No recordings were found under " + folder + ". Empty the record index?"))
        return;
    throw EmptyScanRefused("No recordings were found under " + folder + kKept);
}

// What a rebuild changes in the process, put back however it ends.
class Rebuilding {
public:
    Rebuilding() : p_(Process()), previousFolder_(p_.MainFolder) {
        p_.IsRebuilding = true;
        p_.IsParsing = true;
        p_.StoreFailure.clear();
        p_.ScanNotRecognised = p_.ScanSkipped = 0;
    }
    Rebuilding(const Rebuilding&) = delete;
    Rebuilding& operator=(const Rebuilding&) = delete;
    ~Rebuilding() {
        p_.IsParsing = false;
        p_.IsRebuilding = false;
    }
    // The main folder is stored in the settings file from here on.
    void Store(const std::string& folder) {
        p_.MainFolder = folder;
        stored_ = true;
        WriteMiscConfig();
    }
    // A failed rebuild: the transaction goes, the previous main folder
    // comes back.
    void Undo(platform::sqlstore::Connection& conn) {
        conn.Rollback();
        p_.MainFolder = previousFolder_.str();
        if (!stored_) return;
        try {
            WriteMiscConfig();
        } catch (const std::exception& e) {
            WriteRunLog("!RefreshFileInfo the previous main folder could not be stored again: " + Describe(e));
        }
    }

private:
    PlayerProcess& p_;
    const FixedText<255> previousFolder_;
    bool stored_ = false;
};

}  // namespace

std::int32_t RebuildRecordIndex(const std::string& mainFolderText, EmptyScan empty) {
    PlayerProcess& p = Process();
    const std::string folder = CheckMainFolder(text::Trim(mainFolderText));
    if (!ReachIndex()) {
        if (const std::string why = IndexServerTrouble(); !why.empty())  // never the line: it may hold a password
            Refuse(text::UCase(text::Left(why, 1)) + text::Mid(why, 2));
        Refuse("The record index \"" + p.DatabaseFile + "\" cannot be opened");
    }
    const auto conn = p.PlayerConnection;
    if (conn->IsReadOnly()) Refuse("The record index \"" + p.DatabaseFile + "\" cannot be written");

    Rebuilding rebuilding;
    std::string holder;
    const std::optional<RebuildLock> lock = [&] {
        try {
            return RebuildLock::Take(p.DatabaseFile, p.RebuildWait, p.PumpEvents, holder);
        } catch (const std::exception& e) {
            throw RebuildError("The record index cannot be locked for the rebuild (" + Describe(e) + ")" + kKept);
        }
    }();
    if (!lock) throw RebuildError("The record index is being rebuilt by " + holder + kKept);
    if (!p.IsParsing) throw RebuildError(std::string("The rebuild was cancelled before it began") + kKept);
    BeginWrite(*conn);
    std::vector<std::string> names{folder};  // the folder's rows are stored under these
    std::int32_t held = 0;
    try {
        LockMainFolder(*conn, folder);
        names = NamesOfMainFolder(*conn, folder);
    } catch (const RebuildError&) {
        conn->Rollback();
        throw;
    } catch (const std::exception& e) {
        conn->Rollback();
        throw RebuildError("The record index cannot be read (" + Describe(e) + ")" + kKept);
    }
    const RowFolder marking(*conn, folder);

    WriteRunLog("Rebuild of the record index from [" + folder + "] started");
    std::string failure;
    try {
        try {
            rebuilding.Store(folder);
        } catch (const std::exception& e) {
            throw RebuildError("The main folder cannot be stored in \"" + p.MiscConfigFile + "\" (" + Describe(e) +
                               ")");
        }
        std::vector<std::string> indexes;
        std::optional<HeldRowsKept> onHold;
        try {
            held = StoredRows(*conn, names);
            onHold.emplace(*conn, names);
            conn->DeleteFolderRows("RecordFileInfo", names);
            indexes = conn->DropIndexes("RecordFileInfo");  // made again from the new rows at the end
        } catch (const std::exception& e) {
            WriteRunLog("!ClearTmpData " + Describe(e));
            throw RebuildError("The record index cannot be emptied (" + Describe(e) + ")");
        }
        ScanProgress().Load();
        LoopParseFile(folder);
        const bool cancelled = !p.IsParsing && p.StoreFailure.empty();
        if (!p.StoreFailure.empty()) throw RebuildError("The record index cannot be stored (" + p.StoreFailure + ")");
        std::int32_t count = 0;
        try {
            count = StoredRows(*conn, {folder});  // what the commit makes the index
        } catch (const std::exception& e) {
            throw RebuildError("The record index cannot be stored (" + Describe(e) + ")");
        }
        if (count == 0) MayEmpty(empty, folder, held);
        try {
            conn->CreateIndexes(indexes);
            // Looked up along the path's index, made again just now.
            if (const std::int64_t back = onHold->PutBack(folder))
                WriteRunLog("Rebuild of the record index from [" + folder + "]: " + std::to_string(back) +
                            " recordings on hold were not found and keep their rows");
            conn->Analyze("RecordFileInfo");  // the all-channel time range reads the index, channel by channel
            conn->CommitBatch();
        } catch (const std::exception& e) {
            throw RebuildError("The record index cannot be stored (" + Describe(e) + ")");
        }
        p.OrphanedNotes = 0;
        try {
            p.OrphanedNotes = CountOrphanedNotes(*conn);
        } catch (const std::exception& e) {
            WriteRunLog("!RefreshFileInfo the notes of recordings no longer found could not be counted: " +
                        Describe(e));
        }
        WriteRunLog("Rebuild of the record index from [" + folder + "] " + (cancelled ? "cancelled" : "ended") +
                    ": " + std::to_string(count) + " recordings stored, " + std::to_string(p.ScanNotRecognised) +
                    " files not recognised, " + std::to_string(p.ScanSkipped) + " folders or files passed over" +
                    (p.OrphanedNotes ? "; " + OrphanedNotesText(p.OrphanedNotes) : std::string()));
        return count;
    } catch (const EmptyScanRefused& e) {
        rebuilding.Undo(*conn);
        WriteRunLog("Rebuild of the record index from [" + folder + "] found no recording; the previous record "
                    "index of " + std::to_string(held) + " recordings was kept");
        throw;
    } catch (const std::exception& e) {
        rebuilding.Undo(*conn);
        failure = e.what();
    }
    WriteRunLog("Rebuild of the record index from [" + folder + "] failed: " + failure +
                "; the previous record index was kept");
    throw RebuildError(failure + "; the previous record index was kept.");
}

}  // namespace player
