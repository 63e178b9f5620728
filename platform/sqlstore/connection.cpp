// The record store's connection: see connection.h.
#include "connection.h"

#include <sqlite3.h>

#include <system_error>

#include "jet_date.h"
#include "server_session.h"

namespace platform::sqlstore {

void StatementDeleter::operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }

namespace {

constexpr int kBusyWaitMs = 5000;

// A name as an SQL identifier, between double quotes.
std::string Quoted(std::string_view name) {
    std::string quoted = "\"";
    for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string_view TrimSpace(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

namespace {

std::string PartOf(std::string_view cs, std::string_view key) {
    while (!cs.empty()) {
        std::size_t end = cs.find(';');
        std::string_view part = cs.substr(0, end);
        if (std::size_t eq = part.find('='); eq != std::string_view::npos &&
                                             UpperAscii(TrimSpace(part.substr(0, eq))) == key)
            return std::string(TrimSpace(part.substr(eq + 1)));
        if (end == std::string_view::npos) break;
        cs.remove_prefix(end + 1);
    }
    return {};
}

// A path as a "file:" URI: the characters a URI gives a meaning to are
// written as %XX.
std::string FileUri(std::string_view path) {
    std::string uri = path.starts_with('/') ? "file://" : "file:";  // an empty authority before an absolute path
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#' || static_cast<unsigned char>(c) < 0x20) {
            constexpr const char* kHex = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[static_cast<unsigned char>(c) >> 4];
            uri += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            uri += c;
        }
    }
    return uri;
}

}  // namespace

std::string DataSourceOf(std::string_view cs) { return PartOf(cs, "DATA SOURCE"); }
std::string ProviderOf(std::string_view cs) { return PartOf(cs, "PROVIDER"); }
bool NamesServer(std::string_view cs) { return UpperAscii(ProviderOf(cs)) == "POSTGRESQL"; }

Connection::Connection() = default;
Connection::~Connection() { Close(); }

void Connection::Fail() const { throw Error(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_)); }

void Connection::RequireOpen() const {
    if (!db_ && !server_) throw Error(kObjectClosed, kObjectClosedText);
}

void Connection::Open() {
    if (db_ || server_) throw Error(3705, "Operation is not allowed when the object is open.");
    if (NamesServer(ConnectionString)) {
        const std::string source = DataSourceOf(ConnectionString);
        if (source.empty()) throw Error(3706, "Provider cannot be found. It may not be properly installed.");
        server_ = std::make_unique<ServerSession>(source, Password, User);
        kinds_ = server_->Kinds();
        return;
    }
    const std::string path = DataSourceOf(ConnectionString);
    if (path.empty()) throw Error(3706, "Provider cannot be found. It may not be properly installed.");
    if (!Password.empty()) throw Error(3031, "Not a valid password.");
    if (!ReadOnly) return OpenFile(path, SQLITE_OPEN_READWRITE);
    try {
        OpenFile(FileUri(path) + "?mode=ro", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    } catch (const Error&) {
        // No shared memory of the write-ahead log can be made beside the file.
        OpenFile(FileUri(path) + "?mode=ro&immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    }
}

void Connection::OpenFile(const std::string& name, int flags) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw Error(rc, why + " (" + DataSourceOf(ConnectionString) + ")");
    }
    db_ = db;
    statisticsKnown_ = false;
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyWaitMs);  // another process may be committing
    try {
        // The first read of the file: a file that is no database fails here.
        if (flags & SQLITE_OPEN_READWRITE)
            Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=8192;");
        Execute("PRAGMA cache_size=-65536; PRAGMA secure_delete=OFF; PRAGMA temp_store=MEMORY;");
        LoadColumnKinds();
    } catch (const Error& e) {
        // An input/output failure says which of the system's errors it was
        // (a full disk is "No space left on device").
        const int code = e.Number() & 0xff, system = sqlite3_system_errno(db_);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        if (system == 0 || (code != SQLITE_IOERR && code != SQLITE_FULL && code != SQLITE_CANTOPEN)) throw;
        throw Error(e.Number(), e.Description() + ": " + std::generic_category().message(system));
    } catch (...) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
}

bool Connection::IsReadOnly() const { return db_ && sqlite3_db_readonly(db_, "main") == 1; }

bool Connection::Usable() const { return server_ ? server_->Usable() : db_ != nullptr; }

void Connection::Ping() {
    RequireOpen();
    if (server_) server_->Run("select 1");
}

