// The shared record store's session with a PostgreSQL server: see
// server_session.h.
#include "server_session.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "error.h"
#include "jet_date.h"

namespace platform::sqlstore {

namespace {

// What a connection gets unless the line says otherwise: the line comes
// after these, and libpq keeps the last value of a keyword. Keepalives
// find a server whose machine or line is gone while a session is idle
// (after about a minute) instead of at the next statement's wait.
constexpr const char* kConnectDefaults[][2] = {
    {"keepalives", "1"},        {"keepalives_idle", "30"}, {"keepalives_interval", "10"},
    {"keepalives_count", "3"},  {"fallback_application_name", "calldeck"},
};
// The second session that asks whether a late statement is still being
// worked on may take a third of the answer's wait, this long at most; the
// statement waits the rest first, so that a stopped server is told after
// the wait the line names.
constexpr std::chrono::milliseconds kLongestCheck{3000};

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

ServerSession::ServerSession(const std::string& connectionInfo, const std::string& password, const std::string& user) {
    const ConnectionLine line = ReadConnectionLine(connectionInfo);
    answerWait_ = line.answerWait;
    lineValues_ = line.values;
    password_ = password;
    for (const std::pair<std::string, std::string>& v : line.values)
        if (v.first == "password" && password_.empty()) password_ = v.second;
    // The line goes in as "dbname" with expansion, so both a "key=value"
    // line, a URI and a "service=name" work; a password or user given apart
    // is added as its own keyword after it (libpq takes the last).
    for (const auto& [keyword, value] : kConnectDefaults) {
        keywords_.emplace_back(keyword);
        values_.emplace_back(value);
    }
    keywords_.emplace_back("connect_timeout");
    values_.push_back(std::to_string(kDefaultConnectWait.count()));
    keywords_.emplace_back("dbname");
    values_.push_back(line.libpq);
    if (!password.empty()) {
        keywords_.emplace_back("password");
        values_.push_back(password);
    }
    if (!user.empty()) {
        keywords_.emplace_back("user");
        values_.push_back(user);
    }
    const auto deadline = line.connectWait.count() > 0 ? std::chrono::steady_clock::now() + line.connectWait
                                                       : std::chrono::steady_clock::time_point::max();
    conn_ = Connect([&](pg_conn* c, short events) {
        if (!PollSocket(c, events, deadline)) throw Error(kNoAnswer, NoAnswerText(line.connectWait));
    });
    if (!conn_) throw Error(kServerFailure, "The record index server cannot be reached (out of memory)");
    if (PQstatus(conn_.get()) != CONNECTION_OK)
        throw Error(kServerFailure, "The record index server cannot be reached: " + LibpqMessage());
    // The server's notices ("table does not exist, skipping") are no failures
    // and would only clutter the program's output.
    PQsetNoticeProcessor(conn_.get(), [](void*, const char*) {}, nullptr);
    // A search reads the days it asks for, which the server holds in memory
    // as a rule, where a page read out of order costs about what the next
    // page does. With the server's default (four times as much) the planner
    // takes one channel's day through the time index, reading every
    // channel's rows of that day and dropping the others' (about 20 times
    // the work with 60 channels), instead of the channel's own index range.
    // No statement is compiled to machine code (jit): the searches read
    // rows along indexes, and a site's row-level policies raise a month's
    // estimate past the threshold, where compiling took longer (about 0.3 s)
    // than the whole search.
    Run("SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; SET client_encoding = 'UTF8'; "
        "SET random_page_cost = 1.1; SET jit = off");
    LoadColumnKinds();
}

ServerSession::~ServerSession() = default;

void ServerSession::Fail(const pg_result* result) const {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = Trimmed(result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr);
    if (message.empty() && conn_) message = LibpqMessage();
    int number = kServerFailure;
    if (state && state[0] == '2' && state[1] == '2') number = kTypeMismatch;
    if (state && state[0] == '2' && state[1] == '3') number = 19;
    throw Error(number, message);
}

std::vector<std::pair<std::string, std::string>> ServerSession::UsedValues() const {
    // libpq's own defaults and this program's are no secret; every other
    // value came from the line, a service file or the environment.
    std::map<std::string, std::string, std::less<>> plain{
        {"connect_timeout", std::to_string(kDefaultConnectWait.count())}};
    for (const auto& [keyword, value] : kConnectDefaults) plain.emplace(keyword, value);
    if (PQconninfoOption* defaults = PQconndefaults()) {
        for (const PQconninfoOption* o = defaults; o->keyword; ++o)
            if (o->val) plain.emplace(o->keyword, o->val);
        PQconninfoFree(defaults);
    }
    std::vector<std::pair<std::string, std::string>> used = lineValues_;
    if (PQconninfoOption* options = PQconninfo(conn_.get())) {
        for (const PQconninfoOption* o = options; o->keyword; ++o) {
            const auto known = plain.find(o->keyword);
            if (o->val && *o->val && (known == plain.end() || known->second != o->val))
                used.emplace_back(o->keyword, o->val);
        }
        PQconninfoFree(options);
    }
    return used;
}

std::string ServerSession::LibpqMessage() const {
    return WithoutLineValues(Trimmed(PQerrorMessage(conn_.get())), UsedValues(), password_);
}

ServerConnection ServerSession::Connect(const Waiter& wait) const {
    std::vector<const char*> keywords, values;
    for (std::size_t i = 0; i < keywords_.size(); ++i) {
        keywords.push_back(keywords_[i].c_str());
        values.push_back(values_[i].c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    return ConnectWaiting(keywords.data(), values.data(), wait);
}

pg_conn* ServerSession::Live() const {
    if (lost_) throw *lost_;
    return conn_.get();
}

pg_conn* ServerSession::Sending() {
    pg_conn* const c = Live();
    holding_ = PQtransactionStatus(c) != PQTRANS_IDLE;
    return c;
}

std::chrono::milliseconds ServerSession::CheckWait() const {
    return std::min(std::chrono::milliseconds(answerWait_) / 3, kLongestCheck);
}

void ServerSession::StartWaiting() {
    deadline_ = answerWait_.count() > 0 ? std::chrono::steady_clock::now() + answerWait_ - CheckWait()
                                        : std::chrono::steady_clock::time_point::max();
}

void ServerSession::WaitFor(pg_conn* c, short events) {
    while (!PollSocket(c, events, deadline_)) {
        if (StillWorking()) {
            StartWaiting();
            continue;
        }
        // Closing the connection ends the statement and the transaction on
        // the server, once it goes on; nothing of this session waits for it.
        lostTransaction_ = holding_;
        copy_ = {};
        lost_.emplace(kNoAnswer, NoAnswerText(answerWait_));
        conn_.reset();
        throw *lost_;
    }
}

bool ServerSession::StillWorking() const {
    const std::string backend = std::to_string(PQbackendPID(conn_.get()));
    const auto deadline = std::chrono::steady_clock::now() + CheckWait();
    const Waiter wait = [deadline](pg_conn* c, short events) {
        if (!PollSocket(c, events, deadline)) throw Error(kNoAnswer, "");
    };
    try {
        const ServerConnection check = Connect(wait);
        if (!check || PQstatus(check.get()) != CONNECTION_OK) return false;
        const char* parameter[] = {backend.c_str()};
        if (!PQsendQueryParams(check.get(), "select state from pg_stat_activity where pid = $1", 1, nullptr,
                               parameter, nullptr, nullptr, 0) ||
            !SendQueued(check.get(), wait))
            return false;
        const ServerResult state = TakeResult(check.get(), wait);
        return state && PQresultStatus(state.get()) == PGRES_TUPLES_OK && PQntuples(state.get()) == 1 &&
               std::string_view(PQgetvalue(state.get(), 0, 0)) == "active";
    } catch (const Error&) {
        return false;
    }
}

ServerResult ServerSession::Answer(bool sent) {
    pg_conn* const c = Live();
    StartWaiting();
    const Waiter wait = [this](pg_conn* on, short events) { WaitFor(on, events); };
    if (!sent || !SendQueued(c, wait)) return {};
    return TakeResult(c, wait);
}

ServerResult ServerSession::Run(const std::string& sql, const std::vector<std::string>& parameters) {
    if (!parameters.empty()) return RunBound(sql, parameters);
    Flush();  // every statement sees the rows inserted before it
    ServerResult result = Answer(PQsendQuery(Sending(), sql.c_str()) == 1);
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(result.get());
    return result;
}

ServerResult ServerSession::RunBound(const std::string& sql, const std::vector<std::string>& parameters) {
    Flush();  // every statement sees the rows inserted before it
    std::vector<const char*> values;
    for (const std::string& p : parameters) values.push_back(p.c_str());
    ServerResult result = Answer(PQsendQueryParams(Sending(), sql.c_str(), static_cast<int>(values.size()),
                                                   nullptr, values.data(), nullptr, nullptr, 0) == 1);
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
    // Several statements where nothing is bound (the text holds no value).
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
        // The server refuses COPY into a table whose rows this login sees
        // only in part (row-level security, a site's scoped roles): the rows
        // then go to a temporary table first and from there by one INSERT,
        // which the policies and triggers check.
        std::string into = statement, staged;
        if (RunForValue("select row_security_active($1::regclass)", {std::string(table)}) == "t") {
            Run("drop table if exists pg_temp.calldeck_staged_rows");
            Run("create temp table calldeck_staged_rows on commit drop as select " + names + " from " +
                std::string(table) + " with no data");
            into = "copy pg_temp.calldeck_staged_rows(" + names + ") from stdin";
            staged = "insert into " + target + " select " + names + " from pg_temp.calldeck_staged_rows";
        }
        const ServerResult start = Answer(PQsendQuery(Sending(), into.c_str()) == 1);
        if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN) Fail(start.get());
        copy_.statement = std::move(statement);
        copy_.staged = std::move(staged);
    }
    copy_.lines.append(line) += '\n';
    if (copy_.lines.size() >= kCopyChunk) SendLines();
}

void ServerSession::SendLines() {
    pg_conn* const c = Sending();
    StartWaiting();
    const Waiter wait = [this](pg_conn* on, short events) { WaitFor(on, events); };
    // Handed over whole before the scan goes on, so that a server that
    // takes nothing is noticed within the wait, not after the whole scan.
    int queued;
    while ((queued = PQputCopyData(c, copy_.lines.data(), static_cast<int>(copy_.lines.size()))) == 0)
        if (!SendQueued(c, wait)) break;
    if (queued == 1 && SendQueued(c, wait)) {
        copy_.lines.clear();
        return;
    }
    // The stream is broken: it is ended with an error, so the server
    // stores none of it.
    EndCopy("the rows could not be sent whole");
}

void ServerSession::EndCopy(const char* error) {
    const std::string staged = std::exchange(copy_, {}).staged;
    pg_conn* const c = Sending();
    StartWaiting();
    const Waiter wait = [this](pg_conn* on, short events) { WaitFor(on, events); };
    int ended;
    while ((ended = PQputCopyEnd(c, error)) == 0)
        if (!SendQueued(c, wait)) break;
    const ServerResult end = Answer(ended == 1);
    if (!end || PQresultStatus(end.get()) != PGRES_COMMAND_OK) Fail(end.get());
    if (!error && !staged.empty()) {
        Run(staged);
        Run("truncate pg_temp.calldeck_staged_rows");
    }
}

void ServerSession::Flush() {
    if (copy_.statement.empty()) return;
    if (!copy_.lines.empty()) SendLines();
    if (!copy_.statement.empty()) EndCopy(nullptr);
}

void ServerSession::DeleteRow(std::string_view table, std::int64_t key) {
    Run("delete from " + std::string(table) + " where " + kServerKeyColumn + " = $1", {std::to_string(key)});
}

bool ServerSession::InTransaction() const {
    return conn_ && PQtransactionStatus(conn_.get()) != PQTRANS_IDLE;
}

bool ServerSession::Usable() const { return conn_ && PQstatus(conn_.get()) == CONNECTION_OK; }

bool ServerSession::UsedPassword() const { return conn_ && PQconnectionUsedPassword(conn_.get()) == 1; }

void ServerSession::Begin() {
    if (!InTransaction()) Run("BEGIN");
}

void ServerSession::Commit() {
    if (lost_ && lostTransaction_) {
        lostTransaction_ = false;
        throw *lost_;  // what the transaction held is gone with the session
    }
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
    lostTransaction_ = false;
    if (!conn_) return;
    try {
        if (!copy_.statement.empty()) {
            try {
                EndCopy("rolled back");
            } catch (const Error&) {
                // the COPY ends with an error: the one asked for
            }
        }
        if (InTransaction()) Run("ROLLBACK");
    } catch (const Error&) {
        // A server that does not answer the rollback drops the session
        // (above), and the transaction with it.
    }
}

}  // namespace platform::sqlstore
