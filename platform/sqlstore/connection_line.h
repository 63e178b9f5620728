// platform/sqlstore: the connection line of a site's record index server,
// read before libpq connects with it, and libpq's words made fit to show.
//
// The line may hold a password, and libpq quotes the text around what it
// cannot parse (missing "=" after "password:secret") and the values a
// connection failed with (could not parse network address
// "127.0.0.1password=secret"). So a line libpq cannot parse is told by the
// position of the fault alone, found here by the rules libpq reads a line
// with, and the values of the line are taken out of libpq's messages
// before anyone sees them. The line may also hold answer_timeout=SECONDS,
// the program's own wait for the server's answer, which libpq does not
// know: it is taken out of the line libpq gets.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::sqlstore {

// Error numbers: a line libpq cannot read ("the connection line cannot be
// read (position N)"), and a server that gave no answer in time.
inline constexpr int kUnreadableLine = 3151;
inline constexpr int kNoAnswer = 3234;

// How long the server may take to answer a statement, and a connection,
// when the line does not say.
inline constexpr std::chrono::seconds kDefaultAnswerWait{10};
inline constexpr std::chrono::seconds kDefaultConnectWait{10};

struct ConnectionLine {
    std::string libpq;                   // the line for libpq (answer_timeout blanked out)
    std::chrono::seconds answerWait;     // 0: no bound
    std::chrono::seconds connectWait;    // connect_timeout, as libpq reads it; 0: no bound
    // keyword, value: every value the line gives, to be kept out of messages.
    std::vector<std::pair<std::string, std::string>> values;
};

// Throws Error(kUnreadableLine) naming the 1-based position of the fault,
// counted in `line`; never any of its text.
ConnectionLine ReadConnectionLine(std::string_view line);

// The words of a message that libpq wrote with every value of `values`
// (and each host, address or port of a list) put as [keyword]. A message
// that would still show `secret` (a password) is replaced as a whole.
std::string WithoutLineValues(std::string message, std::vector<std::pair<std::string, std::string>> values,
                              std::string_view secret);

// kServerSubject + " does not answer within N seconds".
inline constexpr std::string_view kServerSubject = "The record index server";
std::string NoAnswerText(std::chrono::seconds wait);

}  // namespace platform::sqlstore
