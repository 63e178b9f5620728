// player: the record database, the index of recordings in Player.mdb.
//
// One table, RecordFileInfo, that a scan empties and refills and the
// searches read. PlayerConnection (process_state.h) is the one connection;
// ConnectAccess opens it, CloseAccess closes it, GetRecordset runs a search
// and always hands back a result set (closed and empty after a failure),
// InsertFileInfo stores one scanned recording, ClearTmpData empties the
// table. Each traps its own errors and writes its own log line.
//
// An index file this process cannot write (a read-only program folder, a
// file of another user's, a full disk) is opened read-only instead, so
// searching and playing go on, and the operator is told once per run that
// rebuilds, deletes and settings cannot be saved; rebuilds and deletes then
// refuse before touching anything.
//
// With a site file (site_file.h) ConnectAccess opens the shared index on
// the site's server instead of the file; everything else works the same.
// A server can go away under an open connection (a restart, a cut line),
// and the session it leaves stays broken: ReachIndex, which GetRecordset
// and a rebuild call first, asks the server (one trivial statement) and
// connects again when the session was lost, so the first search after the
// server is back finds rows again. While it cannot be reached,
// IndexServerUnreachable gives the message the window shows the operator;
// it never holds the connection line, which may carry a password (the
// server's own reason goes to the run log only, without the line's
// values). A server that does not answer within its wait (a stopped
// machine) ends the search with that message, and is not asked again
// until the next search.
//
// GetRecordset first gathers the statistics the query planner needs when
// the file has none (Connection::GatherMissingStatistics): an index filled
// by another program would otherwise read the whole table for a day of
// every channel. A read-only or busy index is searched without them.
//
// InsertFileInfo binds its six values instead of splicing them into the
// statement, so a folder named O'Brien is indexed like any other; the
// statement text with the values between quotes is still built, for the
// log line of an insert that fails.
//
// A rebuild (record_rebuild.h) holds the whole refill in one transaction
// on this connection: a search here sees every row at once, other
// processes see the previous index until the rebuild commits. An insert
// that fails because of the store itself (a full disk, a read-only file,
// a missing table) is logged as any failed insert and also ends the
// running scan (IsParsing) and marks the rebuild failed (StoreFailure), so
// the rebuild rolls back instead of committing half an index; a value the
// store refuses costs only its own row.
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

bool ConnectAccess(std::shared_ptr<Connection>& conn, const std::string& databaseFile, const std::string& password);
void CloseAccess();
// Opens PlayerConnection when it is not (ConnectAccess), and replaces a
// server session the server has dropped; nothing to the session of a
// rebuild under way. True when the index is open.
bool ReachIndex();
// Why the site's server could not be reached at the last attempt, in words
// that never hold its connection line: "the record index server of this
// site (PlayerSite.conf) cannot be reached" (or "does not answer within 10
// seconds"), or "PlayerSite.conf: the connection line cannot be read
// (position N)"; empty when the index is open or is no server.
std::string IndexServerTrouble();
// The window's message for it; empty likewise.
std::string IndexServerUnreachable();
// An unopened result set when the search failed; `outcome`, when given,
// then says why (the run log's "!GetRecordset " line says it too).
std::shared_ptr<Recordset> GetRecordset(const std::string& sql, Outcome* outcome = nullptr);
bool CloseRst(std::shared_ptr<Recordset>& rs);
void InsertFileInfo(const RecordInfo& info);
void ClearTmpData();

}  // namespace player
