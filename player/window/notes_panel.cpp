// The notes panel (notes_panel.h): four columns -- the note, the tags with
// the hold, the bookmarks -- over the notes' store; each edit stores at
// once what changed and draws the panel again from the store.
#include "notes_panel.h"

#include <QCompleter>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QShortcut>
#include <QStringListModel>
#include <QTimer>

#include <algorithm>
#include <set>

#include "player/core/playback/durations.h"
#include "player/core/index/site_login.h"
#include "player/core/process_state.h"
#include "player/core/run_error.h"
#include "player/core/run_log.h"
#include "player/core/text.h"

namespace player {
namespace {

constexpr const char* kNewBookmark = "Bookmark";
constexpr int kSecondRole = Qt::UserRole, kTimeRole = Qt::UserRole + 1;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Completes the word being typed (the last one) from the tags in use, and
// keeps the words before it.
class LastWordCompleter : public QCompleter {
public:
    using QCompleter::QCompleter;
    QStringList splitPath(const QString& path) const override { return {path.section(' ', -1)}; }
    QString pathFromIndex(const QModelIndex& index) const override {
        const QString typed = static_cast<QLineEdit*>(widget())->text();
        const qsizetype blank = typed.lastIndexOf(' ');
        return typed.left(blank + 1) + index.data().toString();
    }
};

std::set<std::string> Words(const QString& text) {
    std::set<std::string> words;
    for (const QString& w : text.split(' ', Qt::SkipEmptyParts)) words.insert(w.toStdString());
    return words;
}

}  // namespace

NotesPanel::NotesPanel(QWidget* parent) : QGroupBox("Notes", parent) {
    setObjectName("framNotes");
    auto* columns = new QHBoxLayout(this);
    columns->setSpacing(8);

    txtNote = new QPlainTextEdit(this);
    txtNote->setObjectName("txtNote");
    txtNote->setPlaceholderText("What was heard (saved on leaving the field or Ctrl+S)");
    txtNote->setTabChangesFocus(true);
    txtNote->installEventFilter(this);
    auto* save = new QShortcut(QKeySequence::Save, txtNote, nullptr, nullptr, Qt::WidgetShortcut);
    connect(save, &QShortcut::activated, this, [this] { SaveNote(); });
    columns->addWidget(txtNote, 3);

    auto* fields = new QFormLayout;
    fields->setContentsMargins(0, 0, 0, 0);
    txtTags = new QLineEdit(this);
    txtTags->setObjectName("txtTags");
    txtTags->setPlaceholderText("words, blank between");
    tagWords_ = new QStringListModel(this);
    auto* completer = new LastWordCompleter(tagWords_, txtTags);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    txtTags->setCompleter(completer);
    connect(txtTags, &QLineEdit::editingFinished, this, [this] { SaveTags(); });
    fields->addRow("Tags", txtTags);
    txtHoldReason = new QLineEdit(this);
    txtHoldReason->setObjectName("txtHoldReason");
    txtHoldReason->setPlaceholderText("reason for a legal hold");
    cmdHold = new QPushButton("Place Hold", this);
    cmdHold->setObjectName("cmdHold");
    connect(cmdHold, &QPushButton::clicked, this, [this] { OnHold(); });
    connect(txtHoldReason, &QLineEdit::returnPressed, cmdHold, &QPushButton::click);
    auto* hold = new QHBoxLayout;
    hold->setSpacing(4);
    hold->addWidget(txtHoldReason, 1);
    hold->addWidget(cmdHold);
    fields->addRow("Hold", hold);
    lblHold = new QLabel(this);
    lblHold->setObjectName("lblHold");
    lblHold->setWordWrap(true);
    fields->addRow(QString(), lblHold);
    columns->addLayout(fields, 2);

    lstBookmarks = new QListWidget(this);
    lstBookmarks->setObjectName("lstBookmarks");
    lstBookmarks->setToolTip("Ctrl+B adds one at the play position; a click plays from it; F2 renames, Delete removes");
    lstBookmarks->setEditTriggers(QAbstractItemView::EditKeyPressed);
    lstBookmarks->installEventFilter(this);
    connect(lstBookmarks, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (PlayFrom) PlayFrom(item->data(kSecondRole).toLongLong());
    });
    connect(lstBookmarks, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!drawing_) RenameBookmark(item);
    });
    columns->addWidget(lstBookmarks, 2);

    setMaximumHeight(120);
    ShowRecording({});
}

void NotesPanel::ShowRecording(const std::string& path) {
    if (!path_.empty()) {
        SaveNote();
        SaveTags();
    }
    path_ = path;
    Reload();
}

void NotesPanel::Reload() {
    shown_ = {};
    // Once the player ends, the index is closed and stays closed.
    if (Process().IsExiting) path_.clear();
    setEnabled(!path_.empty());
    if (!path_.empty()) {
        try {
            shown_ = LoadAnnotations(path_);
        } catch (const std::exception& e) {
            WriteRunLog("!LoadAnnotations [" + path_ + "] " + Describe(e));
            setEnabled(false);
        }
    }
    Draw();
}

// After a change of the tags, the bookmarks or the hold: drawn from the
// store again, the note as it is typed.
void NotesPanel::Refresh() {
    const QString typed = txtNote->toPlainText();
    Reload();
    drawing_ = true;
    txtNote->setPlainText(typed);
    drawing_ = false;
}

