// Rebuilding the record index as one unit: see record_rebuild.h.
#include "record_rebuild.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "cut_text.h"
#include "fixed_text.h"
#include "paths.h"
#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "platform/sqlstore/server_session.h"
#include "process_state.h"
#include "rebuild_lock.h"
#include "record_database.h"
#include "record_scan.h"
#include "run_error.h"
#include "run_log.h"

namespace player {
namespace {

constexpr const char* kNotRebuilt = "; the record index was not rebuilt.";
constexpr const char* kKept = "; the record index was left as it was.";

[[noreturn]] void Refuse(const std::string& why) { throw RebuildError(why + kNotRebuilt); }

void CheckMainFolder(const std::string& folder) {
    if (folder.empty()) Refuse("No main folder is given");
    const std::string named = "The main folder \"" + folder + "\"";
    if (folder.size() > decltype(PlayerProcess::MainFolder)::size())
        Refuse(named + " is longer than the " + std::to_string(decltype(PlayerProcess::MainFolder)::size()) +
               " bytes the settings keep");
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT) Refuse(named + " does not exist");
        Refuse(named + " cannot be reached (" + FileError({errno, std::generic_category()}).what() + ")");
    }
    if (!S_ISDIR(st.st_mode)) Refuse(named + " is not a folder");
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
            constexpr int kSqliteBusy = 5;
            if ((e.Number() & 0xff) != kSqliteBusy)  // read-only, damaged, ...
                throw RebuildError("The record index cannot be written (" + e.Description() + ")" + kKept);
            if (std::chrono::steady_clock::now() >= giveUp)
                throw RebuildError("The record index is locked by another program (" + e.Description() + ")" +
                                   kKept);
        }
        p.PumpEvents();
    }
}

// On the shared index: the rebuild's own main folder, locked for the
// transaction (an advisory lock the server drops with the transaction or
// the session), tried in short turns as BeginWrite does. Another
// recorder's folder never waits for it.
void LockMainFolder(platform::sqlstore::ServerSession& server, const std::string& folder) {
    PlayerProcess& p = Process();
    const auto giveUp = std::chrono::steady_clock::now() + p.RebuildWait;
    for (;;) {
        try {
            if (server.RunForValue("select pg_try_advisory_xact_lock(hashtextextended($1, 0))", {folder}) == "t")
                return;
        } catch (const std::exception& e) {
            throw RebuildError("The record index cannot be written (" + Describe(e) + ")" + kKept);
        }
        if (std::chrono::steady_clock::now() >= giveUp)
            throw RebuildError("The main folder \"" + folder + "\" is being rebuilt by another scan" + kKept);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        p.PumpEvents();
    }
}

// While the shared index is rebuilt, every inserted row is marked with the
// main folder; the mark goes however the rebuild ends.
class RowFolder {
public:
    RowFolder(platform::sqlstore::ServerSession* server, const std::string& folder) : server_(server) {
        if (server_) server_->SetRowFolder(folder);
    }
    RowFolder(const RowFolder&) = delete;
    RowFolder& operator=(const RowFolder&) = delete;
    ~RowFolder() {
        if (server_) server_->SetRowFolder({});
    }

private:
    platform::sqlstore::ServerSession* server_;
};

std::int32_t StoredRows(const std::shared_ptr<platform::sqlstore::Connection>& conn, const std::string& folder) {
    if (auto* server = conn->Server()) {
        return static_cast<std::int32_t>(
            std::stol(server->RunForValue("select count(*) from RecordFileInfo where MainFolder = $1", {folder})));
    }
    platform::sqlstore::Recordset count;
    count.Open("select count(*) from RecordFileInfo", conn);
    return static_cast<std::int32_t>(std::stol(std::string(count.Value(0, 0).value_or("0"))));
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

std::int32_t RebuildRecordIndex(const std::string& mainFolderText) {
    PlayerProcess& p = Process();
    const std::string folder = text::Trim(mainFolderText);
    CheckMainFolder(folder);
    if (!ReachIndex()) {
        if (const std::string why = IndexServerTrouble(); !why.empty())  // never the line: it may hold a password
            Refuse(text::UCase(text::Left(why, 1)) + text::Mid(why, 2));
        Refuse("The record index \"" + p.DatabaseFile + "\" cannot be opened");
    }
    const auto conn = p.PlayerConnection;

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
    if (auto* server = conn->Server()) {
        try {
            LockMainFolder(*server, folder);
        } catch (...) {
            conn->Rollback();
            throw;
        }
    }
    const RowFolder marking(conn->Server(), folder);

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
        try {
            if (auto* server = conn->Server())  // the shared index: this main folder's rows only
                server->Run("delete from RecordFileInfo where MainFolder = $1", {folder});
            else
                conn->Execute("delete from RecordFileInfo");
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
            conn->CreateIndexes(indexes);
            conn->Analyze("RecordFileInfo");  // the all-channel time range reads the index, channel by channel
            count = StoredRows(conn, folder);  // what the commit makes the index
            conn->CommitBatch();
        } catch (const std::exception& e) {
            throw RebuildError("The record index cannot be stored (" + Describe(e) + ")");
        }
        WriteRunLog("Rebuild of the record index from [" + folder + "] " + (cancelled ? "cancelled" : "ended") +
                    ": " + std::to_string(count) + " recordings stored, " + std::to_string(p.ScanNotRecognised) +
                    " files not recognised, " + std::to_string(p.ScanSkipped) + " folders or files passed over");
        return count;
    } catch (const std::exception& e) {
        rebuilding.Undo(*conn);
        failure = e.what();
    }
    WriteRunLog("Rebuild of the record index from [" + folder + "] failed: " + failure +
                "; the previous record index was kept");
    throw RebuildError(failure + "; the previous record index was kept.");
}

}  // namespace player
