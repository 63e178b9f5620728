// The client-side static result set: see recordset.h.
#include "recordset.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

#include "connection.h"
#include "error.h"
#include "server_session.h"

namespace platform::sqlstore {

namespace {

constexpr std::uint32_t kNullCell = 0xFFFFFFFFu;
constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kLargestBlock = std::size_t{1} << 20;
constexpr int kSnapshotBusyWaitMs = 5000;
// How long a delete waits for another writer of the file to commit.
constexpr std::chrono::milliseconds kDeleteWriteWait{5000};
// On the server: the one cursor of a reader session, and how many rows a
// read of it fetches (the grid shows a few dozen at a time).
constexpr const char* kServerCursor = "calldeck_set";
constexpr std::size_t kServerPage = 200;

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

bool InWalMode(Connection& connection) {
    Statement mode = connection.Prepare("pragma journal_mode");
    if (sqlite3_step(mode.get()) != SQLITE_ROW) return false;
    const unsigned char* text = sqlite3_column_text(mode.get(), 0);
    return text && UpperAscii(reinterpret_cast<const char*>(text)) == "WAL";
}

// The server folds unquoted names to lower case; a column keeps the
// spelling its statement gives it, as the file's columns do (the grid's
// headers show it).
std::string SpelledAsIn(const std::string& sql, const std::string& name) {
    const std::string upperSql = UpperAscii(sql), upperName = UpperAscii(name);
    auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (std::size_t at = upperSql.find(upperName); !name.empty() && at != std::string::npos;
         at = upperSql.find(upperName, at + 1)) {
        const std::size_t end = at + name.size();
        if ((at == 0 || !word(sql[at - 1])) && (end == sql.size() || !word(sql[end]))) return sql.substr(at, name.size());
    }
    return name;
}

}  // namespace

// A second connection to the store's file, inside a read transaction that
// lasts as long as the set is open, and the statement that reads one row.
// On the server: a reader session of the connection's, inside a
// transaction that holds the set's cursor, given back when the set closes.
struct Recordset::Snapshot {
    Database db;
    Statement row;  // finalized before db closes
    std::unique_ptr<ServerSession> server;
    std::weak_ptr<Connection> owner;

    Snapshot() = default;
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    ~Snapshot() {
        if (!server) return;
        try {
            server->Run("CLOSE " + std::string(kServerCursor));
            server->Commit();
        } catch (const Error&) {
            server->Rollback();
        }
        if (auto connection = owner.lock()) connection->GiveBackReader(std::move(server));
    }
};

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::Open(std::string_view jetSql, const std::shared_ptr<Connection>& connection) {
    if (open_) throw Error(3705, "Operation is not allowed when the object is open.");
    if (!connection || !connection->IsOpen()) throw Error(kObjectClosed, kObjectClosedText);
    if (connection->Server()) {
        OpenOnServer(jetSql, connection);
    } else {
        const std::string sql = Translate(jetSql, connection->Kinds());
        if (!OpenOnSnapshot(sql, connection)) OpenFetchingAll(sql, connection);
    }
    connection_ = connection;
    cursor_ = live_.Slots() ? 0 : -1;
    open_ = true;
}

// False (and nothing kept) where the statement or the file does not allow
// it; the caller then fetches every row, which also reports any error in
// the statement itself.
bool Recordset::OpenOnSnapshot(const std::string& sql, const std::shared_ptr<Connection>& connection) {
    // Rows this connection has written but not committed are seen by it
    // alone, and a set opened now must show them.
    if (connection->InBatch()) return false;
    const auto plain = PlainColumnsSelect(sql);
    if (!plain) return false;
    const char* file = sqlite3_db_filename(connection->Handle(), "main");
    if (!file || !*file || !InWalMode(*connection)) return false;  // a reader would hold off writers

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file, &raw, SQLITE_OPEN_READWRITE, nullptr);
    auto snapshot = std::make_unique<Snapshot>();
    snapshot->db.reset(raw);
    if (rc != SQLITE_OK) return false;
    sqlite3* db = raw;
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kSnapshotBusyWaitMs);
    if (sqlite3_exec(db, "PRAGMA query_only=1; BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return false;

    auto prepare = [db](const std::string& text) {
        sqlite3_stmt* s = nullptr;
        const int prepared = sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()), &s, nullptr);
        Statement statement(s);
        if (prepared != SQLITE_OK) statement.reset();
        return statement;
    };
    // The row ids first: their statement's first step fixes the snapshot.
    Statement ids = prepare(plain->rowIds);
    if (!ids) return false;
    std::vector<std::int64_t> rowIds;
    int stepped;
    while ((stepped = sqlite3_step(ids.get())) == SQLITE_ROW) rowIds.push_back(sqlite3_column_int64(ids.get(), 0));
    if (stepped != SQLITE_DONE) return false;
    ids.reset();
    snapshot->row = prepare(plain->row);
    if (!snapshot->row) return false;

    std::vector<std::string> names;
    for (int c = 0; c < sqlite3_column_count(snapshot->row.get()); ++c)
        names.emplace_back(sqlite3_column_name(snapshot->row.get(), c));
    rowIds.shrink_to_fit();
    table_ = plain->table;
    names_ = std::move(names);
    rows_.assign(rowIds.size(), nullptr);
    live_ = LiveRows(rowIds.size());
    rowIds_ = std::move(rowIds);
    snapshot_ = std::move(snapshot);
    return true;
}

