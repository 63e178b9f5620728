// platform/sqlstore: the one connection to the record store, a SQLite file
// or, for provider "postgresql", the site's server (server_session.h). It
// runs the player's statements (jet_sql.h), inserts rows with their values
// bound, never spliced into the text, and groups writes in transactions.
// How the file is opened and kept: docs/design.md ("The connection").
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"
#include "jet_sql.h"

struct sqlite3;
namespace platform::sqlstore {
class ServerSession;
}
struct sqlite3_stmt;

namespace platform::sqlstore {

struct StatementDeleter {
    void operator()(sqlite3_stmt* s) const;
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

class Connection {
public:
    Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    // What the connection string and password properties held; only "data
    // source" is read (blanks around it are ignored). Result sets are always
    // fetched whole, as a client-side cursor is.
    std::string ConnectionString;
    std::string Password;
    // The server's login, given apart from the line (it wins over a user
    // the line names), as Password is: a service connecting as the person
    // who logged in to it. Empty: the line's own.
    std::string User;
    // Open the file read-only (the server ignores it).
    bool ReadOnly = false;

    bool IsOpen() const { return db_ != nullptr || server_ != nullptr; }
    // True when the open file cannot be written through this connection.
    bool IsReadOnly() const;
    // False once the store has dropped an open connection: the server's
    // session lost (a restart, a cut line) or given up for want of an
    // answer. A file's connection stays usable while it is open.
    bool Usable() const;
    // Asks whether the connection still holds: one trivial statement to the
    // server; nothing on a file, which drops no connection. Throws Error.
    void Ping();
    // True when a write transaction holds the whole store until it ends, so
    // a second writer waits for all of it: a file (its write lock), and a
    // closed connection. False on the server, where a writer holds only the
    // rows and main folders it changes.
    bool WriterLocksWholeStore() const { return server_ == nullptr; }
    // The shared store's session, or null for a SQLite file (or closed).
    // For the store's own code and tests: the player asks the operations
    // of this class.
    ServerSession* Server() const { return server_.get(); }
    // Opens the file named by ConnectionString; throws Error. The file must
    // exist: the store never creates a database.
    void Open();
    // Commits an open transaction, then closes. Never throws; false when
    // that commit failed (the transaction is then rolled back).
    bool Close();

    // Runs one or more of the player's statements (jet_sql.h); throws Error.
    void Execute(std::string_view jetSql);
    // insert into table(columns...) values(?,...), each value bound after
    // conversion to its column's kind; throws Error.
    void InsertRow(std::string_view table, const std::vector<std::string>& columns,
                   const std::vector<std::string_view>& values);
    // delete from table where its row id is rowId; throws Error.
    void DeleteRow(std::string_view table, long long rowId);

    // For a bulk load: drops the table's own indexes and hands back the
    // statements that make them again (CreateIndexes), to be run once the
    // rows are in. Sorting the loaded rows into a new index is faster than
    // keeping it up at every insert; inside a transaction both go with it
    // on a rollback. Throw Error.
    std::vector<std::string> DropIndexes(std::string_view table);
    void CreateIndexes(const std::vector<std::string>& statements);
    // Counts the table's rows and each index's distinct keys for the query
    // planner (sqlite_stat1), as a bulk load's last step: with them a range
    // on an index's second column alone (RecordDateTime under
    // RecordChannel) is searched channel by channel instead of reading the
    // whole table. Reads each index once; throws Error. Nothing on the
    // server, which keeps its statistics itself.
    void Analyze(std::string_view table);
    // Analyze for a file whose table has no statistics at all: an index
    // another program filled, which no rebuild here ever analysed, would
    // read the whole table for every range over all channels. Asked once
    // per open, before its first search; the ANALYZE itself is done once
    // for the file. Nothing on the server, on a file opened read-only,
    // inside a transaction, or while another process holds the write lock
    // (not waited for; the next search tries again). Never throws: a search
    // does without statistics sooner than fail for them.
    void GatherMissingStatistics(std::string_view table) noexcept;

