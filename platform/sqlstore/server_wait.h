// platform/sqlstore: talking to the record index server without ever
// waiting on it unbounded.
//
// A server whose processes are stopped (a hung machine, a paused virtual
// machine, kill -STOP) leaves its kernel taking connections and bytes and
// answering keepalives, so libpq's blocking calls wait for ever and no
// socket option notices: only the client's own clock can tell. So the
// shared store drives libpq in its non-blocking mode, and every wait for
// the socket goes through a Waiter the caller gives, which returns once
// the socket is ready and throws when the caller's wait has run out.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

struct pg_conn;
struct pg_result;

namespace platform::sqlstore {

struct ServerConnectionCloser {
    void operator()(pg_conn* c) const;
};
struct ServerResultClearer {
    void operator()(pg_result* r) const;
};
using ServerConnection = std::unique_ptr<pg_conn, ServerConnectionCloser>;
using ServerResult = std::unique_ptr<pg_result, ServerResultClearer>;

// Returns when the connection's socket is ready for `events` (POLLIN,
// POLLOUT), or in error; throws when it is not in time.
using Waiter = std::function<void(pg_conn*, short events)>;

// Polls the socket until it is ready for `events` or `deadline` passes
// (false). A deadline of time_point::max() waits as long as it takes.
bool PollSocket(pg_conn* conn, short events, std::chrono::steady_clock::time_point deadline);

// A connection made with libpq's polling calls (null without memory); its
// status says whether it was made, its error message why not. The
// connection is left in non-blocking mode.
ServerConnection ConnectWaiting(const char* const* keywords, const char* const* values, const Waiter& wait);

// Sends what libpq holds for the server; false when the connection broke.
bool SendQueued(pg_conn* conn, const Waiter& wait);

// The result of what was sent, as PQexec gives it: the last of the
// results, or the one that left a COPY open; null when there was none.
ServerResult TakeResult(pg_conn* conn, const Waiter& wait);

}  // namespace platform::sqlstore