std::unique_ptr<ServerSession> Connection::TakeReader() {
    if (!server_) throw Error(kObjectClosed, kObjectClosedText);
    while (!idleReaders_.empty()) {
        std::unique_ptr<ServerSession> reader = std::move(idleReaders_.back());
        idleReaders_.pop_back();
        if (reader->Usable()) return reader;
    }
    return std::make_unique<ServerSession>(DataSourceOf(ConnectionString), Password, User);
}

void Connection::GiveBackReader(std::unique_ptr<ServerSession> reader) noexcept {
    if (server_ && reader && reader->Usable() && !reader->InTransaction() && idleReaders_.size() < kIdleReaders)
        idleReaders_.push_back(std::move(reader));
}

bool Connection::Close() {
    if (server_) {
        bool committed = true;
        try {
            server_->Commit();
        } catch (const Error&) {
            committed = false;
            server_->Rollback();
        }
        server_.reset();
        idleReaders_.clear();
        kinds_.clear();
        return committed;
    }
    if (!db_) return true;
    bool committed = true;
    if (InBatch() && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        committed = false;
        Rollback();
    }
    cache_.clear();
    lastInsert_ = {};
    sqlite3_close_v2(db_);
    db_ = nullptr;
    kinds_.clear();
    return committed;
}

void Connection::LoadColumnKinds() {
    kinds_.clear();
    Statement tables = Prepare("select name from sqlite_schema where type = 'table'");
    while (sqlite3_step(tables.get()) == SQLITE_ROW) {
        std::string table = reinterpret_cast<const char*>(sqlite3_column_text(tables.get(), 0));
        Statement cols = Prepare("select name, upper(type) from pragma_table_info(?)");
        sqlite3_bind_text(cols.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(cols.get()) == SQLITE_ROW) {
            std::string name = reinterpret_cast<const char*>(sqlite3_column_text(cols.get(), 0));
            const unsigned char* raw = sqlite3_column_text(cols.get(), 1);
            std::string_view type = raw ? reinterpret_cast<const char*>(raw) : "";
            if (type.find("DATETIME") != std::string_view::npos)
                kinds_[UpperAscii(name)] = ColumnKind::DateTime;
            else if (type.find("DURATION") != std::string_view::npos)
                kinds_[UpperAscii(name)] = ColumnKind::Duration;
        }
    }
}

Statement Connection::Prepare(std::string_view sql) {
    RequireOpen();
    if (server_) throw Error(kServerFailure, "A SQLite statement cannot run on the record index server");
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &s, nullptr) != SQLITE_OK) Fail();
    return Statement(s);
}

sqlite3_stmt* Connection::Cached(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) it = cache_.emplace(sql, Prepare(sql)).first;
    sqlite3_reset(it->second.get());
    sqlite3_clear_bindings(it->second.get());
    return it->second.get();
}

void Connection::Execute(std::string_view jetSql) {
    RequireOpen();
    if (server_) return server_->Execute(jetSql);
    const std::string sql = Translate(jetSql, kinds_);
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string why = message ? message : sqlite3_errmsg(db_);
        sqlite3_free(message);
        throw Error(sqlite3_extended_errcode(db_), why);
    }
}

void Connection::InsertRow(std::string_view table, const std::vector<std::string>& columns,
                           const std::vector<std::string_view>& values) {
    RequireOpen();
    if (server_) return server_->InsertRow(table, columns, values);
    // A scan inserts into one table with one column list many thousand
    // times: the statement and its column kinds are looked up once.
    if (!lastInsert_.statement || lastInsert_.table != table || lastInsert_.columns != columns) {
        std::string sql;
        sql.append("insert into ").append(table).append("(");
        for (std::size_t i = 0; i < columns.size(); ++i) sql.append(i ? "," : "").append(columns[i]);
        sql.append(") values(");
        for (std::size_t i = 0; i < columns.size(); ++i) sql.append(i ? ",?" : "?");
        sql.append(")");
        std::vector<ColumnKind> kinds;
        for (const std::string& c : columns) {
            auto it = kinds_.find(UpperAscii(c));
            kinds.push_back(it == kinds_.end() ? ColumnKind::Other : it->second);
        }
        sqlite3_stmt* statement = Cached(sql);
        lastInsert_ = {std::string(table), columns, std::move(kinds), statement};
    }
    sqlite3_stmt* s = lastInsert_.statement;
    sqlite3_reset(s);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string_view v = values[i];
        std::optional<std::string> canonical;
        const ColumnKind kind = i < lastInsert_.kinds.size() ? lastInsert_.kinds[i] : ColumnKind::Other;
        if (kind != ColumnKind::Other) {
            canonical = kind == ColumnKind::DateTime ? CanonicalDateTime(v) : CanonicalDuration(v);
            if (!canonical) throw Error(kTypeMismatch, kTypeMismatchText);
            v = *canonical;
        }
        // Copied by SQLite at once (transient), so v may go.
        sqlite3_bind_text(s, static_cast<int>(i + 1), v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) Fail();
}

