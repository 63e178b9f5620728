// platform/sqlstore: the player's statements run unchanged on SQLite and on
// the site's server. They are written with date literals between # signs,
// `<>`, `like '%...%'` and `where 1=1`; only the # literals (and, for the
// server, [bracketed] names) need rewriting, so the statements stay the ones
// the player writes and the rest passes through. docs/design.md ("The
// statements run unchanged").
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::sqlstore {

enum class ColumnKind { Other, DateTime, Duration };

// Column name (upper-cased) -> kind, as the store's schema declares them.
using ColumnKinds = std::map<std::string, ColumnKind, std::less<>>;

// For SQLite: each #...# literal becomes the canonical text of jet_date.h,
// and where it is compared with a duration column both sides become
// (length, text) pairs, which order durations numerically beyond 99 hours;
// such a literal may itself hold any number of hours (#100:00:00#).
// Everything else passes through untouched: quoted texts stay as written (a
// stray quote in a statement makes the database refuse it), and SQLite's
// own syntax keeps working. Throws Error (kDateSyntax) for a # literal that
// is no valid date-time.
std::string Translate(std::string_view jetSql, const ColumnKinds& kinds);

struct ServerStatement {
    std::string sql;                      // with $1, $2, ... for the literals and texts
    std::vector<std::string> parameters;  // their values (dates and durations canonical), in order
};
// For the shared store on PostgreSQL, which reads the statements but for
// the # literals and the bracketed names: each # literal becomes a bound
// parameter cast to the server's timestamp or interval type (so dates and
// durations compare natively), each quoted text ('...', a doubled quote in
// it one quote) a bound parameter of the type its place asks for, and [Col]
// becomes Col ("Col" when it is no plain name). The values travel beside
// the text, never inside it, so a search text is never read as part of the
// statement, however the server reads quotes and backslashes. Throws Error
// as Translate does.
ServerStatement TranslateForServer(std::string_view jetSql, const ColumnKinds& kinds);

// The name of the hidden column SingleTableSelect adds.
inline constexpr const char* kRowIdColumn = "calldeck_rowid";

struct RowIdSelect {
    std::string sql;    // the statement with the row id as its first column
    std::string table;  // the one table it reads
};
// Recognises the plain "select ... from T [where ...] [order by ...]" form
// and adds T's hidden row id in front of the select list, so a result set
// can delete its current row from T. keyColumn: the column that identifies
// a row of T (SQLite's own row id, or the shared store's key column).
std::optional<RowIdSelect> SingleTableSelect(std::string_view sql, std::string_view keyColumn = "_rowid_");

struct PlainSelect {
    std::string table;
    // "select T._rowid_ from T ...": the row ids in the statement's order.
    // Where the statement has no order by, the list stays too
    // ("select T._rowid_,<list> from T ..."), so that the plan, and with it
    // the order, is the statement's own.
    std::string rowIds;
    std::string row;     // "select <list> from T where _rowid_ = ?": one row's values
};
// Recognises the narrower form whose select list is nothing but column
// names (or *): every row it yields is one row of T with T's own values, so
// a result set may read the row ids in the statement's order first and each
// row's values later, by its row id.
std::optional<PlainSelect> PlainColumnsSelect(std::string_view sql);

std::string UpperAscii(std::string_view s);

}  // namespace platform::sqlstore