void Recordset::OpenFetchingAll(const std::string& sql, const std::shared_ptr<Connection>& connection) {
    Statement stmt;
    std::string table;
    if (auto withRowId = SingleTableSelect(sql)) {
        try {
            stmt = connection->Prepare(withRowId->sql);
            table = withRowId->table;
        } catch (const Error&) {
            // Not a plain table read after all: run it as written, read-only.
        }
    }
    if (!stmt) stmt = connection->Prepare(sql);

    sqlite3_stmt* s = stmt.get();
    const int first = table.empty() ? 0 : 1;
    const int columns = sqlite3_column_count(s);
    names_.clear();
    for (int c = first; c < columns; ++c) names_.emplace_back(sqlite3_column_name(s, c));
    std::vector<std::int64_t> rowIds;
    std::vector<const char*> rows;
    int rc;
    try {
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            if (first) rowIds.push_back(sqlite3_column_int64(s, 0));
            rows.push_back(StoreRow(s, first));
        }
    } catch (...) {
        Clear();
        throw;
    }
    if (rc != SQLITE_DONE) {
        Error failure(sqlite3_extended_errcode(connection->Handle()), sqlite3_errmsg(connection->Handle()));
        Clear();
        throw failure;
    }
    rowIds.shrink_to_fit();
    rows.shrink_to_fit();
    table_ = std::move(table);
    live_ = LiveRows(rows.size());
    rows_ = std::move(rows);
    rowIds_ = std::move(rowIds);
}

