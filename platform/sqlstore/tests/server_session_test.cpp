// The shared store's session never waits on its server unbounded: a
// statement the server is still working on is waited for, a server whose
// processes are stopped is given up after the line's answer_timeout, and
// what the session held then fails instead of passing for stored.
#include "platform/sqlstore/server_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/sqlstore/testing/test_server.h"

using namespace platform::sqlstore;
using platform::sqlstore::testing::SharedTestServer;
using platform::sqlstore::testing::TestServer;
using Clock = std::chrono::steady_clock;

TEST(ServerSession, ALongStatementIsWaitedForAndAStoppedServerIsGivenUpAfterTheLinesWait) {
    TestServer& server = SharedTestServer();
    ServerSession session(server.ConnectionInfo() + " answer_timeout=1", "");
    session.Run("drop table if exists T; create table T(Name text)");

    // Three times the wait, and the server working all along.
    auto started = Clock::now();
    EXPECT_NO_THROW(session.Run("select pg_sleep(3)")) << "a statement the server was still working on was given up";
    EXPECT_GE(Clock::now() - started, std::chrono::seconds(3));

    // A scan's rows stream into a COPY while the server stops.
    session.Begin();
    const std::string name(200, 'x');
    for (int row = 0; row < 100; ++row) session.InsertRow("T", {"Name"}, {name});
    server.Pause(TestServer::Paused::EveryProcess);
    started = Clock::now();
    try {
        for (int row = 0; row < 200'000; ++row) session.InsertRow("T", {"Name"}, {name});
        session.Commit();
        ADD_FAILURE() << "rows sent to a stopped server were taken as stored";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), kNoAnswer) << e.what();
        EXPECT_STREQ(e.what(), "The record index server does not answer within 1 second");
    }
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(8)) << "the session waited far beyond its wait of 1 s";
    EXPECT_FALSE(session.Usable());
    started = Clock::now();
    EXPECT_THROW(session.Commit(), Error) << "the transaction lost with the session was committed without a word";
    EXPECT_THROW(session.Run("select 1"), Error);
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500)) << "a given-up session waited again";
    server.Resume();

    ServerSession again(server.ConnectionInfo(), "");
    EXPECT_EQ(again.RunForValue("select count(*) from T"), "0") << "rows of the given-up transaction were stored";
}
