// player/window: the result grid, DataGrid1, bound to a result set: a
// caption bar over a table whose current row and the set's current record
// are one thing. It reads only the rows on screen and sizes its columns
// from the first rows, so a set of 100 000 rows binds and scrolls quickly;
// docs/design.md ("The grid is the result set").
#pragma once

#include <QLabel>
#include <QTableView>
#include <QWidget>

#include <functional>
#include <memory>

#include "recordset_model.h"

namespace player {

class DataGrid : public QWidget {
public:
    explicit DataGrid(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return caption_->text(); }

    // Binds the grid to a result set (rsResult); Refresh reads it again.
    // Selecting a row moves the set (SetAbsolutePosition), and a move of the
    // set (MoveNext, MoveLast, a deletion) selects and shows its row; a
    // guard keeps the two from chasing each other.
    void SetDataSource(std::shared_ptr<platform::sqlstore::Recordset> set);
    void Refresh();

    QTableView* View() const { return view_; }
    RecordsetModel* Model() const { return model_; }
    int Columns() const { return model_->columnCount(); }
    // Width of a column in twips (1/1440 inch), the unit frmMain's
    // SetGridMainWidth gives its widths in.
    void SetColumnWidthTwips(int column, int twips);

    // Called with the column whose heading was clicked. The grid does not
    // sort its rows itself, since the set's order is the play list's;
    // whoever asks for the rows again shows the order (ShowSortOrder).
    std::function<void(int column)> HeadingClicked;
    // The arrow on a heading: column -1 shows none.
    void ShowSortOrder(int column, Qt::SortOrder order);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowCurrentRow(int row);
    void MoveSetTo(const QModelIndex& current);
    void SizeColumns();
    void GiveSpareWidth();

    QLabel* caption_;
    QTableView* view_;
    RecordsetModel* model_;
    int fileWidth_ = 0;  // FileFullName's width before the spare is added
    bool sizing_ = false;
    bool syncing_ = false;
};

}  // namespace player
