// Bounded waits on the record index server: see server_wait.h.
#include "server_wait.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace platform::sqlstore {

void ServerConnectionCloser::operator()(pg_conn* c) const { PQfinish(c); }
void ServerResultClearer::operator()(pg_result* r) const { PQclear(r); }

bool PollSocket(pg_conn* conn, short events, std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    pollfd fd{PQsocket(conn), events, 0};
    if (fd.fd < 0) return true;  // no socket: libpq's next call says why
    for (;;) {
        int timeout = -1;
        if (deadline != steady_clock::time_point::max()) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            if (left <= 0) return false;
            timeout = static_cast<int>(std::min<long long>(left + 1, 60'000));
        }
        const int ready = poll(&fd, 1, timeout);
        if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
    }
}

ServerConnection ConnectWaiting(const char* const* keywords, const char* const* values, const Waiter& wait) {
    ServerConnection conn(PQconnectStartParams(keywords, values, 1));
    if (!conn || PQstatus(conn.get()) == CONNECTION_BAD) return conn;
    // As libpq asks: write first, then whatever the last poll wanted. The
    // socket may change between calls (another host of a list).
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;
    while (status != PGRES_POLLING_OK && status != PGRES_POLLING_FAILED) {
        wait(conn.get(), status == PGRES_POLLING_READING ? POLLIN : POLLOUT);
        status = PQconnectPoll(conn.get());
    }
    if (status == PGRES_POLLING_OK) PQsetnonblocking(conn.get(), 1);
    return conn;
}

bool SendQueued(pg_conn* conn, const Waiter& wait) {
    for (;;) {
        const int left = PQflush(conn);
        if (left <= 0) return left == 0;
        // The server may be answering while we send: read it, or it may
        // stop reading us.
        wait(conn, POLLIN | POLLOUT);
        if (!PQconsumeInput(conn)) return false;
    }
}

ServerResult TakeResult(pg_conn* conn, const Waiter& wait) {
    ServerResult last;
    for (;;) {
        while (PQisBusy(conn)) {
            wait(conn, POLLIN);
            if (!PQconsumeInput(conn)) break;  // the connection broke: the next result says so
        }
        ServerResult next(PQgetResult(conn));
        if (!next) return last;
        last = std::move(next);
        const ExecStatusType status = PQresultStatus(last.get());
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH ||
            PQstatus(conn) == CONNECTION_BAD)
            return last;
    }
}

}  // namespace platform::sqlstore
