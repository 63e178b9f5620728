// platform/sqlstore: a result set that behaves as the desktop database's
// client-side static cursor did where the player uses one.
//
// Opening runs the statement and fetches every row at once; later changes
// to the table do not show. The set is open or closed; it has a row count,
// BOF and EOF, MoveFirst/MoveLast/MoveNext/MovePrevious, fields read by
// name, and Delete of the current row, which deletes that row from its
// table too (each row keeps its table's row id, hidden from the fields).
// After Delete the deleted row stays current, without fields, until the
// next move, which skips it: "MovePrevious then MoveNext" lands on the row
// that followed it, as the player's Delete command relies on.
//
// Errors are raised as Error with the old cursor's numbers: moving past
// EOF or BOF, or reading fields with no current row, is 3021; using a
// closed set is 3704; deleting from a set that is not one table's rows is
// 3251.
//
// The result grid and the play list bind to one set: Value(row, column)
// and AbsolutePosition give random access for a table model, and an
// observer hears when the current row moves or a row goes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "live_rows.h"

namespace platform::sqlstore {

class Connection;

class RecordsetObserver {
public:
    virtual ~RecordsetObserver() = default;
    virtual void CurrentRowChanged() {}
    // `row` is the 0-based position the row had among the live rows.
    virtual void RowRemoved(long row) { (void)row; }
    virtual void Closed() {}
};

class Recordset {
public:
    Recordset() = default;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs a statement of the old dialect on `connection` and fetches all
    // its rows; positioned on the first row (BOF and EOF when none). Throws
    // Error; the set then stays closed.
    void Open(std::string_view jetSql, const std::shared_ptr<Connection>& connection);
    void Close();
    bool IsOpen() const { return open_; }

    long RecordCount() const;  // live rows; -1 when closed, as the old cursor said
    bool Bof() const;
    bool Eof() const;
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();

    // The current row's field; "" for a NULL. Throws Error (3021, or 3265
    // for an unknown name).
    std::string Field(std::string_view name) const;
    bool IsNull(std::string_view name) const;
    void Delete();
    bool CanDelete() const { return !table_.empty(); }

    // For a grid: columns, and any live row by position.
    int FieldCount() const { return static_cast<int>(names_.size()); }
    const std::string& FieldName(int column) const { return names_.at(column); }
    int FieldIndex(std::string_view name) const;  // -1 when unknown
    std::optional<std::string_view> Value(long row, int column) const;
    // 1-based position of the current live row; 0 when none is current.
    long AbsolutePosition() const;
    void SetAbsolutePosition(long position);

    void SetObserver(RecordsetObserver* observer) { observer_ = observer; }

private:
    void RequireOpen() const;
    std::size_t RequireCurrent() const;
    std::optional<std::string_view> Cell(std::size_t slot, int column) const;
    void MoveTo(long cursor);

    bool open_ = false;
    std::weak_ptr<Connection> connection_;
    std::string table_;  // empty: the rows cannot be deleted
    std::vector<std::string> names_;
    std::string text_;                 // every cell's text, one after another
    std::vector<std::size_t> offsets_; // slot*columns+column -> start in text_; one more at the end
    std::vector<bool> nulls_;
    std::vector<std::int64_t> rowIds_;
    LiveRows live_;
    long cursor_ = -1;  // slot; -1 before the first, Slots() after the last
    RecordsetObserver* observer_ = nullptr;
};

}  // namespace platform::sqlstore
