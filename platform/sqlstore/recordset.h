// platform/sqlstore: a result set, the static cursor the player searches
// with: open or closed, a row count, BOF and EOF, the four moves, fields by
// name, Delete of the current row. The result grid and the play list bind
// to one set; where the statement allows, its rows are read on demand from
// a snapshot, so a large result costs only the rows read. How, and what it
// costs: docs/design.md ("The result set").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet_sql.h"
#include "live_rows.h"
#include "server_session.h"

struct sqlite3_stmt;
struct pg_result;

namespace platform::sqlstore {

class Connection;
class ServerSession;

inline constexpr int kRowChanged = 3167;
inline constexpr const char* kRowChangedText =
    "The recording's row was changed in the record index by another scan since the search; nothing was deleted. "
    "Search again.";

class RecordsetObserver {
public:
    virtual ~RecordsetObserver() = default;
    virtual void CurrentRowChanged() {}
    // `row` is the 0-based position the row had among the live rows.
    virtual void RowRemoved(long row) { (void)row; }
    virtual void Closed() {}
};

// Errors are raised as Error with the store's numbers: moving past EOF or
// BOF, or reading fields with no current row, is 3021; using a closed set
// is 3704; deleting from a set that is not one table's rows is 3251; a row
// the shared table no longer holds as shown is kRowChanged. A set is used
// from one thread at a time (reading a row fills its cache).
class Recordset {
public:
    Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;
    ~Recordset();

    // Runs one of the player's statements (jet_sql.h) on `connection`, or on
    // a snapshot of its file or a reader session of its server (see
    // docs/design.md); positioned on the first row (BOF and EOF when none).
    // Later changes to the table do not show. Throws Error; the set then
    // stays closed.
    void Open(std::string_view jetSql, const std::shared_ptr<Connection>& connection);
    void Close();
    bool IsOpen() const { return open_; }

    long RecordCount() const;  // live rows; -1 when closed
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
    // Deletes the current row from its table too (each row keeps its table's
    // row id, or on the server its key, hidden from the fields). The deleted
    // row stays current, without fields, until the next move, which skips
    // it: "MovePrevious then MoveNext" lands on the row that followed it, as
    // the player's Delete command relies on.
    void Delete();
    // Deletes the current row together with what `alongside` removes (its
    // recording's file), while other programs may have replaced the table's
    // rows since the set was opened (another scan: new keys for the same
    // recordings; on the file, new row ids that may be the earlier ids of
    // other recordings) or a recording still being written has grown. The
    // row is found first, by its key or row id when that row still holds
    // every value the set shows, else as the table's row that does (the
    // same recording indexed again); then `alongside` runs, and the row goes
    // only when it succeeded. All of it is one transaction: on the server
    // the row is locked from the start, on the file the transaction holds
    // the write lock from the start (waiting a few seconds for another
    // writer's commit), so no rebuild can renumber the rows between the
    // lookup and the deletion. A row found neither way (the recording is no
    // longer indexed as it was shown, or on the server a scan of its folder
    // is under way) is kRowChanged and nothing is removed: the operator
    // chose the recording as it was shown, and must search again to see
    // what it is now. False, and the row kept, when `alongside` returned
    // false. Throws Error (kRowChanged: `alongside` did not run).
    bool DeleteWith(const std::function<bool()>& alongside);
    bool CanDelete() const { return !table_.empty(); }

    // For a grid: columns, and any live row by position (nothing for a row
    // that cannot be read: a closed set, a position past the end, a failed
    // read of the snapshot). A cell, once read, stays where it is until the
    // set is closed, so the views Value hands out stay valid while it is open.
    int FieldCount() const { return static_cast<int>(names_.size()); }
    const std::string& FieldName(int column) const { return names_.at(column); }
    int FieldIndex(std::string_view name) const;  // -1 when unknown
    std::optional<std::string_view> Value(long row, int column) const;
    // 1-based position of the current live row; 0 when none is current.
    long AbsolutePosition() const;
    void SetAbsolutePosition(long position);

    void SetObserver(RecordsetObserver* observer) { observer_ = observer; }

    // True when rows are read on demand from a snapshot, false when all were
    // fetched at open. For tests and measurements.
    bool ReadsOnDemand() const { return snapshot_ != nullptr; }

private:
    struct Snapshot;

    void Clear();
    void RequireOpen() const;
    std::size_t RequireCurrent() const;
    bool OpenOnSnapshot(const std::string& sql, const std::shared_ptr<Connection>& connection);
    void OpenFetchingAll(const std::string& sql, const std::shared_ptr<Connection>& connection);
    void OpenOnServer(std::string_view jetSql, const std::shared_ptr<Connection>& connection);
    bool OpenServerCursor(const RowIdSelect& keyed, const ServerStatement& statement,
                          const std::shared_ptr<Connection>& connection);
    // The rows of the reader's cursor from `first` (0-based) on, a page of
    // them; stored into their slots, each with its key.
    static ServerResult FetchServerPage(ServerSession& reader, std::size_t first);
    void StoreServerPage(const pg_result* page, std::size_t first) const;
    // The slot's row id or key (read with its row when not read yet).
    std::int64_t Key(std::size_t slot) const;
    // Room for a row of `bytes` in the cell store, which never moves.
    char* Reserve(std::size_t bytes) const;
    // Stores row `row` of a server's result (columns from `first` on).
    const char* StoreServerRow(const pg_result* result, int row, int first) const;
    // The slot's cells, read from the snapshot on first use; throws Error.
    const char* Row(std::size_t slot) const;
    // Copies the current row of `statement` (columns from `first` on) into
    // the cell store and returns where it starts.
    const char* StoreRow(sqlite3_stmt* statement, int first) const;
    // Packs a row's cells (nothing for NULL) into the cell store; both
    // stores' rows go through it.
    const char* StoreCells(const std::vector<std::optional<std::string_view>>& cells) const;
    std::optional<std::string_view> Cell(std::size_t slot, int column) const;
    void MoveTo(long cursor);
    // The slot's row leaves the live rows; the observer hears of it.
    void Forget(std::size_t slot);
    // On the server: the key of the table's row the slot shows, locked for
    // the open transaction; "" when it is not there as shown.
    std::string LockServerRow(ServerSession& server, std::size_t slot) const;
    // On the file: the row id of the table's row the slot shows; nothing
    // when it is not there as shown. Throws Error.
    std::optional<std::int64_t> LocateFileRow(Connection& connection, std::size_t slot) const;

    bool open_ = false;
    std::weak_ptr<Connection> connection_;
    std::string table_;  // empty: the rows cannot be deleted
    std::vector<std::string> names_;
    std::unique_ptr<Snapshot> snapshot_;  // null when every row was fetched at open
    mutable std::vector<std::int64_t> rowIds_;  // per slot; empty when the rows cannot be deleted nor read later
    // Per slot: where its cells lie in the store (null until read). A row's
    // cells are, column by column, a 4-byte length (all ones for NULL) and
    // the text. The store grows in blocks that never move.
    mutable std::vector<const char*> rows_;
    mutable std::vector<std::unique_ptr<char[]>> blocks_;
    mutable std::vector<std::optional<std::string_view>> cells_;  // the row being stored
    mutable std::size_t blockBytes_ = 0;  // bytes in blocks_ altogether
    mutable char* free_ = nullptr;
    mutable std::size_t freeBytes_ = 0;
    LiveRows live_;
    long cursor_ = -1;  // slot; -1 before the first, Slots() after the last
    RecordsetObserver* observer_ = nullptr;
};

}  // namespace platform::sqlstore