void Recordset::OpenOnServer(std::string_view jetSql, const std::shared_ptr<Connection>& connection) {
    ServerSession& server = *connection->Server();
    const ServerStatement statement = TranslateForServer(jetSql, connection->Kinds());
    // Only a list of plain columns of one table is one table row per row,
    // so only there may the key be added (the server refuses a key beside
    // an aggregate, and a failed statement spoils an open transaction).
    std::string table;
    ServerResult result;
    if (PlainColumnsSelect(statement.sql))
        if (auto keyed = SingleTableSelect(statement.sql, kServerKeyColumn)) {
            // Rows this connection has written but not committed are seen
            // by it alone, and a set opened now must show them.
            if (!server.InTransaction() && OpenServerCursor(*keyed, statement, connection)) return;
            result = server.RunBound(keyed->sql, statement.parameters);
            table = keyed->table;
        }
    if (!result) result = server.RunBound(statement.sql, statement.parameters);
    const pg_result* r = result.get();
    const int first = table.empty() ? 0 : 1;
    const int rows = PQntuples(r);
    names_.clear();
    for (int c = first; c < PQnfields(r); ++c) names_.push_back(SpelledAsIn(statement.sql, PQfname(r, c)));
    std::vector<std::int64_t> keys;
    std::vector<const char*> stored;
    stored.reserve(static_cast<std::size_t>(rows));
    if (first) keys.reserve(static_cast<std::size_t>(rows));
    try {
        for (int row = 0; row < rows; ++row) {
            if (first) keys.push_back(std::stoll(PQgetvalue(r, row, 0)));
            stored.push_back(StoreServerRow(r, row, first));
        }
    } catch (...) {
        Clear();
        throw;
    }
    table_ = std::move(table);
    live_ = LiveRows(stored.size());
    rows_ = std::move(stored);
    rowIds_ = std::move(keys);
}

// False (nothing kept) when a reader cannot be had or the statement fails
// there; the caller then runs it on the connection itself, which reports
// why in the usual way. A server that does not answer ends the open with
// that Error (kNoAnswer).
bool Recordset::OpenServerCursor(const RowIdSelect& keyed, const ServerStatement& statement,
                                 const std::shared_ptr<Connection>& connection) {
    auto snapshot = std::make_unique<Snapshot>();
    snapshot->owner = connection;
    try {
        snapshot->server = connection->TakeReader();
        ServerSession& reader = *snapshot->server;
        reader.Begin();
        // The cursor's snapshot is taken here and serves every later read.
        reader.RunBound("DECLARE " + std::string(kServerCursor) + " SCROLL CURSOR FOR " + keyed.sql,
                        statement.parameters);
        const ServerResult all = reader.Run("MOVE FORWARD ALL IN " + std::string(kServerCursor));
        const std::size_t count = std::stoull(PQcmdTuples(all.get()));
        const ServerResult page = FetchServerPage(reader, 0);
        names_.clear();
        for (int c = 1; c < PQnfields(page.get()); ++c)
            names_.push_back(SpelledAsIn(statement.sql, PQfname(page.get(), c)));
        table_ = keyed.table;
        rows_.assign(count, nullptr);
        rowIds_.assign(count, 0);
        live_ = LiveRows(count);
        snapshot_ = std::move(snapshot);
        StoreServerPage(page.get(), 0);
        return true;
    } catch (const Error& e) {
        Clear();
        // A server that does not answer would not answer the connection's
        // own session either: the search ends here.
        if (e.Number() == kNoAnswer) throw;
        return false;
    } catch (const std::exception&) {
        Clear();
        return false;
    }
}

ServerResult Recordset::FetchServerPage(ServerSession& reader, std::size_t first) {
    return reader.Run("MOVE ABSOLUTE " + std::to_string(first) + " IN " + kServerCursor + "; FETCH FORWARD " +
                      std::to_string(kServerPage) + " FROM " + kServerCursor);
}

void Recordset::StoreServerPage(const pg_result* page, std::size_t first) const {
    const std::size_t rows = std::min(static_cast<std::size_t>(PQntuples(page)), rows_.size() - std::min(first, rows_.size()));
    for (std::size_t i = 0; i < rows; ++i) {
        const int row = static_cast<int>(i);
        if (rows_[first + i]) continue;
        rowIds_[first + i] = std::stoll(PQgetvalue(page, row, 0));
        rows_[first + i] = StoreServerRow(page, row, 1);
    }
}

char* Recordset::Reserve(std::size_t bytes) const {
    if (bytes > freeBytes_) {
        std::size_t size = blocks_.empty() ? kFirstBlock : std::min(blockBytes_, kLargestBlock);
        size = std::max(size, bytes);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        blockBytes_ += size;
        free_ = blocks_.back().get();
        freeBytes_ = size;
    }
    return free_;
}

