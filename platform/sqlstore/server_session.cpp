// The shared record store's session with a PostgreSQL server: see
// server_session.h.
#include "server_session.h"

#include <libpq-fe.h>

#include <optional>

#include "error.h"
#include "jet_date.h"

namespace platform::sqlstore {

void ServerConnectionCloser::operator()(pg_conn* c) const { PQfinish(c); }
void ServerResultClearer::operator()(pg_result* r) const { PQclear(r); }

namespace {

std::string Trimmed(const char* text) {
    std::string out = text ? text : "";
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// The server refuses text that is not UTF-8, and a refusal inside a
// transaction spoils the whole transaction (a rebuild would lose every
// row after it). So such a value is refused here, before it is sent, and
// costs only its own row, as on the file.
bool IsUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || c == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 0x2) return false;
        i += n;
    }
    return true;
}

// A value as a field of COPY's text format: a backslash, tab, newline or
// carriage return would end the field or the row, so each is written as its
// escape; every other byte stands for itself.
void AppendCopyField(std::string& line, std::string_view value) {
    while (!value.empty()) {
        const std::size_t plain = value.find_first_of("\\\t\n\r");
        line.append(value.substr(0, plain));
        if (plain == std::string_view::npos) return;
        switch (value[plain]) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        default: line += "\\r"; break;
        }
        value.remove_prefix(plain + 1);
    }
}

}  // namespace

ServerSession::ServerSession(const std::string& connectionInfo, const std::string& password) {
    // The connection string goes in as "dbname" with expansion, so both a
    // "key=value" string, a URI and a "service=name" work; a password given
    // apart is added as its own keyword.
    const char* keywords[] = {"dbname", password.empty() ? nullptr : "password", nullptr};
    const char* values[] = {connectionInfo.c_str(), password.empty() ? nullptr : password.c_str(), nullptr};
    conn_.reset(PQconnectdbParams(keywords, values, 1));
    if (!conn_) throw Error(kServerFailure, "The record index server cannot be reached (out of memory)");
    if (PQstatus(conn_.get()) != CONNECTION_OK)
        throw Error(kServerFailure, "The record index server cannot be reached: " + Trimmed(PQerrorMessage(conn_.get())));
    // The server's notices ("table does not exist, skipping") are no failures
    // and would only clutter the program's output.
    PQsetNoticeProcessor(conn_.get(), [](void*, const char*) {}, nullptr);
    // A search reads the days it asks for, which the server holds in memory
    // as a rule, where a page read out of order costs about what the next
    // page does. With the server's default (four times as much) the planner
    // takes one channel's day through the time index, reading every
    // channel's rows of that day and dropping the others' (about 20 times
    // the work with 60 channels), instead of the channel's own index range.
    Run("SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; SET client_encoding = 'UTF8'; "
        "SET random_page_cost = 1.1");
    LoadColumnKinds();
}

ServerSession::~ServerSession() = default;

void ServerSession::Fail(const pg_result* result) const {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = Trimmed(result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr);
    if (message.empty()) message = Trimmed(PQerrorMessage(conn_.get()));
    int number = kServerFailure;
    if (state && state[0] == '2' && state[1] == '2') number = kTypeMismatch;
    if (state && state[0] == '2' && state[1] == '3') number = 19;
    throw Error(number, message);
}

ServerResult ServerSession::Run(const std::string& sql, const std::vector<std::string>& parameters) {
    Flush();  // every statement sees the rows inserted before it
    ServerResult result;
    if (parameters.empty()) {
        result.reset(PQexec(conn_.get(), sql.c_str()));
    } else {
        std::vector<const char*> values;
        for (const std::string& p : parameters) values.push_back(p.c_str());
        result.reset(PQexecParams(conn_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                  nullptr, nullptr, 0));
    }
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(result.get());
    return result;
}

std::string ServerSession::RunForValue(const std::string& sql, const std::vector<std::string>& parameters) {
    ServerResult result = Run(sql, parameters);
    if (PQntuples(result.get()) < 1 || PQnfields(result.get()) < 1 || PQgetisnull(result.get(), 0, 0)) return {};
    return PQgetvalue(result.get(), 0, 0);
}

void ServerSession::LoadColumnKinds() {
    kinds_.clear();
    ServerResult columns = Run(
        "select column_name, data_type from information_schema.columns "
        "where table_schema = any (current_schemas(false))");
    for (int r = 0; r < PQntuples(columns.get()); ++r) {
        const std::string type = PQgetvalue(columns.get(), r, 1);
        if (type.starts_with("timestamp"))
            kinds_[UpperAscii(PQgetvalue(columns.get(), r, 0))] = ColumnKind::DateTime;
        else if (type == "interval")
            kinds_[UpperAscii(PQgetvalue(columns.get(), r, 0))] = ColumnKind::Duration;
    }
}

