// player/window: the result grid, DataGrid1, bound to a result set.
//
// A caption bar over a table. SetDataSource binds the grid to a result set
// (rsResult) and Refresh reads it again, as the bound grid of the desktop
// did. The grid's current row and the set's current record are one thing:
// selecting a row in the table moves the set (SetAbsolutePosition), and
// moving the set (MoveNext, MoveLast, a deletion) selects and shows its
// row in the table; a guard keeps the two from chasing each other.
//
// Rows are one line high and fixed, and columns are sized from their
// headings and the first rows only, so binding and scrolling a set of
// 100 000 rows stays quick. The widths are sized when the columns change,
// not on every search, so a column the operator widened stays wide.
#pragma once

#include <QLabel>
#include <QStringList>
#include <QTableView>
#include <QWidget>

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

private:
    void ShowCurrentRow(int row);
    void MoveSetTo(const QModelIndex& current);
    void SizeColumnsIfNew();

    QLabel* caption_;
    QTableView* view_;
    RecordsetModel* model_;
    QStringList sizedFor_;
    bool syncing_ = false;
};

}  // namespace player