const char* Recordset::StoreCells(const std::vector<std::optional<std::string_view>>& cells) const {
    std::size_t bytes = 0;
    for (const auto& cell : cells) bytes += sizeof(std::uint32_t) + (cell ? cell->size() : 0);
    char* const start = Reserve(bytes);
    char* out = start;
    for (const auto& cell : cells) {
        const std::uint32_t length = cell ? static_cast<std::uint32_t>(cell->size()) : kNullCell;
        std::memcpy(out, &length, sizeof length);
        out += sizeof length;
        if (cell) {
            std::memcpy(out, cell->data(), length);
            out += length;
        }
    }
    free_ = out;
    freeBytes_ -= static_cast<std::size_t>(out - start);
    return start;
}

const char* Recordset::StoreServerRow(const pg_result* result, int row, int first) const {
    cells_.clear();
    for (int c = first; c < PQnfields(result); ++c)
        if (PQgetisnull(result, row, c))
            cells_.emplace_back();
        else
            cells_.emplace_back(std::string_view(PQgetvalue(result, row, c), PQgetlength(result, row, c)));
    return StoreCells(cells_);
}

const char* Recordset::StoreRow(sqlite3_stmt* statement, int first) const {
    cells_.clear();
    for (int c = first; c < sqlite3_column_count(statement); ++c) {
        // Text first, then its length: the order SQLite asks for.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
        if (text)
            cells_.emplace_back(std::string_view(text, sqlite3_column_bytes(statement, c)));
        else
            cells_.emplace_back();
    }
    return StoreCells(cells_);
}

const char* Recordset::Row(std::size_t slot) const {
    if (const char* row = rows_[slot]) return row;
    if (snapshot_->server) {
        const std::size_t first = slot - slot % kServerPage;
        StoreServerPage(FetchServerPage(*snapshot_->server, first).get(), first);
        if (!rows_[slot]) throw Error(kNoCurrentRecord, kNoCurrentRecordText);
        return rows_[slot];
    }
    sqlite3_stmt* s = snapshot_->row.get();
    sqlite3_reset(s);
    sqlite3_bind_int64(s, 1, rowIds_[slot]);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW) {
        sqlite3* db = snapshot_->db.get();
        Error failure(rc == SQLITE_DONE ? kNoCurrentRecord : sqlite3_extended_errcode(db),
                      rc == SQLITE_DONE ? std::string(kNoCurrentRecordText) : std::string(sqlite3_errmsg(db)));
        sqlite3_reset(s);
        throw failure;
    }
    const char* row = StoreRow(s, 0);
    sqlite3_reset(s);
    rows_[slot] = row;
    return row;
}

std::int64_t Recordset::Key(std::size_t slot) const {
    Row(slot);  // on the server a row's key comes with its cells
    return rowIds_[slot];
}

void Recordset::Close() {
    if (!open_) return;
    Clear();
    if (observer_) observer_->Closed();
}

void Recordset::Clear() {
    open_ = false;
    connection_.reset();
    table_.clear();
    names_.clear();
    snapshot_.reset();  // ends the read transaction
    rowIds_ = {};
    rows_ = {};
    std::vector<std::unique_ptr<char[]>>().swap(blocks_);
    blockBytes_ = 0;
    free_ = nullptr;
    freeBytes_ = 0;
    live_ = LiveRows();
    cursor_ = -1;
}

void Recordset::RequireOpen() const {
    if (!open_) throw Error(kObjectClosed, kObjectClosedText);
}

std::size_t Recordset::RequireCurrent() const {
    RequireOpen();
    if (cursor_ < 0 || !live_.IsLive(static_cast<std::size_t>(cursor_))) throw Error(kNoCurrentRecord, kNoCurrentRecordText);
    return static_cast<std::size_t>(cursor_);
}

long Recordset::RecordCount() const { return open_ ? static_cast<long>(live_.Count()) : -1; }

