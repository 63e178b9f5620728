// platform/sqlstore/testing: a PostgreSQL server of a test's own, so the
// shared store's tests meet a real server and never touch one the machine
// runs. A fresh cluster (initdb) in a temporary folder listens on a Unix
// socket there only (no TCP port: parallel test processes never collide),
// durability off; as root (CI) it runs as "nobody", since the server
// refuses root. The destructor stops it and removes the folder.
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
    // and starts it again on the same data and socket, as a site's server
    // restarts: clients must connect again. Start throws as the constructor
    // does; both do nothing when already so.
    void Stop();
    void Start();

    // Stops the server's processes with SIGSTOP (the postmaster alone, or
    // every process of the server, as a machine that hangs), so that its
    // socket still takes connections and bytes but nothing answers; Resume
    // lets them go on.
    enum class Paused { Postmaster, EveryProcess };
    void Pause(Paused which);
    void Resume();

private:
    std::filesystem::path folder_;
    bool started_ = false;
    std::vector<int> paused_;  // the process ids Pause stopped, in that order
};

// The program's one server, started on first use and stopped by a gtest
// Environment when the program ends. Each test case runs in its own
// process, so a server lives for one test.
TestServer& SharedTestServer();

}  // namespace platform::sqlstore::testing
