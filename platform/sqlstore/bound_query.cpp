// Connection::Query (connection.h): one statement with bound values on
// either store, its rows handed back as texts. Statements written for both
// stores number their values $1, $2, ...; SQLite reads such names as named
// parameters, so each is bound by its name rather than by position.
#include <libpq-fe.h>
#include <sqlite3.h>

#include "connection.h"
#include "server_session.h"

namespace platform::sqlstore {

Connection::TextRows Connection::Query(const std::string& sql, const std::vector<std::string>& parameters) {
    RequireOpen();
    TextRows rows;
    if (server_) {
        const ServerResult result = server_->RunBound(sql, parameters);
        const int columns = PQnfields(result.get());
        for (int r = 0; r < PQntuples(result.get()); ++r) {
            auto& row = rows.emplace_back();
            for (int c = 0; c < columns; ++c)
                row.push_back(PQgetisnull(result.get(), r, c) ? std::nullopt
                                                              : std::optional<std::string>(PQgetvalue(result.get(), r, c)));
        }
        return rows;
    }
    sqlite3_stmt* s = Cached(sql);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::string name = "$" + std::to_string(i + 1);
        const int at = sqlite3_bind_parameter_index(s, name.c_str());
        if (at > 0 && sqlite3_bind_text(s, at, parameters[i].data(), static_cast<int>(parameters[i].size()),
                                        SQLITE_TRANSIENT) != SQLITE_OK)
            Fail();
    }
    for (;;) {
        const int step = sqlite3_step(s);
        if (step == SQLITE_DONE) break;
        if (step != SQLITE_ROW) {
            const Error failed(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
            sqlite3_reset(s);
            throw failed;
        }
        auto& row = rows.emplace_back();
        for (int c = 0; c < sqlite3_column_count(s); ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
            row.push_back(text ? std::optional<std::string>(std::string(text, sqlite3_column_bytes(s, c)))
                               : std::nullopt);
        }
    }
    sqlite3_reset(s);  // no read transaction stays open behind it
    return rows;
}

}  // namespace platform::sqlstore