bool Recordset::Bof() const {
    RequireOpen();
    return cursor_ < 0 || (live_.Count() == 0 && !(cursor_ < static_cast<long>(live_.Slots())));
}

bool Recordset::Eof() const {
    RequireOpen();
    return cursor_ >= static_cast<long>(live_.Slots()) || (live_.Count() == 0 && cursor_ < 0);
}

void Recordset::MoveTo(long cursor) {
    cursor_ = cursor;
    if (observer_) observer_->CurrentRowChanged();
}

void Recordset::MoveFirst() {
    RequireOpen();
    MoveTo(live_.Count() ? static_cast<long>(live_.SlotOf(0)) : -1);
}

void Recordset::MoveLast() {
    RequireOpen();
    MoveTo(live_.Count() ? static_cast<long>(live_.SlotOf(live_.Count() - 1)) : static_cast<long>(live_.Slots()));
}

void Recordset::MoveNext() {
    if (Eof()) throw Error(kNoCurrentRecord, kNoCurrentRecordText);
    // Live rows in slots up to and including the current one.
    std::size_t before = live_.LiveBefore(static_cast<std::size_t>(cursor_ + 1));
    MoveTo(static_cast<long>(live_.SlotOf(before)));
}

void Recordset::MovePrevious() {
    if (Bof()) throw Error(kNoCurrentRecord, kNoCurrentRecordText);
    std::size_t before = live_.LiveBefore(static_cast<std::size_t>(cursor_));
    MoveTo(before == 0 ? -1 : static_cast<long>(live_.SlotOf(before - 1)));
}

int Recordset::FieldIndex(std::string_view name) const {
    const std::string wanted = UpperAscii(name);
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (UpperAscii(names_[i]) == wanted) return static_cast<int>(i);
    return -1;
}

std::optional<std::string_view> Recordset::Cell(std::size_t slot, int column) const {
    const char* at = Row(slot);
    for (int c = 0;; ++c) {
        std::uint32_t length;
        std::memcpy(&length, at, sizeof length);
        at += sizeof length;
        if (c == column) {
            if (length == kNullCell) return std::nullopt;
            return std::string_view(at, length);
        }
        if (length != kNullCell) at += length;
    }
}

