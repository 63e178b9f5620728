// The site's connection line read before libpq connects with it: a fault is
// told by its position alone, answer_timeout is taken out for the program's
// own wait, and libpq's messages lose every value of the line.
#include <gtest/gtest.h>

#include "platform/sqlstore/connection_line.h"
#include "platform/sqlstore/error.h"

using namespace platform::sqlstore;

namespace {

constexpr const char* kSecret = "Zx9-SECRET-pw-4711";

// The Error text a line gets, "" when it is read.
std::string Refusal(const std::string& line) {
    try {
        ReadConnectionLine(line);
        return {};
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), kUnreadableLine);
        return e.what();
    }
}

}  // namespace

TEST(ConnectionLine, AFaultIsToldByItsPositionAndNeverByTheTextAroundIt) {
    const std::string at = "the connection line cannot be read (position ";
    EXPECT_EQ(Refusal(std::string("host=db1 user=calldeck password:") + kSecret), at + "24)")
        << "a colon for the equals sign";
    EXPECT_EQ(Refusal(std::string("host=db1 password = '") + kSecret), at + "21)") << "a quote never closed";
    EXPECT_EQ(Refusal(std::string("host=db1 pasword=") + kSecret), at + "10)") << "a keyword libpq does not know";
    EXPECT_EQ(Refusal("host=db1 answer_timeout=ten"), at + "25)") << "a wait that is no number of seconds";
    EXPECT_EQ(Refusal(std::string("postgresql://calldeck:") + kSecret + "@db1/calldeck?sslmode"), at + "1)")
        << "a URI is told as a whole";
    for (const std::string line : {"host=db1 dbname=calldeck", "service=calldeck", "calldeck",
                                   "host = 'db 1' password='it\\'s' sslmode=require",
                                   "postgresql://calldeck@db1/calldeck?connect_timeout=4"})
        EXPECT_EQ(Refusal(line), "") << "libpq reads this line: " << line;
}

TEST(ConnectionLine, TheWaitsComeFromTheLineAndAnswerTimeoutIsNotHandedToLibpq) {
    const ConnectionLine plain = ReadConnectionLine("host=db1");
    EXPECT_EQ(plain.answerWait, kDefaultAnswerWait);
    EXPECT_EQ(plain.connectWait, kDefaultConnectWait);
    const ConnectionLine own = ReadConnectionLine("host=db1 answer_timeout=3 connect_timeout=1 dbname=x");
    EXPECT_EQ(own.answerWait, std::chrono::seconds(3));
    EXPECT_EQ(own.connectWait, std::chrono::seconds(2)) << "libpq waits at least 2 s for a connection";
    EXPECT_EQ(own.libpq.find("answer_timeout"), std::string::npos) << "libpq would refuse the keyword";
    EXPECT_NE(own.libpq.find("dbname=x"), std::string::npos);
    EXPECT_EQ(ReadConnectionLine("host=db1 answer_timeout=0 connect_timeout=0").answerWait, std::chrono::seconds(0));
}

TEST(ConnectionLine, LibpqsMessagesLoseTheLinesValuesAndAPasswordRunIntoThem) {
    const ConnectionLine line =
        ReadConnectionLine(std::string("hostaddr=127.0.0.1password=") + kSecret + " host=db1.lan,db2 port=5433");
    EXPECT_EQ(WithoutLineValues(std::string("could not parse network address \"127.0.0.1password=") + kSecret +
                                    "\": Name or service not known",
                                line.values, ""),
              "could not parse network address \"[hostaddr]\": Name or service not known");
    EXPECT_EQ(WithoutLineValues("connection to server at \"db1.lan\" (10.0.0.1), port 5433 failed", line.values, ""),
              "connection to server at \"[host]\" (10.0.0.1), port [port] failed")
        << "each host of a list is quoted alone";
    EXPECT_EQ(WithoutLineValues(std::string("server said ") + kSecret, {}, kSecret).find(kSecret), std::string::npos)
        << "a message still holding the password was shown";
}
