// The connection line of the record index server: see connection_line.h.
#include "connection_line.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>

#include "error.h"

namespace platform::sqlstore {
namespace {

constexpr std::string_view kAnswerKeyword = "answer_timeout";
// Values shorter than this are left in libpq's messages: they cannot hold
// a password run into them ("password=" alone is longer), and taking out
// "5" or "db" would garble every word that holds them.
constexpr std::size_t kShortestHidden = 4;

[[noreturn]] void Unreadable(std::size_t at) {
    throw Error(kUnreadableLine, "the connection line cannot be read (position " + std::to_string(at + 1) + ")");
}

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// One keyword=value of a line, where each begins in it and where the pair
// ends.
struct Pair {
    std::size_t start = 0, valueStart = 0, end = 0;
    std::string keyword, value;
};

// Splits a line of keyword=value pairs as libpq reads one: blanks around
// "=" and between pairs, a value either quoted ('...') or running to the
// next blank, a backslash taking the next character as it is. Throws at a
// keyword without "=" and at a quote that is not closed.
std::vector<Pair> Split(std::string_view line) {
    std::vector<Pair> out;
    std::size_t i = 0;
    const std::size_t n = line.size();
    const auto escapedOrPlain = [&](Pair& p) {
        if (line[i] == '\\') {
            if (++i < n) p.value += line[i++];
        } else {
            p.value += line[i++];
        }
    };
    for (;;) {
        while (i < n && IsSpace(line[i])) ++i;
        if (i >= n) return out;
        Pair p;
        p.start = i;
        while (i < n && line[i] != '=' && !IsSpace(line[i])) ++i;
        p.keyword = line.substr(p.start, i - p.start);
        while (i < n && IsSpace(line[i])) ++i;
        if (i >= n || line[i] != '=') Unreadable(p.start);
        ++i;
        while (i < n && IsSpace(line[i])) ++i;
        p.valueStart = i;
        if (i < n && line[i] == '\'') {
            for (++i;;) {
                if (i >= n) Unreadable(p.valueStart);
                if (line[i] == '\'') {
                    ++i;
                    break;
                }
                escapedOrPlain(p);
            }
        } else {
            while (i < n && !IsSpace(line[i])) escapedOrPlain(p);
        }
        p.end = i;
        out.push_back(std::move(p));
    }
}

struct OptionsFreer {
    void operator()(PQconninfoOption* o) const { PQconninfoFree(o); }
};
using Options = std::unique_ptr<PQconninfoOption, OptionsFreer>;

Options Parsed(const std::string& line) {
    char* message = nullptr;
    Options options(PQconninfoParse(line.c_str(), &message));
    PQfreemem(message);  // it may quote the line
    return options;
}

// A whole number of seconds as libpq's connect_timeout reads it: none or
// below 1 is no bound, 1 is 2.
std::chrono::seconds ConnectWaitOf(std::string_view text) {
    int seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || seconds <= 0) return std::chrono::seconds(0);
    return std::chrono::seconds(std::max(seconds, 2));
}

}  // namespace

ConnectionLine ReadConnectionLine(std::string_view text) {
    text = text.substr(0, text.find('\0'));  // where libpq's C string ends
    ConnectionLine out{std::string(text), kDefaultAnswerWait, kDefaultConnectWait, {}};
    // libpq takes a line with neither "=" nor a URI's scheme as a database name.
    const bool uri = text.starts_with("postgresql://") || text.starts_with("postgres://");
    if (!uri && text.find('=') == std::string_view::npos) {
        out.values.emplace_back("dbname", out.libpq);
        return out;
    }
    std::vector<Pair> pairs;
    if (!uri) pairs = Split(text);
    for (const Pair& p : pairs) {
        if (p.keyword != kAnswerKeyword) continue;
        int seconds = -1;
        const auto [end, ec] = std::from_chars(p.value.data(), p.value.data() + p.value.size(), seconds);
        if (ec != std::errc() || end != p.value.data() + p.value.size() || seconds < 0) Unreadable(p.valueStart);
        out.answerWait = std::chrono::seconds(seconds);
        std::fill(out.libpq.begin() + static_cast<long>(p.start), out.libpq.begin() + static_cast<long>(p.end), ' ');
    }
    const Options options = Parsed(out.libpq);
    if (!options) {
        // The first pair whose line up to its end libpq refuses holds the
        // fault (an unknown keyword, a value it reads itself); a URI is
        // told as a whole.
        for (const Pair& p : pairs)
            if (p.keyword != kAnswerKeyword && !Parsed(out.libpq.substr(0, p.end))) Unreadable(p.start);
        Unreadable(0);
    }
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        if (!o->val || !*o->val) continue;
        out.values.emplace_back(o->keyword, o->val);
        if (std::string_view(o->keyword) == "connect_timeout") out.connectWait = ConnectWaitOf(o->val);
    }
    return out;
}

std::string WithoutLineValues(std::string message, std::vector<std::pair<std::string, std::string>> values,
                              std::string_view secret) {
    // A list of hosts, addresses or ports is quoted one by one.
    for (std::size_t v = 0, n = values.size(); v < n; ++v) {
        const std::string keyword = values[v].first;
        if (keyword != "host" && keyword != "hostaddr" && keyword != "port") continue;
        const std::string list = values[v].second;
        for (std::size_t from = 0, comma; from <= list.size(); from = comma + 1) {
            comma = std::min(list.find(',', from), list.size());
            values.emplace_back(keyword, list.substr(from, comma - from));
        }
    }
    // libpq never quotes the password it was given; hiding it would only
    // tell where it equals another word.
    std::erase_if(values, [](const auto& kv) { return kv.first == "password" || kv.second.size() < kShortestHidden; });
    std::stable_sort(values.begin(), values.end(),
                     [](const auto& a, const auto& b) { return a.second.size() > b.second.size(); });
    std::string out;
    for (std::size_t i = 0; i < message.size();) {
        const auto hit = std::find_if(values.begin(), values.end(), [&](const auto& kv) {
            return std::string_view(message).substr(i).starts_with(kv.second);
        });
        if (hit == values.end()) {
            out += message[i++];
            continue;
        }
        out += "[" + hit->first + "]";
        i += hit->second.size();
    }
    if (secret.size() >= kShortestHidden && out.find(secret) != std::string::npos)
        return "(libpq's reason is not shown: it would quote the connection line)";
    return out;
}

std::string NoAnswerText(std::chrono::seconds wait) {
    const long long n = wait.count();
    return std::string(kServerSubject) + " does not answer within " + std::to_string(n) +
           (n == 1 ? " second" : " seconds");
}

}  // namespace platform::sqlstore