std::string Recordset::Field(std::string_view name) const {
    std::size_t slot = RequireCurrent();
    int column = FieldIndex(name);
    if (column < 0)
        throw Error(3265, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    return std::string(Cell(slot, column).value_or(""));
}

bool Recordset::IsNull(std::string_view name) const {
    std::size_t slot = RequireCurrent();
    int column = FieldIndex(name);
    if (column < 0)
        throw Error(3265, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    return !Cell(slot, column).has_value();
}

void Recordset::Delete() {
    std::size_t slot = RequireCurrent();
    if (table_.empty()) throw Error(kNotUpdatable, kNotUpdatableText);
    auto connection = connection_.lock();
    if (!connection || !connection->IsOpen()) throw Error(kObjectClosed, kObjectClosedText);
    connection->DeleteRow(table_, Key(slot));
    Forget(slot);
}

void Recordset::Forget(std::size_t slot) {
    const long row = static_cast<long>(live_.LiveBefore(slot));
    live_.Kill(slot);
    if (observer_) observer_->RowRemoved(row);
}

bool Recordset::DeleteWith(const std::function<bool()>& alongside) {
    const std::size_t slot = RequireCurrent();
    if (table_.empty()) throw Error(kNotUpdatable, kNotUpdatableText);
    const auto connection = connection_.lock();
    if (!connection || !connection->IsOpen()) throw Error(kObjectClosed, kObjectClosedText);
    ServerSession* const server = connection->Server();
    // One transaction from the row's lookup to its deletion: on the file it
    // holds the write lock, so no rebuild renumbers the rows in between.
    const bool own = !connection->InBatch();
    if (own && server) connection->BeginBatch();
    if (own && !server) connection->BeginWrite(kDeleteWriteWait);
    try {
        std::optional<std::int64_t> key;
        if (server) {
            if (const std::string locked = LockServerRow(*server, slot); !locked.empty()) key = std::stoll(locked);
        } else {
            key = LocateFileRow(*connection, slot);
        }
        if (!key) throw Error(kRowChanged, kRowChangedText);
        if (!alongside()) {
            if (own) connection->Rollback();
            return false;
        }
        connection->DeleteRow(table_, *key);
        if (own) connection->CommitBatch();
    } catch (...) {
        if (own) connection->Rollback();
        throw;
    }
    Forget(slot);
    return true;
}

std::optional<std::int64_t> Recordset::LocateFileRow(Connection& connection, std::size_t slot) const {
    // A rebuild in another program empties the table and numbers the new
    // rows from 1 again: the set's row id may now be another recording's.
    std::string where;
    for (const std::string& name : names_) where += " and " + name + " is ?";
    for (const std::string& sql : {"select _rowid_ from " + table_ + " where _rowid_ = ?" + where,
                                   "select _rowid_ from " + table_ + " where 1" + where + " limit 1"}) {
        Statement find = connection.Prepare(sql);
        int n = 1;
        if (sql.find("_rowid_ = ?") != std::string::npos) sqlite3_bind_int64(find.get(), n++, Key(slot));
        for (int c = 0; c < FieldCount(); ++c, ++n) {
            const std::optional<std::string_view> value = Cell(slot, c);
            if (value)
                sqlite3_bind_text(find.get(), n, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(find.get(), n);
        }
        const int rc = sqlite3_step(find.get());
        if (rc == SQLITE_ROW) return sqlite3_column_int64(find.get(), 0);
        if (rc != SQLITE_DONE)
            throw Error(sqlite3_extended_errcode(connection.Handle()), sqlite3_errmsg(connection.Handle()));
    }
    return std::nullopt;
}

std::string Recordset::LockServerRow(ServerSession& server, std::size_t slot) const {
    // A row another transaction holds (a scan of its folder under way) is
    // passed over, not waited for: that scan may take minutes.
    const std::string lock = " limit 1 for update skip locked";
    const std::string byKey = server.RunForValue(
        "select " + std::string(kServerKeyColumn) + " from " + table_ + " where " + kServerKeyColumn + " = $1" + lock,
        {std::to_string(Key(slot))});
    if (!byKey.empty() || names_.empty()) return byKey;
    std::string sql = "select " + std::string(kServerKeyColumn) + " from " + table_ + " where ";
    std::vector<std::string> values;
    for (int c = 0; c < FieldCount(); ++c) {
        const std::optional<std::string_view> value = Cell(slot, c);
        sql += (c ? " and " : "") + names_[c];
        if (!value) {
            sql += " is null";
            continue;
        }
        values.emplace_back(*value);
        sql += " = $" + std::to_string(values.size());
    }
    return server.RunForValue(sql + lock, values);
}

std::optional<std::string_view> Recordset::Value(long row, int column) const {
    if (!open_ || row < 0 || column < 0 || column >= FieldCount()) return std::nullopt;
    std::size_t slot = live_.SlotOf(static_cast<std::size_t>(row));
    if (slot >= live_.Slots()) return std::nullopt;
    try {
        return Cell(slot, column);
    } catch (const Error&) {
        return std::nullopt;
    }
}

long Recordset::AbsolutePosition() const {
    if (!open_ || cursor_ < 0 || !live_.IsLive(static_cast<std::size_t>(cursor_))) return 0;
    return static_cast<long>(live_.LiveBefore(static_cast<std::size_t>(cursor_))) + 1;
}

void Recordset::SetAbsolutePosition(long position) {
    RequireOpen();
    if (position < 1 || position > static_cast<long>(live_.Count()))
        throw Error(3001, "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.");
    MoveTo(static_cast<long>(live_.SlotOf(static_cast<std::size_t>(position - 1))));
}

}  // namespace platform::sqlstore
