// The result grid's table model: see recordset_model.h.
#include "recordset_model.h"

#include <algorithm>
#include <climits>

#include <QFont>

#include "player/core/text.h"

namespace player {

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}

RecordsetModel::~RecordsetModel() { Detach(); }

void RecordsetModel::Detach() {
    if (set_) set_->SetObserver(nullptr);
}

void RecordsetModel::Count() {
    const bool open = set_ && set_->IsOpen();
    rows_ = open ? static_cast<int>(std::min<long>(set_->RecordCount(), INT_MAX)) : 0;
    columns_ = open ? set_->FieldCount() : 0;
    fileColumn_ = open ? set_->FieldIndex("FileFullName") : -1;
}

void RecordsetModel::SetRecordset(std::shared_ptr<platform::sqlstore::Recordset> set) {
    beginResetModel();
    Detach();
    set_ = std::move(set);
    if (set_) set_->SetObserver(this);
    Count();
    endResetModel();
}

void RecordsetModel::Reload() {
    beginResetModel();
    Count();
    endResetModel();
}

int RecordsetModel::CurrentRow() const {
    if (!set_ || !set_->IsOpen()) return -1;
    return static_cast<int>(set_->AbsolutePosition()) - 1;
}

int RecordsetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int RecordsetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

void RecordsetModel::MarkPlaying(const std::string& file, const QIcon& mark) {
    if (file == playing_ && mark.cacheKey() == playingMark_.cacheKey()) return;
    playing_ = file;
    playingMark_ = mark;
    if (rows_ > 0 && columns_ > 0)
        emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1), {Qt::FontRole, Qt::DecorationRole});
}

void RecordsetModel::MeasureAsPlaying(bool on, const QIcon& mark) {
    measuring_ = on;
    if (on && playingMark_.isNull()) playingMark_ = mark;
}

bool RecordsetModel::IsPlaying(int row) const {
    if (measuring_) return true;
    if (playing_.empty() || fileColumn_ < 0) return false;
    const auto value = set_->Value(row, fileColumn_);
    return value && text::Trim(*value) == playing_;
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if ((role == Qt::FontRole || (role == Qt::DecorationRole && index.column() == 0)) && set_ && index.isValid()) {
        if (!IsPlaying(index.row())) return {};
        if (role == Qt::DecorationRole) return playingMark_;
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    const bool shown = role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == fileColumn_);
    if (!shown || !set_ || !index.isValid()) return {};
    const auto value = set_->Value(index.row(), index.column());
    if (!value) return {};
    return QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()));
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (!set_ || section < 0 || section >= columns_) return {};
    return QString::fromStdString(set_->FieldName(section));
}

void RecordsetModel::CurrentRowChanged() {
    if (CurrentRowMoved) CurrentRowMoved(CurrentRow());
}

void RecordsetModel::RowRemoved(long row) {
    if (row < 0 || row >= rows_) return Reload();
    removing_ = true;
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
    --rows_;
    endRemoveRows();
    removing_ = false;
    if (CurrentRowMoved) CurrentRowMoved(CurrentRow());
}

void RecordsetModel::Closed() { Reload(); }

}  // namespace player
