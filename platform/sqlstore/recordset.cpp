// The client-side static result set: see recordset.h.
#include "recordset.h"

#include <sqlite3.h>

#include "connection.h"
#include "error.h"

namespace platform::sqlstore {

void Recordset::Open(std::string_view jetSql, const std::shared_ptr<Connection>& connection) {
    if (open_) throw Error(3705, "Operation is not allowed when the object is open.");
    if (!connection || !connection->IsOpen()) throw Error(kObjectClosed, kObjectClosedText);
    const std::string sql = Translate(jetSql, connection->Kinds());

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
    std::vector<std::string> names;
    for (int c = first; c < columns; ++c) names.emplace_back(sqlite3_column_name(s, c));
    std::string text;
    std::vector<std::size_t> offsets;
    std::vector<bool> nulls;
    std::vector<std::int64_t> rowIds;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        if (first) rowIds.push_back(sqlite3_column_int64(s, 0));
        for (int c = first; c < columns; ++c) {
            const unsigned char* v = sqlite3_column_text(s, c);
            offsets.push_back(text.size());
            nulls.push_back(v == nullptr);
            if (v) text.append(reinterpret_cast<const char*>(v), static_cast<std::size_t>(sqlite3_column_bytes(s, c)));
        }
    }
    if (rc != SQLITE_DONE) throw Error(sqlite3_extended_errcode(connection->Handle()), sqlite3_errmsg(connection->Handle()));
    offsets.push_back(text.size());

    const std::size_t rows = names.empty() ? 0 : (offsets.size() - 1) / names.size();
    connection_ = connection;
    table_ = std::move(table);
    names_ = std::move(names);
    text_ = std::move(text);
    offsets_ = std::move(offsets);
    nulls_ = std::move(nulls);
    rowIds_ = std::move(rowIds);
    live_ = LiveRows(rows);
    cursor_ = rows ? 0 : -1;
    open_ = true;
}

void Recordset::Close() {
    if (!open_) return;
    open_ = false;
    connection_.reset();
    table_.clear();
    names_.clear();
    text_.clear();
    text_.shrink_to_fit();
    offsets_ = {};
    nulls_ = {};
    rowIds_ = {};
    live_ = LiveRows();
    cursor_ = -1;
    if (observer_) observer_->Closed();
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
    std::size_t i = slot * names_.size() + static_cast<std::size_t>(column);
    if (nulls_[i]) return std::nullopt;
    return std::string_view(text_).substr(offsets_[i], offsets_[i + 1] - offsets_[i]);
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
    connection->DeleteRow(table_, rowIds_[slot]);
    long row = static_cast<long>(live_.LiveBefore(slot));
    live_.Kill(slot);
    if (observer_) observer_->RowRemoved(row);
}

std::optional<std::string_view> Recordset::Value(long row, int column) const {
    if (!open_ || row < 0 || column < 0 || column >= FieldCount()) return std::nullopt;
    std::size_t slot = live_.SlotOf(static_cast<std::size_t>(row));
    if (slot >= live_.Slots()) return std::nullopt;
    return Cell(slot, column);
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
