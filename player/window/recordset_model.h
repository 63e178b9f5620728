// player/window: a Qt table model over the player's result set.
//
// The result grid shows rsResult, the static result set of the last search
// (platform/sqlstore/recordset.h): the columns in statement order, headed
// by their names, one table row per live row of the set. Cells are read
// on demand through Value(row, column), so a set of 100 000 rows costs the
// view only the rows it paints. A FileFullName cell carries the whole path
// as its tool tip, for a column too narrow to show it.
//
// After the set's columns comes one of the model's own, "Notes": a mark for
// each kind of thing reviewers wrote about the row's recording (a note,
// tags, bookmarks, a hold), read from the index a page of rows at a time as
// the view asks for them and named in words in its tool tip.
//
// The model listens to the set. When a row of the set is deleted the
// table loses that row; when the set is closed the table empties; when the
// set's current record moves the model reports the new row through
// CurrentRowMoved, which the grid turns into its own current row.
//
// The set tells its listener after the fact, so the model keeps its own row
// count and lowers it between beginRemoveRows and endRemoveRows, as a Qt
// model must.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/sqlstore/recordset.h"

namespace player {

class RecordsetModel : public QAbstractTableModel, private platform::sqlstore::RecordsetObserver {
public:
    explicit RecordsetModel(QObject* parent = nullptr);
    ~RecordsetModel() override;

    // Shows `set` (null or closed: an empty table) and listens to it.
    void SetRecordset(std::shared_ptr<platform::sqlstore::Recordset> set);
    const std::shared_ptr<platform::sqlstore::Recordset>& Recordset() const { return set_; }
    // Reads the set again from scratch, as a grid's Refresh does.
    void Reload();

    // Called with the 0-based row of the set's new current record, or -1
    // when it has none (before the first, after the last, a deleted row).
    std::function<void(int row)> CurrentRowMoved;
    // The 0-based table row of the set's current record, or -1.
    int CurrentRow() const;
    // True while rows are being taken out of the table: a view that moves
    // its own current row meanwhile is following the table, not the user.
    bool Removing() const { return removing_; }
    // The FileFullName column, or -1 when the set has none.
    int FileColumn() const { return fileColumn_; }
    // The "Notes" column after the set's, or -1 (a set without FileFullName).
    int MarksColumn() const { return fileColumn_ < 0 ? -1 : columns_; }
    // The row's recording (FileFullName, trimmed), or "".
    std::string FileOf(int row) const;
    // Reads the marks again (after something was written about a recording).
    void ForgetMarks();
    // The recording being played ("" when none): every row of that file is
    // drawn bold, with `mark` before its first cell.
    void MarkPlaying(const std::string& file, const QIcon& mark);
    // While on, every row is drawn as the row being played, with `mark`:
    // columns sized meanwhile leave room for the bold text and the mark of
    // whichever row plays later.
    void MeasureAsPlaying(bool on, const QIcon& mark);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void CurrentRowChanged() override;
    void RowRemoved(long row) override;
    void Closed() override;
    void Detach();
    void Count();
    bool IsPlaying(int row) const;
    QVariant Marks(int row, int role) const;

    std::shared_ptr<platform::sqlstore::Recordset> set_;
    int rows_ = 0;
    int columns_ = 0;
    int fileColumn_ = -1;
    bool removing_ = false;
    bool measuring_ = false;
    std::string playing_;
    QIcon playingMark_;
    // Marks of the rows read so far, by row: bit 0 note, 1 tags, 2
    // bookmarks, 3 hold; read a page at a time.
    mutable std::unordered_map<int, unsigned> marks_;
    mutable bool marksFailed_ = false;
};

}  // namespace player
