// platform/sqlstore: the shared record store's session with a PostgreSQL
// server, over libpq.
//
// A site with several recorders and operators keeps one record index on a
// server instead of a Player.mdb beside each program. Connection (the one
// the player uses) holds a ServerSession instead of a SQLite handle when
// its provider names PostgreSQL, and hands each operation to it; the
// SQLite path stays as it was. This class is the libpq side of those
// operations: the connection and results are owned (unique_ptr with
// libpq's own release functions), every value is bound as a parameter,
// and failures become Error with the server's message.
//
// Error numbers: a value the server refuses (SQLSTATE class 22, data) is
// kTypeMismatch, a constraint (class 23) is 19, and any other failure is
// kServerFailure, so Error::RefusesOnlyTheValues reads them as it reads
// SQLite's codes. The connection string may hold a password; it is never
// put in an error text.
//
// Inserts inside a transaction (a rebuild's) go to the server as one
// COPY ... FROM STDIN, not a round trip each: the first opens it, each row
// becomes a line of COPY's text format (values escaped, never part of a
// statement's text), and the lines are handed over kCopyChunk bytes at a
// time, so the server stores rows while the scan finds the next ones. The
// server takes such a stream about three times as fast as the same rows in
// INSERT statements of 500 rows. Any other statement, the commit, and an
// insert of another shape end the COPY first, so every read sees every row
// inserted before it. A failure of the server with those rows surfaces at
// that statement, or at the insert that finds the stream broken (a rebuild
// then rolls back); values the server would refuse are refused at
// InsertRow itself. Outside a transaction each row is its own INSERT, sent
// at once.
//
// Rows of the shared table carry a key column (kServerKeyColumn), by which
// a result set deletes its current row, and the main folder they were
// scanned from (kMainFolderColumn), by which a rebuild replaces only its
// own folder's rows.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet_sql.h"

struct pg_conn;
struct pg_result;

namespace platform::sqlstore {

inline constexpr const char* kServerKeyColumn = "calldeck_key";
inline constexpr const char* kMainFolderColumn = "MainFolder";
inline constexpr int kServerFailure = 1;
inline constexpr std::size_t kCopyChunk = std::size_t{64} << 10;

struct ServerConnectionCloser {
    void operator()(pg_conn* c) const;
};
struct ServerResultClearer {
    void operator()(pg_result* r) const;
};
using ServerResult = std::unique_ptr<pg_result, ServerResultClearer>;

class ServerSession {
public:
    // Connects (connection string or service name, libpq's own forms), sets
    // the date and interval styles the store reads, and loads the column
    // kinds. Throws Error.
    ServerSession(const std::string& connectionInfo, const std::string& password);
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;
    ~ServerSession();

    const ColumnKinds& Kinds() const { return kinds_; }

    // Runs a statement (several when it binds nothing); returns its rows.
    ServerResult Run(const std::string& sql, const std::vector<std::string>& parameters = {});
    // The first row's first value of a statement ("" when none or NULL).
    std::string RunForValue(const std::string& sql, const std::vector<std::string>& parameters = {});
    void Execute(std::string_view jetSql);
    void InsertRow(std::string_view table, const std::vector<std::string>& columns,
                   const std::vector<std::string_view>& values);
    void DeleteRow(std::string_view table, std::int64_t key);

    bool InTransaction() const;
    // False once the server has dropped the session (a restart, a cut line).
    bool Usable() const;
    void Begin();
    void Commit();
    void Rollback() noexcept;

    // Every row the inserts of this session add gets this main folder
    // (empty: the column is left alone).
    void SetRowFolder(std::string folder) { rowFolder_ = std::move(folder); }
    const std::string& RowFolder() const { return rowFolder_; }

private:
    [[noreturn]] void Fail(const pg_result* result) const;
    void Flush();      // sends the gathered rows and ends their COPY
    void SendLines();  // hands the gathered lines to the open COPY
    void EndCopy(const char* error);  // error: null, or why the COPY is given up
    void LoadColumnKinds();

    std::unique_ptr<pg_conn, ServerConnectionCloser> conn_;
    ColumnKinds kinds_;
    std::string rowFolder_;
    struct Copy {
        std::string statement;  // "copy T(columns) from stdin" open on the server; empty: none
        std::string lines;      // rows not yet handed to it, a line each in COPY's text format
    } copy_;
};

}  // namespace platform::sqlstore
