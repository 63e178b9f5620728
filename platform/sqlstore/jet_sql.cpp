// Translating the player's statements (#...# date literals) for SQLite and the server: see jet_sql.h.
#include "jet_sql.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "error.h"
#include "jet_date.h"

namespace platform::sqlstore {
namespace {

enum class Tok { Space, Text, QuotedName, Word, DateLiteral, Compare, Other };

struct Token {
    Tok kind;
    std::string text;
};

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || (c & 0x80); }

// Splits a statement into tokens; joining their texts gives it back.
std::vector<Token> Tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    auto closing = [&](char close, std::size_t from, bool doubled) {
        std::size_t j = from + 1;
        while (j < s.size()) {
            if (s[j] == close) {
                if (doubled && j + 1 < s.size() && s[j + 1] == close) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return s.size();  // unterminated: the database says so
    };
    while (i < s.size()) {
        char c = s[i];
        std::size_t end = i + 1;
        Tok kind = Tok::Other;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            while (end < s.size() && std::isspace(static_cast<unsigned char>(s[end]))) ++end;
            kind = Tok::Space;
        } else if (c == '\'') {
            end = closing('\'', i, true), kind = Tok::Text;
        } else if (c == '"' || c == '`') {
            end = closing(c, i, true), kind = Tok::QuotedName;
        } else if (c == '[') {
            end = closing(']', i, false), kind = Tok::QuotedName;
        } else if (c == '#') {
            end = closing('#', i, false), kind = Tok::DateLiteral;
        } else if (c == '<' || c == '>' || c == '=' || c == '!') {
            if (end < s.size() && (s[end] == '=' || (c == '<' && s[end] == '>'))) ++end;
            kind = Tok::Compare;
        } else if (IsWordChar(c)) {
            while (end < s.size() && (IsWordChar(s[end]) || s[end] == '.')) ++end;
            // A qualified quoted name, T.[Col] or T."Col", is one name.
            if (s[end - 1] == '.' && end < s.size() && (s[end] == '[' || s[end] == '"'))
                end = closing(s[end] == '[' ? ']' : '"', end, s[end] == '"');
            kind = Tok::Word;
        }
        out.push_back({kind, std::string(s.substr(i, end - i))});
        i = end;
    }
    return out;
}

// The column a name token stands for: the last part of "t.Col", "[Col]".
std::string ColumnOf(const Token& t) {
    if (t.kind != Tok::Word && t.kind != Tok::QuotedName) return {};
    std::string_view name = t.text;
    if (!name.empty() && (name.back() == ']' || name.back() == '"' || name.back() == '`')) {
        const char open = name.back() == ']' ? '[' : name.back();
        std::size_t start = name.rfind(open, name.size() - 2);
        if (start == std::string_view::npos) return {};
        return UpperAscii(name.substr(start + 1, name.size() - start - 2));
    }
    if (auto dot = name.rfind('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
    return UpperAscii(name);
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// A name between double quotes, each double quote in it doubled.
std::string DoubleQuoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// Whether a quoted text token ends with its closing quote (the statement
// may end first): after the opening quote, doubled quotes pair up.
bool Closed(std::string_view token) {
    std::size_t i = 1;
    while (i < token.size()) {
        if (token[i] != '\'') {
            ++i;
        } else if (i + 1 < token.size() && token[i + 1] == '\'') {
            i += 2;
        } else {
            return i + 1 == token.size();
        }
    }
    return false;
}

// The text a closed quoted text token stands for: without its quotes, each
// doubled quote one.
std::string Unquoted(std::string_view token) {
    token = token.substr(1, token.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < token.size(); ++i) {
        out += token[i];
        if (token[i] == '\'' && i + 1 < token.size() && token[i + 1] == '\'') ++i;
    }
    return out;
}

// A duration compared as (length, text): numeric order for canonical texts.
std::string DurationPair(const std::string& canonical) {
    return "(" + std::to_string(canonical.size()) + "," + Quoted(canonical) + ")";
}

long Neighbour(const std::vector<Token>& t, long i, int step) {
    for (i += step; i >= 0 && i < static_cast<long>(t.size()); i += step)
        if (t[i].kind != Tok::Space) return i;
    return -1;
}

}  // namespace

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

namespace {

// What one # literal stands for: the column it is compared with (-1 for
// none) and that column's kind, the literal as a date-time and as a
// duration (either may be missing, not both). Throws Error as Translate.
struct Literal {
    long column = -1;
    ColumnKind kind = ColumnKind::Other;
    std::optional<JetDate> date;
    std::optional<std::int64_t> duration;
};

Literal ResolveLiteral(const std::vector<Token>& t, long i, const ColumnKinds& kinds) {
    auto kindOf = [&](long at) {
        if (at < 0) return ColumnKind::Other;
        auto it = kinds.find(ColumnOf(t[at]));
        return it == kinds.end() ? ColumnKind::Other : it->second;
    };
    const std::string& lit = t[i].text;
    const bool closed = lit.size() >= 2 && lit.back() == '#';
    const std::string_view body = closed ? std::string_view(lit).substr(1, lit.size() - 2) : std::string_view{};
    Literal out;
    // The column this literal is compared with, on either side.
    if (long op = Neighbour(t, i, -1); op >= 0 && t[op].kind == Tok::Compare) out.column = Neighbour(t, op, -1);
    if (kindOf(out.column) == ColumnKind::Other)
        if (long op = Neighbour(t, i, +1); op >= 0 && t[op].kind == Tok::Compare) out.column = Neighbour(t, op, +1);
    out.kind = kindOf(out.column);
    out.date = closed ? ParseJetDate(body) : std::nullopt;
    // Compared with a duration, the literal may run past 23 hours
    // (#100:00:00#), which no time of day does.
    if (out.date && !out.date->hasDate) out.duration = out.date->hour * 3600 + out.date->minute * 60 + out.date->second;
    if (!out.duration && closed && out.kind == ColumnKind::Duration) out.duration = ParseDuration(body);
    if (!out.date && !out.duration) throw Error(kDateSyntax, "Syntax error in date in query expression '" + lit + "'.");
    if (out.kind == ColumnKind::Duration && !out.duration) throw Error(kTypeMismatch, kTypeMismatchText);  // a date
    return out;
}

std::string Joined(const std::vector<Token>& t, std::size_t reserve) {
    std::string out;
    out.reserve(reserve);
    for (const Token& tok : t) out += tok.text;
    return out;
}

}  // namespace

std::string Translate(std::string_view jetSql, const ColumnKinds& kinds) {
    std::vector<Token> t = Tokenize(jetSql);
    for (long i = 0; i < static_cast<long>(t.size()); ++i) {
        if (t[i].kind != Tok::DateLiteral) continue;
        const Literal lit = ResolveLiteral(t, i, kinds);
        switch (lit.kind) {
        case ColumnKind::Duration:
            t[i].text = DurationPair(CanonicalDuration(*lit.duration));
            t[lit.column].text = "(length(" + t[lit.column].text + ")," + t[lit.column].text + ")";
            t[lit.column].kind = Tok::Other;  // rewritten once
            break;
        case ColumnKind::DateTime:
            t[i].text = Quoted(CanonicalDateTime(*lit.date));
            break;
        case ColumnKind::Other:
            t[i].text = Quoted(lit.date->hasDate ? CanonicalDateTime(*lit.date) : CanonicalDuration(*lit.duration));
            break;
        }
    }
    return Joined(t, jetSql.size() + 32);
}

ServerStatement TranslateForServer(std::string_view jetSql, const ColumnKinds& kinds) {
    std::vector<Token> t = Tokenize(jetSql);
    ServerStatement out;
    for (long i = 0; i < static_cast<long>(t.size()); ++i) {
        Token& tok = t[i];
        if ((tok.kind == Tok::QuotedName || tok.kind == Tok::Word) && tok.text.size() >= 2 &&
            (tok.text.back() == ']' || tok.text.back() == '`')) {
            // [Col] and `Col`: plain names are left unquoted, so the server
            // folds them and their case never matters, as on SQLite; any
            // other name is quoted.
            const std::size_t open = tok.text.rfind(tok.text.back() == ']' ? '[' : '`', tok.text.size() - 2);
            if (open != std::string::npos) {
                const std::string name = tok.text.substr(open + 1, tok.text.size() - open - 2);
                const bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0])) &&
                                   std::all_of(name.begin(), name.end(), [](char c) {
                                       return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
                                   });
                tok.text = tok.text.substr(0, open) + (plain ? name : DoubleQuoted(name));
            }
            continue;
        }
        if (tok.kind == Tok::Text && Closed(tok.text)) {
            // A quoted text is a value: it travels beside the statement, so
            // that no text, and no reading of backslashes in quotes the
            // server may be set to, can end it early. One that the
            // statement's end cuts short stays, for the server to refuse.
            out.parameters.push_back(Unquoted(tok.text));
            tok.text = "$" + std::to_string(out.parameters.size());
            continue;
        }
        if (tok.kind != Tok::DateLiteral) continue;
        const Literal lit = ResolveLiteral(t, i, kinds);
        const bool asDuration = lit.kind == ColumnKind::Duration || (lit.kind == ColumnKind::Other && !lit.date->hasDate);
        out.parameters.push_back(asDuration ? CanonicalDuration(*lit.duration) : CanonicalDateTime(*lit.date));
        t[i].text = "$" + std::to_string(out.parameters.size()) + (asDuration ? "::interval" : "::timestamp");
    }
    out.sql = Joined(t, jetSql.size() + 32);
    return out;
}

