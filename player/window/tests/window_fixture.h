// player/window/tests: what the main window's tests share.
//
// A WindowUnderTest stages a player of its own (program folder, empty
// record index, clock at 2024-05-06 12:30:45), starts it as the program's
// Main does and opens the main window, answering every message box from a
// script. The checks report in the operator's words: what was expected on
// the screen and what was there.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "player/core/index/record_database.h"
#include "player/core/testing/staged_player.h"
#include "player/window/frm_main.h"
#include "player/window/testing/qt_pool_threads.h"

namespace player::window_testing {

// Dialogs answered from a script, remembering the icons and the texts of
// information boxes.
class Answers : public player::testing::ScriptedDialogs {
public:
    std::vector<bool> questionIcons;
    std::vector<std::string> informations;
    std::vector<std::string> questions;
    bool Question(std::string_view text, bool questionIcon) override;
    void Information(std::string_view text) override;
};

class WindowUnderTest {
public:
    // rows: stored in the record index before the window opens; siteLine:
    // when given, written into the site file (PlayerSite.conf) first.
    explicit WindowUnderTest(const std::vector<RecordInfo>& rows = {}, const std::string& siteLine = "");
    ~WindowUnderTest();

    frmMain& Window() { return *window_; }
    player::testing::StagedPlayer& Staged() { return *staged_; }
    Answers& Dialogs() { return *answers_; }

    // The grid's cells of one column (by its heading), top to bottom.
    QStringList GridColumn(const QString& heading) const;
    QStringList GridFiles() const { return GridColumn("FileFullName"); }
    // The table's rows, fetched afresh, in channel and time order.
    QStringList StoredFiles() const;
    // A folder under the program folder, made empty.
    std::filesystem::path Folder(const std::string& name) const;
    // A recordings tree "calls" holding these files (paths relative to it)
    // of `size` bytes each, named in the main folder box; its root.
    std::filesystem::path Recordings(const std::vector<std::string>& files, std::uintmax_t size = 8000);
    void Click(QWidget* button);

private:
    std::unique_ptr<player::testing::StagedPlayer> staged_;
    std::shared_ptr<Answers> answers_ = std::make_shared<Answers>();
    std::unique_ptr<frmMain> window_;
};

RecordInfo Row(const std::string& file, const std::string& at, const std::string& channel, const std::string& number,
               const std::string& duration, const std::string& direction);

QString Show(const QString& s);
QString Show(const std::string& s);
QString Show(const char* s);
template <typename Number>
    requires std::is_arithmetic_v<Number> || std::is_enum_v<Number>
QString Show(Number n) {
    if constexpr (std::is_enum_v<Number>)
        return QString::number(static_cast<long long>(n));
    else
        return QString::number(n);
}
QString Show(const QStringList& l);
QString Show(const std::vector<std::string>& l);

// The main of a window test program: Qt's offscreen platform (no display
// needed), then QTest over a Tests, then the pool's threads ended.
template <class Tests>
int RunWindowTests(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int failures = 0;
    {
        QApplication app(argc, argv);
        Tests tests;
        failures = QTest::qExec(&tests, argc, argv);
        EndQtPoolThreads();
    }
    return failures;
}

}  // namespace player::window_testing

// Fails the test with "what", then what was seen and what was wanted.
#define EXPECT_SEEN(actual, expected, what)                                                                    \
    do {                                                                                                       \
        const auto seen_ = (actual);                                                                           \
        const auto wanted_ = (expected);                                                                       \
        if (!(seen_ == wanted_))                                                                               \
            QFAIL(qPrintable(QStringLiteral("%1\n   seen:   %2\n   wanted: %3")                                \
                                 .arg(QString(what), ::player::window_testing::Show(seen_),                  \
                                      ::player::window_testing::Show(wanted_))));                            \
    } while (0)
