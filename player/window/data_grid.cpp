// The result grid: see data_grid.h.
#include "data_grid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QVBoxLayout>

#include <exception>

namespace player {

DataGrid::DataGrid(QWidget* parent)
    : QWidget(parent), caption_(new QLabel(this)), view_(new QTableView(this)), model_(new RecordsetModel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    caption_->setObjectName("caption");
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setAutoFillBackground(true);
    caption_->setBackgroundRole(QPalette::Mid);
    caption_->setForegroundRole(QPalette::BrightText);
    caption_->setMargin(4);
    QFont bold = caption_->font();
    bold.setBold(true);
    caption_->setFont(bold);
    layout->addWidget(caption_);
    layout->addWidget(view_, 1);

    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setAlternatingRowColors(true);
    view_->setWordWrap(false);
    view_->setTextElideMode(Qt::ElideLeft);  // a path keeps its end: the folder and the file
    view_->setCornerButtonEnabled(false);
    QHeaderView* rows = view_->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    rows->setVisible(false);
    QHeaderView* columns = view_->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setStretchLastSection(true);
    columns->setResizeContentsPrecision(200);  // headings and the first rows, never all of them
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    model_->CurrentRowMoved = [this](int row) { ShowCurrentRow(row); };
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { MoveSetTo(current); });
}

void DataGrid::SetCaption(const QString& caption) { caption_->setText(caption); }

void DataGrid::SetDataSource(std::shared_ptr<platform::sqlstore::Recordset> set) {
    model_->SetRecordset(std::move(set));
    SizeColumnsIfNew();
    ShowCurrentRow(model_->CurrentRow());
}

void DataGrid::Refresh() {
    model_->Reload();
    SizeColumnsIfNew();
    ShowCurrentRow(model_->CurrentRow());
}

void DataGrid::SetColumnWidthTwips(int column, int twips) {
    view_->setColumnWidth(column, twips * logicalDpiX() / 1440);
}

void DataGrid::SizeColumnsIfNew() {
    QStringList names;
    for (int c = 0; c < model_->columnCount(); ++c) names << model_->headerData(c, Qt::Horizontal).toString();
    if (names == sizedFor_ || model_->rowCount() == 0) return;
    sizedFor_ = names;
    view_->resizeColumnsToContents();
    const int widest = view_->fontMetrics().averageCharWidth() * 60;
    for (int c = 0; c < model_->columnCount(); ++c)
        if (view_->columnWidth(c) > widest) view_->setColumnWidth(c, widest);
}

// The set moved: its row becomes the table's current row, in view.
void DataGrid::ShowCurrentRow(int row) {
    if (syncing_) return;
    syncing_ = true;
    QItemSelectionModel* selection = view_->selectionModel();
    if (row < 0 || row >= model_->rowCount()) {
        selection->clear();
    } else {
        const int column = std::max(view_->currentIndex().column(), 0);
        const QModelIndex index = model_->index(row, column);
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view_->scrollTo(index);
    }
    syncing_ = false;
}

// The table's current row moved (a click, the arrow keys): the set follows.
void DataGrid::MoveSetTo(const QModelIndex& current) {
    if (syncing_ || model_->Removing() || !current.isValid()) return;
    const auto& set = model_->Recordset();
    if (!set || !set->IsOpen() || set->AbsolutePosition() == current.row() + 1) return;
    syncing_ = true;
    try {
        set->SetAbsolutePosition(current.row() + 1);
    } catch (const std::exception&) {
        // A row that went away meanwhile: the set stays where it was.
    }
    syncing_ = false;
}

}  // namespace player
