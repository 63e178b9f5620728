// What the main window's tests share: see window_fixture.h.
#include "window_fixture.h"

#include <QApplication>
#include <fstream>

#include "platform/sqlstore/recordset.h"
#include "player/core/process_state.h"
#include "player/core/index/search_conditions.h"
#include "player/core/index/site_file.h"

namespace fs = std::filesystem;

namespace player::window_testing {

bool Answers::Question(std::string_view text, bool questionIcon) {
    questionIcons.push_back(questionIcon);
    questions.emplace_back(text);
    return ScriptedDialogs::Question(text, questionIcon);
}

void Answers::Information(std::string_view text) {
    informations.emplace_back(text);
    ScriptedDialogs::Information(text);
}

WindowUnderTest::WindowUnderTest(const std::vector<RecordInfo>& rows, const std::string& siteLine)
    : staged_(std::make_unique<player::testing::StagedPlayer>()) {
    Process().dialogs = answers_;
    if (!siteLine.empty()) std::ofstream(staged_->Folder() / kSiteFileName) << siteLine << "\n";
    staged_->Start();
    for (const RecordInfo& row : rows) InsertFileInfo(row);
    window_ = std::make_unique<frmMain>();
    window_->show();
    QApplication::processEvents();
}

WindowUnderTest::~WindowUnderTest() {
    window_.reset();
    staged_.reset();
}

QStringList WindowUnderTest::GridColumn(const QString& heading) const {
    const QAbstractItemModel* model = window_->DataGrid1->View()->model();
    int column = -1;
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == heading) column = c;
    QStringList cells;
    if (column < 0) return cells;
    for (int r = 0; r < model->rowCount(); ++r) cells << model->index(r, column).data().toString();
    return cells;
}

QStringList WindowUnderTest::StoredFiles() const {
    QStringList files;
    auto set = GetRecordset(kShowAllRecordStatement);
    if (!set->IsOpen()) return {"<the record index cannot be read>"};
    for (long r = 0; r < set->RecordCount(); ++r) files << QString::fromStdString(std::string(*set->Value(r, 4)));
    return files;
}

fs::path WindowUnderTest::Folder(const std::string& name) const {
    const fs::path folder = staged_->Folder() / name;
    fs::create_directories(folder);
    return folder;
}

fs::path WindowUnderTest::Recordings(const std::vector<std::string>& files, std::uintmax_t size) {
    const fs::path root = Folder("calls");
    for (const std::string& file : files) player::testing::MakeFile(root / file, size);
    window_->txtMainFolderPath->setText(QString::fromStdString(root.string()));
    return root;
}

void WindowUnderTest::Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

RecordInfo Row(const std::string& file, const std::string& at, const std::string& channel, const std::string& number,
               const std::string& duration, const std::string& direction) {
    return {true, file, at, channel, number, duration, direction};
}

QString Show(const QString& s) { return '"' + s + '"'; }
QString Show(const std::string& s) { return Show(QString::fromStdString(s)); }
QString Show(const char* s) { return Show(QString::fromUtf8(s)); }
QString Show(const QStringList& l) { return l.isEmpty() ? "(nothing)" : '[' + l.join(", ") + ']'; }
QString Show(const std::vector<std::string>& l) {
    QStringList q;
    for (const std::string& s : l) q << QString::fromStdString(s);
    return Show(q);
}

}  // namespace player::window_testing
