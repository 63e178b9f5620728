// The result grid: see data_grid.h.
#include "data_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
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
    view_->setTabKeyNavigation(false);  // Tab leaves the grid; the arrows walk it
    QHeaderView* rows = view_->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    rows->setVisible(false);
    QHeaderView* columns = view_->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);  // the spare width is FileFullName's, not CallDirection's
    columns->setResizeContentsPrecision(200);  // headings and the first rows, never all of them
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(true);  // also leaves room for the arrow in every heading's width
    columns->setSortIndicator(-1, Qt::AscendingOrder);

    model_->CurrentRowMoved = [this](int row) { ShowCurrentRow(row); };
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { MoveSetTo(current); });
    connect(columns, &QHeaderView::sectionClicked, this, [this](int column) {
        if (HeadingClicked) HeadingClicked(column);
    });
    // A path widened by hand keeps its width; the spare comes on top of it.
    connect(columns, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!sizing_ && column == model_->FileColumn()) fileWidth_ = width;
    });
    view_->viewport()->installEventFilter(this);
}

void DataGrid::SetCaption(const QString& caption) { caption_->setText(caption); }

void DataGrid::SetDataSource(std::shared_ptr<platform::sqlstore::Recordset> set) {
    model_->SetRecordset(std::move(set));
    SizeColumns();
    ShowCurrentRow(model_->CurrentRow());
}

void DataGrid::Refresh() {
    model_->Reload();
    ShowCurrentRow(model_->CurrentRow());
}

void DataGrid::ShowSortOrder(int column, Qt::SortOrder order) {
    view_->horizontalHeader()->setSortIndicator(column, order);
}

void DataGrid::SetColumnWidthTwips(int column, int twips) {
    view_->setColumnWidth(column, twips * logicalDpiX() / 1440);
}

// Each column as wide as its heading and its first rows drawn as the row
// being played, bold with the play mark (no wider than 60 characters), so
// the row that plays is not cut; FileFullName then takes what the others
// leave, at least 30 characters of its paths: the other columns stay in
// view, and a longer path shows its end, the file's name.
void DataGrid::SizeColumns() {
    sizing_ = true;
    model_->MeasureAsPlaying(true, style()->standardIcon(QStyle::SP_MediaPlay));
    view_->resizeColumnsToContents();
    model_->MeasureAsPlaying(false, {});
    const int character = view_->fontMetrics().averageCharWidth();
    for (int c = 0; c < model_->columnCount(); ++c)
        if (view_->columnWidth(c) > 60 * character) view_->setColumnWidth(c, 60 * character);
    sizing_ = false;
    const int file = model_->FileColumn();
    fileWidth_ = file < 0 ? 0 : std::min(view_->columnWidth(file), 30 * character);
    GiveSpareWidth();
}

void DataGrid::GiveSpareWidth() {
    const int file = model_->FileColumn();
    if (file < 0) return;
    int others = 0;
    for (int c = 0; c < model_->columnCount(); ++c)
        if (c != file) others += view_->columnWidth(c);
    sizing_ = true;
    view_->setColumnWidth(file, std::max(fileWidth_, view_->viewport()->width() - others));
    sizing_ = false;
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_->viewport() && event->type() == QEvent::Resize) GiveSpareWidth();
    return QWidget::eventFilter(watched, event);
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