void NotesPanel::Draw() {
    drawing_ = true;
    const auto unsaved = unsaved_.find(path_);
    txtNote->setPlainText(unsaved != unsaved_.end() ? unsaved->second : Q(shown_.note));
    QStringList tags;
    for (const std::string& tag : shown_.tags) tags << Q(tag);
    txtTags->setText(tags.join(' '));
    lstBookmarks->clear();
    for (const Bookmark& b : shown_.bookmarks) {
        const QString time = Q(FormatTime(static_cast<std::int32_t>(b.second)));
        auto* item = new QListWidgetItem(time + "  " + Q(b.label), lstBookmarks);
        item->setData(kSecondRole, static_cast<qlonglong>(b.second));
        item->setData(kTimeRole, time);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    if (shown_.hold) {
        lblHold->setText(Q("On hold since " + shown_.hold->at + " by " + shown_.hold->by));
        txtHoldReason->setText(Q(shown_.hold->reason));
        cmdHold->setText("Release Hold");
    } else {
        lblHold->clear();
        txtHoldReason->clear();
        cmdHold->setText("Place Hold");
    }
    txtHoldReason->setReadOnly(shown_.hold.has_value());
    const QString noHold = Q(WhyNoHold());
    cmdHold->setEnabled(noHold.isEmpty());
    cmdHold->setToolTip(noHold);
    QStringList inUse;
    if (!Process().IsExiting) try {
        for (const std::string& tag : TagsInUse()) inUse << Q(tag);
    } catch (const std::exception&) {  // no completion, nothing else lost
    }
    tagWords_->setStringList(inUse);
    drawing_ = false;
}

bool NotesPanel::Try(const char* what, const std::function<void()>& change) {
    try {
        change();
    } catch (const std::exception& e) {
        WriteRunLog(std::string("!") + what + " [" + path_ + "] " + Describe(e));
        return false;
    }
    if (Changed) Changed(path_);
    return true;
}

bool NotesPanel::SaveNote() {
    if (path_.empty()) return true;
    const QString typed = txtNote->toPlainText();
    const auto unsaved = unsaved_.find(path_);
    if (unsaved == unsaved_.end() && typed.toStdString() == shown_.note) return true;
    if (!Try("SaveNote", [&] { player::SaveNote(path_, typed.toStdString()); })) {
        unsaved_[path_] = typed;  // kept for the next try
        return false;
    }
    unsaved_.erase(path_);
    shown_.note = typed.toStdString();
    return true;
}

void NotesPanel::SaveTags() {
    if (path_.empty() || drawing_) return;
    const std::set<std::string> wanted = Words(txtTags->text());
    const std::set<std::string> stored(shown_.tags.begin(), shown_.tags.end());
    if (wanted == stored) return;
    for (const std::string& tag : stored)
        if (!wanted.count(tag)) Try("RemoveTag", [&] { RemoveTag(path_, tag); });
    for (const std::string& tag : wanted)
        if (!stored.count(tag)) Try("AddTag", [&] { AddTag(path_, tag); });
    Refresh();  // what the store took
}

void NotesPanel::AddBookmarkAt(std::int64_t second) {
    if (path_.empty()) return;
    if (!Try("AddBookmark", [&] { AddBookmark(path_, second, kNewBookmark); })) return;
    Refresh();
    for (int i = 0; i < lstBookmarks->count(); ++i)
        if (lstBookmarks->item(i)->data(kSecondRole).toLongLong() == second) {
            QListWidgetItem* item = lstBookmarks->item(i);
            lstBookmarks->setCurrentItem(item);
            drawing_ = true;
            item->setText(kNewBookmark);  // the label alone while it is typed
            drawing_ = false;
            lstBookmarks->editItem(item);
        }
}

void NotesPanel::RenameBookmark(QListWidgetItem* item) {
    const std::int64_t second = item->data(kSecondRole).toLongLong();
    std::string label = text::Trim(item->text().toStdString());
    const std::string time = item->data(kTimeRole).toString().toStdString();
    if (label.rfind(time, 0) == 0) label = text::Trim(label.substr(time.size()));  // renamed with its time shown
    Try("AddBookmark", [&] { AddBookmark(path_, second, label.empty() ? kNewBookmark : label); });
    // Drawn again once the list has closed the editor of the item it is in.
    QTimer::singleShot(0, this, [this] { Refresh(); });
}

void NotesPanel::RemoveSelectedBookmark() {
    QListWidgetItem* item = lstBookmarks->currentItem();
    if (!item) return;
    const std::int64_t second = item->data(kSecondRole).toLongLong();
    Try("RemoveBookmark", [&] { RemoveBookmark(path_, second); });
    Refresh();
}

void NotesPanel::OnHold() {
    if (path_.empty()) return;
    if (shown_.hold) {
        if (!Process().dialogs->Question("Release the hold on [" + path_ + "]? It can then be deleted.")) return;
        Try("ReleaseHold", [&] { ReleaseHold(path_); });
    } else {
        const std::string reason = text::Trim(txtHoldReason->text().toStdString());
        if (reason.empty()) {
            Process().dialogs->Information("A hold needs a reason: type it in the field beside the button.");
            txtHoldReason->setFocus();
            return;
        }
        Try("PlaceHold", [&] { PlaceHold(path_, reason); });
    }
    Refresh();
}

bool NotesPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtNote && event->type() == QEvent::FocusOut) SaveNote();
    if (watched == lstBookmarks && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        RemoveSelectedBookmark();
        return true;
    }
    return QGroupBox::eventFilter(watched, event);
}

}  // namespace player