void ServerSession::Execute(std::string_view jetSql) {
    const ServerStatement statement = TranslateForServer(jetSql, kinds_);
    Run(statement.sql, statement.parameters);
}

void ServerSession::InsertRow(std::string_view table, const std::vector<std::string>& columns,
                              const std::vector<std::string_view>& values) {
    // Inside a transaction the row becomes a line of COPY's text format,
    // outside it the parameters of its own INSERT.
    const bool gather = InTransaction();
    std::string names, line;
    std::vector<std::string> parameters;
    const auto add = [&](std::string_view column, std::string_view value) {
        if (!names.empty()) {
            names += ',';
            if (gather) line += '\t';
        }
        names.append(column);
        if (gather)
            AppendCopyField(line, value);
        else
            parameters.emplace_back(value);
    };
    for (std::size_t i = 0; i < columns.size() && i < values.size(); ++i) {
        std::string_view v = values[i];
        std::optional<std::string> canonical;
        auto kind = kinds_.find(UpperAscii(columns[i]));
        if (kind != kinds_.end()) {
            canonical = kind->second == ColumnKind::DateTime ? CanonicalDateTime(v) : CanonicalDuration(v);
            if (!canonical) throw Error(kTypeMismatch, kTypeMismatchText);
            v = *canonical;
        } else if (!IsUtf8(v)) {
            throw Error(kTypeMismatch, "The text of " + columns[i] + " is not UTF-8");
        }
        add(columns[i], v);
    }
    if (!rowFolder_.empty()) add(kMainFolderColumn, rowFolder_);
    const std::string target = std::string(table) + "(" + names + ")";
    if (!gather) {
        std::string sql = "insert into " + target + " values(";
        for (std::size_t n = 1; n <= parameters.size(); ++n) sql.append(n > 1 ? ",$" : "$").append(std::to_string(n));
        Run(sql + ")", parameters);
        return;
    }
    std::string statement = "copy " + target + " from stdin";
    if (copy_.statement != statement) {
        Flush();  // a COPY of another shape ends first
        const ServerResult start(PQexec(conn_.get(), statement.c_str()));
        if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN) Fail(start.get());
        copy_.statement = std::move(statement);
    }
    copy_.lines.append(line) += '\n';
    if (copy_.lines.size() >= kCopyChunk) SendLines();
}

void ServerSession::SendLines() {
    if (PQputCopyData(conn_.get(), copy_.lines.data(), static_cast<int>(copy_.lines.size())) == 1) {
        copy_.lines.clear();
        return;
    }
    // The stream is broken: it is ended with an error, so the server
    // stores none of it.
    EndCopy("the rows could not be sent whole");
}

void ServerSession::EndCopy(const char* error) {
    copy_ = {};
    pg_conn* const c = conn_.get();
    PQputCopyEnd(c, error);
    const ServerResult end(PQgetResult(c));
    while (ServerResult more{PQgetResult(c)}) {
    }
    if (!end || PQresultStatus(end.get()) != PGRES_COMMAND_OK) Fail(end.get());
}

void ServerSession::Flush() {
    if (copy_.statement.empty()) return;
    if (!copy_.lines.empty()) SendLines();
    if (!copy_.statement.empty()) EndCopy(nullptr);
}

void ServerSession::DeleteRow(std::string_view table, std::int64_t key) {
    Run("delete from " + std::string(table) + " where " + kServerKeyColumn + " = $1", {std::to_string(key)});
}

bool ServerSession::InTransaction() const { return PQtransactionStatus(conn_.get()) != PQTRANS_IDLE; }

bool ServerSession::Usable() const { return PQstatus(conn_.get()) == CONNECTION_OK; }

void ServerSession::Begin() {
    if (!InTransaction()) Run("BEGIN");
}

void ServerSession::Commit() {
    if (!InTransaction()) return;
    Flush();
    // The server turns the COMMIT of a failed transaction into a rollback
    // without an error.
    if (PQtransactionStatus(conn_.get()) == PQTRANS_INERROR) {
        Rollback();
        throw Error(kServerFailure, "The transaction failed earlier and was rolled back");
    }
    Run("COMMIT");
}

void ServerSession::Rollback() noexcept {
    if (!copy_.statement.empty()) {
        copy_ = {};
        PQputCopyEnd(conn_.get(), "rolled back");
        while (ServerResult result{PQgetResult(conn_.get())}) {
        }
    }
    if (InTransaction()) PQclear(PQexec(conn_.get(), "ROLLBACK"));
}

}  // namespace platform::sqlstore
