// platform/sqlstore: a result set that behaves as the desktop database's
// client-side static cursor did where the player uses one.
//
// Opening runs the statement; later changes to the table do not show. The
// set is open or closed; it has a row count, BOF and EOF,
// MoveFirst/MoveLast/MoveNext/MovePrevious, fields read by name, and
// Delete of the current row, which deletes that row from its table too
// (each row keeps its table's row id, hidden from the fields). After Delete
// the deleted row stays current, without fields, until the next move, which
// skips it: "MovePrevious then MoveNext" lands on the row that followed it,
// as the player's Delete command relies on.
//
// How the rows are fetched. A statement that lists plain columns of one
// table ("select a,b from T where ... order by ...") is opened on a read
// snapshot: a second connection to the same file holds a read transaction
// for as long as the set is open, the row ids are read in the statement's
// order at open (from an index alone where one serves the order), and a
// row's values are read by its row id the first time it is asked for, then
// kept. In WAL mode the snapshot never blocks a writer, and the set sees
// the table exactly as it stood at open whatever is written later. Every
// other statement, a file that is not in WAL mode, an in-memory database,
// and a set opened while its connection holds an open transaction (whose
// rows only that connection sees) fetch all rows at open instead. Either
// way a cell, once read, stays where it is until the set is closed, so the
// views Value hands out stay valid as long as the set is open.
//
// On the shared store (a connection to a server, server_session.h) sets of
// plain columns of one table also read the table's key column, hidden as
// the row id is, so Delete removes the current row by its key. Such a set
// is read on demand too: a reader session of the connection's
// (Connection::TakeReader) declares a scrollable cursor over the statement
// inside a transaction of its own, which fixes the server's snapshot for
// the set's life; the rows are counted there without being sent, and read
// a page of kServerPage rows at a time (the first page at open) as they
// are asked for. A search of a day of every channel thus sends the rows the
// grid shows, not tens of thousands. The price is the open transaction: the
// server keeps the rows other scans replace for as long as a set that may
// read them is open. Every other statement, a set opened while the
// connection holds an open transaction, and a set whose reader cannot be
// had fetch all rows at open, the server's snapshot of that moment.
//
// Other programs change the table while a set is shown: another scan
// replaces the rows with new ones (new keys, the same recordings; on the
// file, new row ids that may be the old ids of other recordings), and a
// recording still being written has grown. DeleteWith removes the current
// row together with what the caller removes alongside (its recording's
// file): the row is found first, by its key or row id when that row still
// holds every value the set shows, else as the table's row that does (the
// same recording indexed again); then the caller's removal runs, and the
// row goes only when that succeeded. All of it is one transaction: on the
// server the row is locked from the start, on the file the transaction
// holds the write lock from the start (waiting a few seconds for another
// writer's commit), so no other program's rebuild can renumber the rows
// between the lookup and the deletion. A row found neither way
// (the recording is no longer indexed as it was shown, or on the server a
// scan of its folder is under way) is kRowChanged and nothing is removed:
// the operator chose the recording as it was shown, and must search again
// to see what it is now.
//
// Errors are raised as Error with the old cursor's numbers: moving past
// EOF or BOF, or reading fields with no current row, is 3021; using a
// closed set is 3704; deleting from a set that is not one table's rows is
// 3251; a row the shared table no longer holds as shown is kRowChanged.
//
// The result grid and the play list bind to one set: Value(row, column)
// and AbsolutePosition give random access for a table model, and an
// observer hears when the current row moves or a row goes. A set is used
// from one thread at a time (reading a row fills its cache).
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

class Recordset {
public:
    Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;
    ~Recordset();

    // Runs a statement of the old dialect on `connection` (or on a snapshot
    // of its file, see above); positioned on the first row (BOF and EOF when
    // none). Throws Error; the set then stays closed.
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
    // Deletes the current row with what `alongside` removes (see above):
    // false, and the row kept, when `alongside` returned false. Throws
    // Error (kRowChanged: `alongside` did not run).
    bool DeleteWith(const std::function<bool()>& alongside);
    bool CanDelete() const { return !table_.empty(); }

    // For a grid: columns, and any live row by position (nothing for a row
    // that cannot be read: a closed set, a position past the end, a failed
    // read of the snapshot).
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
