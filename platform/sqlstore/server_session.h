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
// The connection line is read first (connection_line.h): a line libpq
// cannot parse is refused by the position of its fault, and every libpq
// message is shown without the line's values. Connections get a connect
// timeout and TCP keepalives unless the line says otherwise. Every wait
// for the server is bounded (server_wait.h): a connection by its connect
// timeout, a statement's answer by the line's answer_timeout (10 s unless
// it says otherwise). When a statement's answer is late, a second, short
// session asks the server whether it is still working on it (a search of
// millions of rows, a scan's delete); if so the session waits another
// round, else it is given up, about that wait after the statement was sent: its connection is closed (the server rolls
// back what it held) and it fails at once from then on, with kNoAnswer.
//
// Error numbers: a value the server refuses (SQLSTATE class 22, data) is
// kTypeMismatch, a constraint (class 23) is 19, and any other failure is
// kServerFailure, so Error::RefusesOnlyTheValues reads them as it reads
// SQLite's codes.
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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection_line.h"
#include "error.h"
#include "jet_sql.h"
#include "server_wait.h"

namespace platform::sqlstore {

inline constexpr const char* kServerKeyColumn = "calldeck_key";
inline constexpr const char* kMainFolderColumn = "MainFolder";
inline constexpr int kServerFailure = 1;
inline constexpr std::size_t kCopyChunk = std::size_t{64} << 10;

class ServerSession {
public:
    // Connects (connection string or service name, libpq's own forms), sets
    // the date and interval styles the store reads, and loads the column
    // kinds. Throws Error: kUnreadableLine, kNoAnswer, or kServerFailure.
    ServerSession(const std::string& connectionInfo, const std::string& password);
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;
    ~ServerSession();

    const ColumnKinds& Kinds() const { return kinds_; }

    // Runs a statement (several when it binds nothing); returns its rows.
    ServerResult Run(const std::string& sql, const std::vector<std::string>& parameters = {});
    // Runs one statement, always as the server's extended protocol does: the
    // text is parsed alone, and every value travels beside it.
    ServerResult RunBound(const std::string& sql, const std::vector<std::string>& parameters);
    // The first row's first value of a statement ("" when none or NULL).
    std::string RunForValue(const std::string& sql, const std::vector<std::string>& parameters = {});
    void Execute(std::string_view jetSql);
    void InsertRow(std::string_view table, const std::vector<std::string>& columns,
                   const std::vector<std::string_view>& values);
    void DeleteRow(std::string_view table, std::int64_t key);

    bool InTransaction() const;
    // False once the server has dropped the session (a restart, a cut line)
    // or the session was given up because the server did not answer.
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
    ServerConnection Connect(const Waiter& wait) const;  // with the session's parameters
    // Every value of the connection that a message of libpq's must not show.
    std::vector<std::pair<std::string, std::string>> UsedValues() const;
    std::string LibpqMessage() const;  // PQerrorMessage without them
    pg_conn* Live() const;  // the connection; throws when the session was given up
    pg_conn* Sending();     // Live, noting whether what is sent now is part of a transaction
    // Waits for the answer to what was sent (sent: libpq took it).
    ServerResult Answer(bool sent);
    void StartWaiting();  // a statement's wait begins
    std::chrono::milliseconds CheckWait() const;
    void WaitFor(pg_conn* c, short events);  // the session's Waiter
    bool StillWorking() const;  // asked on a second session when an answer is late
    void Flush();      // sends the gathered rows and ends their COPY
    void SendLines();  // hands the gathered lines to the open COPY
    void EndCopy(const char* error);  // error: null, or why the COPY is given up
    void LoadColumnKinds();

    ServerConnection conn_;
    // How to connect again (a second session asks after a late answer),
    // and what no message may show.
    std::vector<std::string> keywords_, values_;
    std::vector<std::pair<std::string, std::string>> lineValues_;
    std::string password_;
    std::chrono::seconds answerWait_{kDefaultAnswerWait};
    std::chrono::steady_clock::time_point deadline_;
    // Why the session was given up; whether a transaction went with it.
    std::optional<Error> lost_;
    bool holding_ = false;  // the last thing sent was part of a transaction (or a COPY)
    bool lostTransaction_ = false;
    ColumnKinds kinds_;
    std::string rowFolder_;
    struct Copy {
        std::string statement;  // "copy T(columns) from stdin" open on the server; empty: none
        std::string lines;      // rows not yet handed to it, a line each in COPY's text format
    } copy_;
};

}  // namespace platform::sqlstore
