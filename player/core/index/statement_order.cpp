// A search statement asked again in another row order: see statement_order.h.
#include "player/core/index/statement_order.h"

#include <algorithm>
#include <cctype>

namespace player {
namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80); }
bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// `text` is `lower` written in any case.
bool SameWord(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
    return true;
}

// The word `lower` stands at `at`, not as part of a longer word.
bool WordAt(std::string_view s, std::size_t at, std::string_view lower) {
    if (at + lower.size() > s.size() || (at > 0 && IsWordChar(s[at - 1]))) return false;
    return SameWord(s.substr(at, lower.size()), lower) &&
           (at + lower.size() == s.size() || !IsWordChar(s[at + lower.size()]));
}

// Where the statement's own "order by" clause begins, or npos.
std::size_t OrderClauseAt(std::string_view s) {
    std::size_t found = std::string_view::npos;
    int depth = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[' || c == '#') {
            const char close = c == '[' ? ']' : c;
            const bool doubles = c == '\'' || c == '"' || c == '`';
            std::size_t j = i + 1;
            for (; j < s.size(); ++j) {
                if (s[j] != close) continue;
                if (doubles && j + 1 < s.size() && s[j + 1] == close) {
                    ++j;
                    continue;
                }
                break;
            }
            i = j;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (depth == 0 && WordAt(s, i, "order")) {
            std::size_t by = i + 5;
            while (by < s.size() && IsBlank(s[by])) ++by;
            if (by > i + 5 && WordAt(s, by, "by")) found = i;
        }
    }
    return found;
}

}  // namespace

std::string OrderedBy(std::string_view statement, std::string_view column, bool descending) {
    std::string_view rows = statement.substr(0, std::min(OrderClauseAt(statement), statement.size()));
    while (!rows.empty() && IsBlank(rows.back())) rows.remove_suffix(1);
    const std::string key(column), direction = descending ? " desc" : "";
    std::string out(rows);
    out += " order by ";
    if (SameWord(column, "recordduration")) out += "length(" + key + ")" + direction + ",";
    return out + key + direction;
}

}  // namespace player