std::optional<RowIdSelect> SingleTableSelect(std::string_view sql, std::string_view keyColumn) {
    std::vector<Token> t = Tokenize(sql);
    long first = Neighbour(t, -1, +1);
    if (first < 0 || UpperAscii(t[first].text) != "SELECT") return std::nullopt;
    long next = Neighbour(t, first, +1);
    if (next < 0 || UpperAscii(t[next].text) == "DISTINCT" || UpperAscii(t[next].text) == "ALL") return std::nullopt;
    int depth = 0;
    long from = -1;
    for (long i = first; i < static_cast<long>(t.size()); ++i) {
        const std::string& x = t[i].text;
        if (x == "(") ++depth;
        if (x == ")") --depth;
        if (depth != 0 || t[i].kind != Tok::Word) continue;
        std::string word = UpperAscii(x);
        if (word == "FROM") {
            if (from >= 0) return std::nullopt;
            from = i;
        } else if (word == "UNION" || word == "INTERSECT" || word == "EXCEPT" || word == "GROUP" || word == "JOIN" ||
                   word == "HAVING") {
            return std::nullopt;
        }
    }
    long table = from < 0 ? -1 : Neighbour(t, from, +1);
    if (table < 0 || (t[table].kind != Tok::Word && t[table].kind != Tok::QuotedName)) return std::nullopt;
    if (long after = Neighbour(t, table, +1); after >= 0) {
        std::string word = UpperAscii(t[after].text);
        if (word != "WHERE" && word != "ORDER" && word != "LIMIT" && word != ";") return std::nullopt;
    }
    RowIdSelect out{.sql = {}, .table = t[table].text};
    for (long i = 0; i < static_cast<long>(t.size()); ++i) {
        out.sql += t[i].text;
        if (i == first) out.sql += " " + out.table + "." + std::string(keyColumn) + " AS " + kRowIdColumn + ",";
    }
    return out;
}

