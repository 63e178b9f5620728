// The result grid's table model: see recordset_model.h.
#include "recordset_model.h"

#include <algorithm>
#include <climits>
#include <map>
#include <vector>

#include <QFont>

#include "player/core/notes/notes_store.h"
#include "player/core/process_state.h"
#include "player/core/run_log.h"
#include "player/core/run_error.h"
#include "player/core/text.h"

namespace player {

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}

RecordsetModel::~RecordsetModel() { Detach(); }

void RecordsetModel::Detach() {
    if (set_) set_->SetObserver(nullptr);
}

void RecordsetModel::Count() {
    marks_.clear();
    marksFailed_ = false;
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

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_ + (MarksColumn() >= 0 ? 1 : 0);
}

std::string RecordsetModel::FileOf(int row) const {
    if (!set_ || fileColumn_ < 0 || row < 0 || row >= rows_) return {};
    const auto value = set_->Value(row, fileColumn_);
    return value ? text::Trim(*value) : std::string();
}

void RecordsetModel::ForgetMarks() {
    marks_.clear();
    if (rows_ > 0 && MarksColumn() >= 0)
        emit dataChanged(index(0, MarksColumn()), index(rows_ - 1, MarksColumn()), {Qt::DisplayRole, Qt::ToolTipRole});
}

namespace {

constexpr unsigned kNote = 1, kTags = 2, kBookmarks = 4, kHold = 8;
constexpr int kMarksPage = 200;  // rows whose marks one read brings

}  // namespace

// "✎ # ⚑ ⚖" for a note, tags, bookmarks and a hold; the tool tip in words.
QVariant RecordsetModel::Marks(int row, int role) const {
    if (!marks_.count(row) && Process().IsExiting) return {};  // the index is closed for good
    if (!marks_.count(row)) {
        const int first = row / kMarksPage * kMarksPage, last = std::min(rows_, first + kMarksPage);
        std::vector<std::string> paths;
        for (int r = first; r < last; ++r) paths.push_back(FileOf(r));
        std::map<std::string, AnnotationMarks> found;
        try {
            found = MarksOf(paths);
        } catch (const std::exception& e) {  // an index without notes, or out of reach: no marks
            if (!marksFailed_) WriteRunLog("!MarksOf " + Describe(e));
            marksFailed_ = true;  // once a listing
        }
        for (int r = first; r < last; ++r) {
            const auto m = found.find(paths[static_cast<std::size_t>(r - first)]);
            marks_[r] = m == found.end() ? 0u
                                         : (m->second.note ? kNote : 0u) | (m->second.tags ? kTags : 0u) |
                                               (m->second.bookmarks ? kBookmarks : 0u) | (m->second.hold ? kHold : 0u);
        }
    }
    const unsigned m = marks_[row];
    QStringList shown;
    const bool words = role == Qt::ToolTipRole;
    if (m & kNote) shown << (words ? "a note" : QString::fromUtf8("\u270e"));
    if (m & kTags) shown << (words ? "tags" : "#");
    if (m & kBookmarks) shown << (words ? "bookmarks" : QString::fromUtf8("\u2691"));
    if (m & kHold) shown << (words ? "on hold" : QString::fromUtf8("\u2696"));
    if (shown.isEmpty()) return {};
    return words ? shown.join(", ") : shown.join(" ");
}

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
    if (set_ && index.isValid() && index.column() == MarksColumn())
        return role == Qt::DisplayRole || role == Qt::ToolTipRole ? Marks(index.row(), role) : QVariant();
    const bool shown = role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == fileColumn_);
    if (!shown || !set_ || !index.isValid()) return {};
    const auto value = set_->Value(index.row(), index.column());
    if (!value) return {};
    return QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()));
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (set_ && section == MarksColumn()) return QString("Notes");
    if (!set_ || section < 0 || section >= columns_) return {};
    return QString::fromStdString(set_->FieldName(section));
}

void RecordsetModel::CurrentRowChanged() {
    if (CurrentRowMoved) CurrentRowMoved(CurrentRow());
}

void RecordsetModel::RowRemoved(long row) {
    if (row < 0 || row >= rows_) return Reload();
    marks_.clear();  // the rows after it move up
    removing_ = true;
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
    --rows_;
    endRemoveRows();
    removing_ = false;
    if (CurrentRowMoved) CurrentRowMoved(CurrentRow());
}

void RecordsetModel::Closed() { Reload(); }

}  // namespace player