    // A rebuild replaces the rows of one main folder (the folder its scan
    // starts from; canonical and absolute). A file is the index of one
    // main folder: every row is that folder's, and its write transaction
    // (BeginWrite) holds the whole file. On the server each row names its
    // main folder (kMainFolderColumn), and a rebuild locks its own.
    //
    // Locks `folder` for the open write transaction against a rebuild of
    // the same folder, of one inside it or of one above it: the folder
    // exclusively, each folder above it shared; the locks go with the
    // transaction or the session. False when another transaction holds one
    // of them (not waited for); always true on the file. Throws Error.
    bool TryLockMainFolder(const std::string& folder);
    // The main folders the table's rows name, each once (an empty name left
    // out), read along its index; none on the file. Throws Error.
    std::vector<std::string> StoredMainFolders(std::string_view table);
    // The table's rows stored under any of `folders` (on the file: every
    // row), counted or deleted. Throw Error.
    std::int64_t CountFolderRows(std::string_view table, const std::vector<std::string>& folders);
    void DeleteFolderRows(std::string_view table, const std::vector<std::string>& folders);
    // Every row inserted from now on is marked with this main folder (empty:
    // not marked). Nothing on the file, whose rows name none.
    void SetRowFolder(std::string folder);

    // A transaction that groups inserts. BeginBatch does nothing when one is
    // open; CommitBatch does nothing when none is. Both throw Error.
    void BeginBatch();
    void CommitBatch();
    bool InBatch() const;
    // A transaction that holds the file's write lock from its start, so no
    // other writer can come between; waits up to `wait` for another writer
    // to finish, then throws Error (SQLite's busy code). Throws when a
    // transaction is already open.
    void BeginWrite(std::chrono::milliseconds wait);
    // Undoes an open transaction; nothing when none is. Never throws.
    void Rollback() noexcept;

    // One statement in the dialect both stores read alike, its values bound
    // as $1, $2, ... (on the file as named parameters, so a value may be
    // used twice or out of order); its rows as texts, nullopt for a NULL.
    // For tables beside the player's own statements (notes, holds), whose
    // values never pass through jet_sql.h. Throws Error.
    using TextRows = std::vector<std::vector<std::optional<std::string>>>;
    TextRows Query(const std::string& sql, const std::vector<std::string>& parameters = {});

    const ColumnKinds& Kinds() const { return kinds_; }

    // The shared store only: a second session to the same server for a
    // result set that reads its rows on demand (recordset.h). The set keeps
    // its cursor in a transaction of that session's own, so its snapshot
    // lasts as long as the set, and one set's failure spoils neither another
    // set nor this connection's writes. A set gives its session back when it
    // closes, its transaction ended, and the next set takes it again (at
    // most kIdleReaders wait), so a search costs no new connection. Throws
    // Error when the server cannot be reached.
    std::unique_ptr<ServerSession> TakeReader();
    void GiveBackReader(std::unique_ptr<ServerSession> reader) noexcept;
    static constexpr std::size_t kIdleReaders = 2;

    // A prepared statement of SQLite's own dialect; throws Error. SQLite
    // only, as Handle is: the server has no side for them.
    Statement Prepare(std::string_view sql);
    sqlite3* Handle() const { return db_; }

private:
    void RequireOpen() const;
    void OpenFile(const std::string& name, int flags);
    [[noreturn]] void Fail() const;
    void LoadColumnKinds();
    sqlite3_stmt* Cached(const std::string& sql);

    sqlite3* db_ = nullptr;
    std::unique_ptr<ServerSession> server_;
    std::vector<std::unique_ptr<ServerSession>> idleReaders_;
    ColumnKinds kinds_;
    std::map<std::string, Statement, std::less<>> cache_;
    bool statisticsKnown_ = false;  // there, gathered, or not to be written this open
    // The last insert's statement (owned by cache_) and its columns' kinds.
    struct LastInsert {
        std::string table;
        std::vector<std::string> columns;
        std::vector<ColumnKind> kinds;
        sqlite3_stmt* statement = nullptr;
    } lastInsert_;
};

// The data source (or provider) named by a connection string, blanks
// around it removed; empty when it names none.
std::string DataSourceOf(std::string_view connectionString);
std::string ProviderOf(std::string_view connectionString);
// True when the connection string names the shared store's server.
bool NamesServer(std::string_view connectionString);

}  // namespace platform::sqlstore
