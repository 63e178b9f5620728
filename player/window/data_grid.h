// player/window: the result grid, DataGrid1, bound to a result set.
//
// A caption bar over a table. SetDataSource binds the grid to a result set
// (rsResult) and Refresh reads it again, as the bound grid of the desktop
// did. The grid's current row and the set's current record are one thing:
// selecting a row in the table moves the set (SetAbsolutePosition), and
// moving the set (MoveNext, MoveLast, a deletion) selects and shows its
// row in the table; a guard keeps the two from chasing each other.
//
// Rows are one line high and fixed. Every new set sizes the columns again,
// from their headings and the first rows only, so binding and scrolling a
// set of 100 000 rows stays quick; the rows are measured as the row being
// played is drawn (bold, with the play mark), so that row is never cut. The width the columns leave over goes
// to FileFullName, the one column whose texts run long, whenever the grid
// changes width; its cells elide at the left and show the whole path as
// their tool tip.
//
// A click on a heading is handed to HeadingClicked; the grid does not sort
// its rows itself, since the set's order is the play list's. Whoever asks
// for the rows again shows the order on the heading (ShowSortOrder).
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

    void SetDataSource(std::shared_ptr<platform::sqlstore::Recordset> set);
    void Refresh();

    QTableView* View() const { return view_; }
    RecordsetModel* Model() const { return model_; }
    int Columns() const { return model_->columnCount(); }
    // Width of a column in twips, the unit the old grid's widths are given in.
    void SetColumnWidthTwips(int column, int twips);

    // Called with the column whose heading was clicked.
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
