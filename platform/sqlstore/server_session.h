// platform/sqlstore: the shared record store's session with a PostgreSQL
// server, over libpq. Connection holds one instead of a SQLite handle when
// its provider names PostgreSQL and hands each operation to it, so the
// SQLite path keeps its own code. Values are always bound, waits bounded,
// and a rebuild's inserts streamed as one COPY: docs/design.md ("A site may
// share one index on PostgreSQL") and docs/sites.md.
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

inline constexpr const char* kServerKeyColumn = "calldeck_key";  // a row's key: a result set deletes by it
inline constexpr const char* kMainFolderColumn = "MainFolder";  // what a rebuild replaces the rows of
inline constexpr int kServerFailure = 1;  // any failure but a refused value (3464) or a constraint (19)
inline constexpr std::size_t kCopyChunk = std::size_t{64} << 10;  // a rebuild's COPY lines go in such pieces

class ServerSession {
public:
    // Connects (connection string or service name, libpq's own forms), sets
    // the date and interval styles the store reads, and loads the column
    // kinds. A password or user given apart wins over the line's. Throws
    // Error: kUnreadableLine, kNoAnswer, or kServerFailure.
    ServerSession(const std::string& connectionInfo, const std::string& password, const std::string& user = {});
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
    // True when the server asked for the password and it was given: a login
    // the server let in by trusting its name (trust, peer) proves no person.
    bool UsedPassword() const;
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
        std::string staged;     // the INSERT that moves staged rows on (row-level security); empty: none
    } copy_;
};

}  // namespace platform::sqlstore