void Connection::DeleteRow(std::string_view table, long long rowId) {
    if (server_) return server_->DeleteRow(table, rowId);
    sqlite3_stmt* s = Cached("delete from " + std::string(table) + " where _rowid_ = ?");
    sqlite3_bind_int64(s, 1, rowId);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) Fail();
}

std::vector<std::string> Connection::DropIndexes(std::string_view table) {
    // The shared table keeps its indexes: a rebuild there replaces one
    // folder's rows among many.
    if (server_) return {};
    std::vector<std::pair<std::string, std::string>> indexes;  // name, statement
    {
        Statement list = Prepare("select name, sql from sqlite_schema where type = 'index' and sql is not null "
                                 "and tbl_name = ? collate nocase order by name");
        sqlite3_bind_text(list.get(), 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(list.get()) == SQLITE_ROW)
            indexes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0)),
                                 reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 1)));
    }
    cache_.clear();  // prepared statements must not hold the schema
    lastInsert_ = {};
    std::vector<std::string> statements;
    for (const auto& [name, sql] : indexes) {
        if (sqlite3_exec(db_, ("drop index " + Quoted(name)).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
        statements.push_back(sql);
    }
    return statements;
}

void Connection::CreateIndexes(const std::vector<std::string>& statements) {
    RequireOpen();
    if (server_) return;
    for (const std::string& sql : statements)
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
}

void Connection::Analyze(std::string_view table) {
    RequireOpen();
    // The server keeps its statistics itself (autovacuum); an ANALYZE inside
    // a rebuild's transaction would also hold off every other folder's
    // rebuild until the commit.
    if (server_) return;
    if (sqlite3_exec(db_, ("ANALYZE " + Quoted(table)).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
}

void Connection::GatherMissingStatistics(std::string_view table) noexcept {
    if (!db_ || statisticsKnown_ || InBatch()) return;
    if (sqlite3_db_readonly(db_, "main") != 0) {  // never written to: the plan does without
        statisticsKnown_ = true;
        return;
    }
    try {
        // No sqlite_stat1 at all fails to prepare: no statistics either.
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db_, "select 1 from sqlite_stat1 where tbl = ? collate nocase limit 1", -1, &raw,
                               nullptr) == SQLITE_OK) {
            const Statement found(raw);
            sqlite3_bind_text(raw, 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(raw) == SQLITE_ROW) {
                statisticsKnown_ = true;
                return;
            }
        }
        // Another process writing (a rebuild) is not waited for: the search
        // goes on without, and the next one tries again.
        const std::string analyze = "ANALYZE " + Quoted(table);
        sqlite3_busy_timeout(db_, 0);
        statisticsKnown_ = sqlite3_exec(db_, analyze.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_busy_timeout(db_, kBusyWaitMs);
    } catch (...) {  // out of memory for a statement's text: searched without
    }
}

bool Connection::InBatch() const {
    if (server_) return server_->InTransaction();
    return db_ && !sqlite3_get_autocommit(db_);
}

void Connection::BeginBatch() {
    RequireOpen();
    if (server_) return server_->Begin();
    if (InBatch()) return;
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
}

void Connection::BeginWrite(std::chrono::milliseconds wait) {
    RequireOpen();
    if (InBatch()) throw Error(kTransactionOpen, kTransactionOpenText);
    // On the server writers never wait for each other's whole transaction;
    // a rebuild there locks its own main folder (record_rebuild).
    if (server_) return server_->Begin();
    sqlite3_busy_timeout(db_, static_cast<int>(wait.count()));
    const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db_, kBusyWaitMs);
    if (rc != SQLITE_OK) Fail();
}

void Connection::Rollback() noexcept {
    if (server_) return server_->Rollback();
    if (InBatch()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Connection::CommitBatch() {
    if (server_) return server_->Commit();
    if (!InBatch()) return;
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
}

}  // namespace platform::sqlstore
