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
    Run("SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; SET client_encoding = 'UTF8'");
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
    std::string head = "insert into " + std::string(table) + "(";
    std::vector<std::string> parameters;
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
        head.append(i ? "," : "").append(columns[i]);
        parameters.emplace_back(v);
    }
    if (!rowFolder_.empty()) {
        head.append(parameters.empty() ? "" : ",").append(kMainFolderColumn);
        parameters.push_back(rowFolder_);
    }
    head.append(") values");
    if (pending_.rows && (pending_.head != head || pending_.width != parameters.size())) Flush();
    pending_.head = std::move(head);
    pending_.width = parameters.size();
    for (std::string& p : parameters) pending_.parameters.push_back(std::move(p));
    ++pending_.rows;
    // Outside a transaction each row is its own unit and goes at once.
    if (!InTransaction() || pending_.rows >= kRowsPerInsert) Flush();
}

void ServerSession::Flush() {
    if (!pending_.rows) return;
    Pending rows = std::move(pending_);
    pending_ = {};
    std::string sql = std::move(rows.head);
    for (std::size_t r = 0, n = 1; r < rows.rows; ++r) {
        sql.append(r ? ",(" : "(");
        for (std::size_t c = 0; c < rows.width; ++c, ++n) sql.append(c ? ",$" : "$").append(std::to_string(n));
        sql.append(")");
    }
    Run(sql, rows.parameters);
}

void ServerSession::DeleteRow(std::string_view table, std::int64_t key) {
    Run("delete from " + std::string(table) + " where " + kServerKeyColumn + " = $1", {std::to_string(key)});
}

bool ServerSession::InTransaction() const { return PQtransactionStatus(conn_.get()) != PQTRANS_IDLE; }

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
    pending_ = {};
    if (InTransaction()) PQclear(PQexec(conn_.get(), "ROLLBACK"));
}

}  // namespace platform::sqlstore