std::optional<PlainSelect> PlainColumnsSelect(std::string_view sql) {
    std::vector<Token> t = Tokenize(sql);
    long first = Neighbour(t, -1, +1);
    if (first < 0 || UpperAscii(t[first].text) != "SELECT") return std::nullopt;
    // The list: name (',' name)*, where a name is a column, T.column, a
    // quoted name or *. Anything else (a call, an alias, an expression)
    // may not be one table row's own value, or may be ordered by.
    std::string columns;
    long i = Neighbour(t, first, +1);
    for (bool wantName = true;; wantName = !wantName, i = Neighbour(t, i, +1)) {
        if (i < 0) return std::nullopt;
        const Token& x = t[i];
        if (wantName) {
            const bool name = (x.kind == Tok::Word && !std::isdigit(static_cast<unsigned char>(x.text[0])) &&
                               UpperAscii(x.text) != "FROM" && UpperAscii(x.text) != "DISTINCT" &&
                               UpperAscii(x.text) != "ALL") ||
                              x.kind == Tok::QuotedName || x.text == "*";
            if (!name) return std::nullopt;
        } else if (x.kind == Tok::Word && UpperAscii(x.text) == "FROM") {
            break;
        } else if (x.text != ",") {
            return std::nullopt;
        }
        columns += (wantName ? "" : ",") + (wantName ? x.text : std::string());
    }
    const long from = i;
    const long table = Neighbour(t, from, +1);
    if (table < 0 || (t[table].kind != Tok::Word && t[table].kind != Tok::QuotedName)) return std::nullopt;
    std::string rest;
    bool ordering = false;
    for (long j = table + 1; j < static_cast<long>(t.size()); ++j) {
        const Token& x = t[j];
        if (x.kind == Tok::Word) {
            const std::string word = UpperAscii(x.text);
            if (rest.find_first_not_of(" \t\r\n") == std::string::npos && word != "WHERE" && word != "ORDER" &&
                word != "LIMIT")
                return std::nullopt;
            if (word == "UNION" || word == "INTERSECT" || word == "EXCEPT" || word == "GROUP" || word == "JOIN" ||
                word == "HAVING" || word == "WINDOW")
                return std::nullopt;
            if (word == "ORDER") ordering = true;
            // "order by 2" means the second column of the list, which the
            // row-id statement does not have.
            if (ordering && std::isdigit(static_cast<unsigned char>(x.text[0]))) return std::nullopt;
        } else if (x.text == ";") {
            break;
        } else if (x.kind != Tok::Space && rest.find_first_not_of(" \t\r\n") == std::string::npos) {
            return std::nullopt;  // "from T, U", "from T as x", ...
        }
        rest += x.text;
    }
    const std::string& name = t[table].text;
    // Without an order of its own the statement yields its rows in whatever
    // order its plan reads them; the row-id statement must have the same
    // plan, so it names the same columns (and reads only the first).
    return PlainSelect{.table = name,
                       .rowIds = "select " + name + "._rowid_" + (ordering ? "" : "," + columns) + " from " + name + rest,
                       .row = "select " + columns + " from " + name + " where _rowid_ = ?"};
}

}  // namespace platform::sqlstore
