// The record database: see record_database.h.
#include "player/core/index/record_database.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/connection_line.h"
#include "platform/sqlstore/error.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/process_state.h"
#include "player/core/run_log.h"
#include "player/core/run_error.h"
#include "player/core/text.h"
#include "player/core/index/site_file.h"
#include "player/core/index/site_login.h"
#include "player/core/notes/notes_schema.h"

namespace player {
namespace {

const std::vector<std::string> kColumns{"FileFullName",   "RecordDateTime", "RecordChannel",
                                        "CallNumber",     "RecordDuration", "CallDirection"};

Connection& OpenConnection() {
    auto& conn = Process().PlayerConnection;
    if (!conn) throw RunError::ObjectNotSet();
    return *conn;
}

constexpr const char* kSiteServer = "the record index server of this site (PlayerSite.conf)";

bool IsNoAnswer(const std::exception& e) { return NumberOf(e) == platform::sqlstore::kNoAnswer; }

// Keeps, for the operator, what more than "cannot be reached" a failure to
// reach the site's server says.
void NoteServerTrouble(const std::exception& e) {
    std::string& trouble = Process().SiteServerTrouble;
    trouble.clear();
    const std::string_view why = e.what();
    if (NumberOf(e) == platform::sqlstore::kUnreadableLine)
        trouble = std::string(kSiteFileName) + ": " + std::string(why);
    else if (IsNoAnswer(e) && why.starts_with(platform::sqlstore::kServerSubject))
        trouble = kSiteServer + std::string(why.substr(platform::sqlstore::kServerSubject.size()));
}

// Tells the operator once per run that the index is open read-only.
void TellReadOnly(const std::string& databaseFile, std::string why) {
    PlayerProcess& p = Process();
    if (p.ReadOnlyIndexTold) return;
    p.ReadOnlyIndexTold = true;
    if (::access(databaseFile.c_str(), W_OK) != 0)
        why = FileError({errno, std::generic_category()}).what();
    else if (why.empty())
        why = "the store opened it read-only";
    const std::string text = "The record index " + databaseFile + " cannot be written (" + why +
                             "). It is open for searching and playing only: rebuilds, deletes and settings cannot "
                             "be saved.";
    WriteRunLog("!ConnectAccess " + text);
    p.dialogs->Information(text);
}

}  // namespace

bool ConnectAccess(std::shared_ptr<Connection>& conn, const std::string& databaseFile, const std::string& password) {
    try {
        if (!conn) conn = std::make_shared<Connection>();
        if (const std::string& site = Process().SiteServer; !site.empty()) {
            // The shared index on the site's server (site_file.h); the text
            // is never logged, it may hold a password.
            if (conn->IsOpen()) conn->Close();
            conn->ConnectionString = "provider=postgresql;data source=" + site;
            try {
                conn->Open();
                Process().SiteServerTrouble.clear();
            } catch (const platform::sqlstore::Error& e) {
                NoteServerTrouble(e);
                if (e.Number() == platform::sqlstore::kUnreadableLine)
                    throw platform::sqlstore::Error(e.Number(), Process().SiteServerTrouble);
                throw;
            }
            try {
                AskSiteRights();
            } catch (const std::exception& e) {
                WriteRunLog("!ConnectAccess the server did not say what this login may do: " + Describe(e));
            }
            return true;
        }
        std::error_code ec;
        if (!std::filesystem::is_regular_file(text::Trim(databaseFile), ec)) return false;
        if (conn->IsOpen()) conn->Close();
        conn->ConnectionString = "provider=microsoft.jet.oledb.4.0;data source=" + databaseFile;
        if (!password.empty()) conn->Password = password;
        conn->ReadOnly = false;
        std::string why;
        try {
            conn->Open();
        } catch (const platform::sqlstore::Error& e) {
            if (!e.CannotWrite()) throw;  // a file that cannot be written may still be read
            conn->ReadOnly = true;
            try {
                conn->Open();
            } catch (const platform::sqlstore::Error&) {
                throw e;
            }
            why = e.Description();
        }
        if (conn->IsReadOnly()) {
            TellReadOnly(databaseFile, why);
            return true;
        }
        try {
            AddNotesTables(*conn);  // an index made before them
        } catch (const std::exception& e) {
            WriteRunLog("!ConnectAccess the tables of notes, tags and holds could not be added: " + Describe(e));
        }
        return true;
    } catch (const std::exception& e) {
        WriteRunLog("!ConnectAccess " + Describe(e));
        return false;
    }
}

void CloseAccess() {
    auto& conn = Process().PlayerConnection;
    if (conn && conn->IsOpen()) {
        if (!conn->Close()) WriteRunLog("!CloseAccess the last changes to the record index could not be stored");
        conn.reset();
    }
}

namespace {

// Closes a connection the store has dropped (a server's session; asked
// with one trivial statement); a rebuild's connection is left to the
// rebuild, which fails and rolls back on its own. False when the store did
// not answer the question: connecting again now would only wait as long
// once more.
bool DropLostSession() {
    PlayerProcess& p = Process();
    auto& conn = p.PlayerConnection;
    if (!conn || p.IsRebuilding || !conn->IsOpen()) return true;
    if (!conn->Usable()) {  // given up already, or found broken: nothing to ask
        conn->Close();
        return true;
    }
    try {
        conn->Ping();
    } catch (const std::exception& e) {
        WriteRunLog("!ReachIndex the record index server dropped the connection: " + Describe(e));
        NoteServerTrouble(e);
        conn->Close();  // the lost session's transaction is gone with it
        return !IsNoAnswer(e);
    }
    return true;
}

}  // namespace

bool ReachIndex() {
    PlayerProcess& p = Process();
    if (!DropLostSession()) return false;
    if (!p.PlayerConnection || !p.PlayerConnection->IsOpen()) ConnectAccess(p.PlayerConnection, p.DatabaseFile, "");
    return p.PlayerConnection && p.PlayerConnection->IsOpen();
}

std::string IndexServerTrouble() {
    const PlayerProcess& p = Process();
    if (p.SiteServer.empty() || (p.PlayerConnection && p.PlayerConnection->IsOpen())) return {};
    if (!p.SiteServerTrouble.empty()) return p.SiteServerTrouble;
    return kSiteServer + std::string(" cannot be reached");
}

std::string IndexServerUnreachable() {
    std::string why = IndexServerTrouble();
    if (why.empty()) return why;
    return text::UCase(text::Left(why, 1)) + text::Mid(why, 2) + ", so no recordings can be found. The run log says why. Each search tries again.";
}

std::shared_ptr<Recordset> GetRecordset(const std::string& sql, Outcome* outcome) {
    auto rs = std::make_shared<Recordset>();
    try {
        ReachIndex();
        if (const auto& conn = Process().PlayerConnection; conn && conn->IsOpen())
            conn->GatherMissingStatistics("RecordFileInfo");  // an index filled by another program
        rs->Open(sql, Process().PlayerConnection);
        return rs;
    } catch (const std::exception& e) {
        CloseRst(rs);
        rs = std::make_shared<Recordset>();
        WriteRunLog("!GetRecordset " + Describe(e));
        if (outcome) outcome->reason = Describe(e);
        // A server gone during the search: the operator is told, the next
        // one connects. One that does not answer is not asked again.
        if (IsNoAnswer(e) && Process().PlayerConnection && !Process().IsRebuilding) {
            NoteServerTrouble(e);
            Process().PlayerConnection->Close();
        } else {
            DropLostSession();
        }
        return rs;
    }
}

bool CloseRst(std::shared_ptr<Recordset>& rs) {
    try {
        if (rs) {
            if (rs->IsOpen()) rs->Close();
            rs.reset();
        }
        return true;
    } catch (const std::exception& e) {
        WriteRunLog("!CloseRst " + Describe(e));
        return false;
    }
}

void InsertFileInfo(const RecordInfo& info) {
    if (!info.IsValid) return;
    try {
        OpenConnection().InsertRow("RecordFileInfo", kColumns,
                       {info.FileFullName, info.RecordDateTime, info.RecordChannel, info.CallNumber,
                        info.RecordDuration, info.CallDirection});
    } catch (const std::exception& e) {
        const std::string statement =
            "insert into RecordFileInfo"
            "(FileFullName,RecordDateTime,RecordChannel,CallNumber,RecordDuration,CallDirection) values('" +
            info.FileFullName + "','" + info.RecordDateTime + "','" + info.RecordChannel + "','" + info.CallNumber +
            "','" + info.RecordDuration + "','" + info.CallDirection + "')";
        WriteRunLog("!InsertFileInfo Command [" + statement + "] " + Describe(e));
        const auto* store = dynamic_cast<const platform::sqlstore::Error*>(&e);
        PlayerProcess& p = Process();
        if ((!store || !store->RefusesOnlyTheValues()) && p.IsRebuilding && p.StoreFailure.empty()) {
            p.StoreFailure = Describe(e);
            p.IsParsing = false;  // every further insert would fail the same way
        }
    }
}

void ClearTmpData() {
    try {
        // The main folder's rows (on Player.mdb every row).
        OpenConnection().DeleteFolderRows("RecordFileInfo", {text::Trim(Process().MainFolder.str())});
    } catch (const std::exception& e) {
        WriteRunLog("!ClearTmpData " + Describe(e));
    }
}

}  // namespace player
