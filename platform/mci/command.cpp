// The command grammar: keywords in any letter case, words separated by
// spaces, paths and aliases in double quotes (non-empty, no quote inside),
// numbers as plain decimal digits that fit in 32 bits.
#include "platform/mci/command.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace platform::mci {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

std::optional<std::vector<Token>> Tokenize(std::string_view s) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ' ') {
            ++i;
            continue;
        }
        if (s[i] == '"') {
            size_t end = s.find('"', i + 1);
            if (end == std::string_view::npos || end == i + 1) return std::nullopt;
            if (end + 1 < s.size() && s[end + 1] != ' ') return std::nullopt;
            tokens.push_back({std::string(s.substr(i + 1, end - i - 1)), true});
            i = end + 1;
            continue;
        }
        size_t end = s.find(' ', i);
        if (end == std::string_view::npos) end = s.size();
        std::string word(s.substr(i, end - i));
        if (word.find('"') != std::string::npos) return std::nullopt;
        tokens.push_back({std::move(word), false});
        i = end;
    }
    return tokens;
}

bool Is(const Token& t, std::string_view keyword) {
    return !t.quoted && t.text.size() == keyword.size() &&
           std::equal(t.text.begin(), t.text.end(), keyword.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

std::optional<uint32_t> Number(const Token& t) {
    if (t.quoted || t.text.empty() || t.text.size() > 10) return std::nullopt;
    uint64_t n = 0;
    for (char c : t.text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(n);
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::optional<Command> ParseCommand(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    auto tokens = Tokenize(text);
    if (!tokens || tokens->size() < 2 || !(*tokens)[1].quoted) return std::nullopt;
    const std::vector<Token>& t = *tokens;
    const size_t n = t.size();
    Command c;
    c.alias = t[1].text;

    if (Is(t[0], "open")) {
        // open "path" alias "alias" type T [parent N style N]
        if ((n != 6 && n != 10) || !Is(t[2], "alias") || !t[3].quoted || !Is(t[4], "type") || t[5].quoted)
            return std::nullopt;
        if (n == 10 && (!Is(t[6], "parent") || !Number(t[7]) || !Is(t[8], "style") || !Number(t[9])))
            return std::nullopt;
        c.verb = Verb::kOpen;
        c.path = t[1].text;
        c.alias = t[3].text;
        c.device_type = Upper(t[5].text);
        return c;
    }
    if (Is(t[0], "set")) {
        // set "alias" time format milliseconds | speed N | volume N | skip silence on|off
        if (n == 4 && (Is(t[2], "speed") || Is(t[2], "volume"))) {
            auto value = Number(t[3]);
            if (!value) return std::nullopt;
            c.verb = Is(t[2], "speed") ? Verb::kSetSpeed : Verb::kSetVolume;
            c.value = *value;
            return c;
        }
        if (n == 5 && Is(t[2], "skip") && Is(t[3], "silence") && (Is(t[4], "on") || Is(t[4], "off"))) {
            c.verb = Verb::kSetSkipSilence;
            c.value = Is(t[4], "on") ? 1 : 0;
            return c;
        }
        if (n != 5 || !Is(t[2], "time") || !Is(t[3], "format") || !Is(t[4], "milliseconds")) return std::nullopt;
        c.verb = Verb::kSetTimeFormat;
        return c;
    }
    if (Is(t[0], "play")) {
        if (n > 3 || (n == 3 && !Is(t[2], "wait"))) return std::nullopt;
        c.verb = Verb::kPlay;
        c.wait = n == 3;
        return c;
    }
    if (Is(t[0], "seek")) {
        if (n != 4 || !Is(t[2], "to")) return std::nullopt;
        auto ms = Number(t[3]);
        if (!ms) return std::nullopt;
        c.verb = Verb::kSeek;
        c.to_ms = *ms;
        return c;
    }
    if (Is(t[0], "status")) {
        if (n != 3) return std::nullopt;
        if (Is(t[2], "length"))
            c.item = StatusItem::kLength;
        else if (Is(t[2], "position"))
            c.item = StatusItem::kPosition;
        else if (Is(t[2], "mode"))
            c.item = StatusItem::kMode;
        else if (Is(t[2], "skips"))
            c.item = StatusItem::kSkips;
        else if (Is(t[2], "peak"))
            c.item = StatusItem::kPeak;
        else
            return std::nullopt;
        c.verb = Verb::kStatus;
        return c;
    }
    if (n != 2) return std::nullopt;
    if (Is(t[0], "pause"))
        c.verb = Verb::kPause;
    else if (Is(t[0], "stop"))
        c.verb = Verb::kStop;
    else if (Is(t[0], "close"))
        c.verb = Verb::kClose;
    else
        return std::nullopt;
    return c;
}

}  // namespace platform::mci
