// player: the record database, the index of recordings in Player.mdb (or
// on the site's server): one table, RecordFileInfo, that a scan empties and
// refills and the searches read, through the one PlayerConnection
// (process_state.h). Each operation traps its own errors, writes its own
// log line and returns a failure value, as the window and the terminal
// front expect. docs/design.md ("The player without a window").
#pragma once

#include <memory>
#include <string>

#include "player/core/index/store_state.h"
#include "player/core/run_error.h"

namespace player {

using platform::sqlstore::Connection;
using platform::sqlstore::Recordset;

struct RecordInfo {
    bool IsValid = false;
    std::string FileFullName;
    std::string RecordDateTime;
    std::string RecordChannel;
    std::string CallNumber;
    std::string RecordDuration;
    std::string CallDirection;
};

// Opens the index: the file, or with a site file (site_file.h) the shared
// index on the site's server. A file this process cannot write (a
// read-only program folder, a file of another user's, a full disk) is
// opened read-only instead, so searching and playing go on; the operator is
// told once per run that rebuilds, deletes and settings cannot be saved,
// and rebuilds and deletes then refuse before touching anything.
bool ConnectAccess(std::shared_ptr<Connection>& conn, const std::string& databaseFile, const std::string& password);
void CloseAccess();
// Opens PlayerConnection when it is not (ConnectAccess), and replaces a
// server session the server has dropped (a restart, a cut line: such a
// session stays broken): it asks the server one trivial statement and
// connects again when the session was lost, so the first search after the
// server is back finds rows again. Nothing to the session of a rebuild
// under way. GetRecordset and a rebuild call it first. A server that does
// not answer within its wait (a stopped machine) ends the search with
// IndexServerUnreachable's message, and is not asked again until the next
// search. True when the index is open.
bool ReachIndex();
// Why the site's server could not be reached at the last attempt, in words
// that never hold its connection line: "the record index server of this
// site (PlayerSite.conf) cannot be reached" (or "does not answer within 10
// seconds"), or "PlayerSite.conf: the connection line cannot be read
// (position N)"; empty when the index is open or is no server.
std::string IndexServerTrouble();
// The window's message for it; empty likewise. Neither ever holds the
// connection line, which may carry a password: the server's own reason
// goes to the run log only, without the line's values.
std::string IndexServerUnreachable();
// Runs a search and always hands back a result set (closed and empty after
// a failure; `outcome`, when given, then says why, as the run log's
// "!GetRecordset " line does). It first gathers the statistics the query
// planner needs when the file has none (Connection::GatherMissingStatistics):
// an index filled by another program would otherwise read the whole table
// for a day of every channel. A read-only or busy index is searched without
// them.
std::shared_ptr<Recordset> GetRecordset(const std::string& sql, Outcome* outcome = nullptr);
bool CloseRst(std::shared_ptr<Recordset>& rs);
// Stores one scanned recording, its six values bound (the statement text
// with the values between quotes is still built, for the log line of an
// insert that fails). A rebuild (record_rebuild.h) holds the whole refill
// in one transaction on this connection. An insert that fails because of
// the store itself (a full disk, a read-only file, a missing table) is
// logged as any failed insert and also ends the running scan (IsParsing)
// and marks the rebuild failed (StoreFailure), so the rebuild rolls back
// instead of committing half an index; a value the store refuses costs
// only its own row.
void InsertFileInfo(const RecordInfo& info);
// Empties the table.
void ClearTmpData();

}  // namespace player
