// player: the record database, the index of recordings in Player.mdb.
//
// One table, RecordFileInfo, that a scan empties and refills and the
// searches read. PlayerConnection (process_state.h) is the one connection;
// ConnectAccess opens it, CloseAccess closes it, GetRecordset runs a search
// and always hands back a result set (closed and empty after a failure),
// InsertFileInfo stores one scanned recording, ClearTmpData empties the
// table. Each traps its own errors and writes its own log line.
//
// InsertFileInfo binds its six values instead of splicing them into the
// statement, so a folder named O'Brien is indexed like any other; the
// statement text with the values between quotes is still built, for the
// log line of an insert that fails.
//
// While a scan runs (IsParsing), inserts are grouped into one transaction
// that the scan commits once it is 200 ms old (CommitFileInfoIfDue, asked
// after every stored file and at every folder's end) and when the scan
// ends (CommitFileInfo): rows inserted before a cancel stay, a search on
// this connection sees every row so far, and another process sees them
// within 200 ms. Committing at every folder's end as well made a scan of
// 100 000 recordings in 1 000 folders four times slower (each commit
// rewrites the index pages the folder touched), so the age alone decides.
#pragma once

#include <memory>
#include <string>

namespace platform::sqlstore {
class Connection;
class Recordset;
}  // namespace platform::sqlstore

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
std::shared_ptr<Recordset> GetRecordset(const std::string& sql);
bool CloseRst(std::shared_ptr<Recordset>& rs);
void InsertFileInfo(const RecordInfo& info);
void ClearTmpData();

// The scan's transaction: commit now, or when it is 200 ms old.
void CommitFileInfo();
void CommitFileInfoIfDue();

}  // namespace player
