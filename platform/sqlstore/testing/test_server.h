// platform/sqlstore/testing: a PostgreSQL server of a test's own.
//
// Tests of the shared record store need a real server, and must not touch
// one the machine may run. TestServer makes a fresh cluster (initdb) in a
// temporary folder and starts it listening on a Unix socket in that folder
// only (no TCP port, so parallel test processes never collide), with
// durability off because nothing outlives the test. The server refuses to
// run as root, and CI runs as root: then the cluster is made and run as the
// unprivileged user "nobody", which owns the folder. The destructor stops
// the server and removes the folder.
//
// Stop and Start take the server down and bring it up again on the same
// cluster and socket, as a site's server restarts: sessions open at the
// stop are lost, and clients must connect again. Pause stops the server's
// processes with SIGSTOP (the postmaster alone, or every process of the
// server, as a machine that hangs), so that its socket still takes
// connections and bytes but nothing answers; Resume lets them go on.
//
// Each test case runs in its own process, so a server lives for one test;
// SharedTestServer starts it on first use and a gtest Environment stops it
// when the program ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform::sqlstore::testing {

class TestServer {
public:
    // Throws std::runtime_error naming what failed (a missing binary, initdb
    // or the start), with the server's own log when there is one.
    TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;
    ~TestServer();

    // A libpq connection string for a fresh database of this server, as
    // its superuser.
    std::string ConnectionInfo() const;

    // Stops the server at once (sessions are cut, open transactions lost)
    // and starts it again on the same data and socket. Start throws as the
    // constructor does; both do nothing when already so.
    void Stop();
    void Start();

    enum class Paused { Postmaster, EveryProcess };
    void Pause(Paused which);
    void Resume();

private:
    std::filesystem::path folder_;
    bool started_ = false;
    std::vector<int> paused_;  // the process ids Pause stopped, in that order
};

// The program's one server, started on first use.
TestServer& SharedTestServer();

}  // namespace platform::sqlstore::testing
