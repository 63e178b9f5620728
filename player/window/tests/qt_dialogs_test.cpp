// The program's real dialogs, answered by a timer as a person would.
#include "player/window/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <cstdlib>
#include <functional>

using namespace player;

// The system's font configuration library keeps a cache for the life of the
// process, which the leak checker of the sanitizer build would report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// Runs `answer` on the modal dialog as soon as one is shown.
void WhenShown(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(w);
        }
    });
    timer->start(10);
}

class RealDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "player_qt_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    static void TearDownTestSuite() {
        delete app_;
        app_ = nullptr;
    }
    static QApplication* app_;
};
QApplication* RealDialogs::app_ = nullptr;

}  // namespace

TEST_F(RealDialogs, CancellingTheFolderPickerGivesEmptyText) {
    QString title;
    WhenShown([&](QWidget* w) {
        title = w->windowTitle();
        static_cast<QDialog*>(w)->reject();
    });
    QtDialogs dialogs;
    EXPECT_EQ(dialogs.PickFolder(nullptr, "Your Voice Folder"), "");
    EXPECT_EQ(title, "Your Voice Folder") << "the title is the picker's instruction";
}

TEST_F(RealDialogs, PickingAFolderGivesItsPath) {
    const QString folder = QDir::tempPath();
    WhenShown([&](QWidget* w) {
        auto* picker = static_cast<QFileDialog*>(w);
        // Typed into the name box, as a person would.
        auto* name = picker->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr) << "the folder picker has no name box";
        name->setText(folder);
        QMetaObject::invokeMethod(picker, "accept", Qt::QueuedConnection);
    });
    QtDialogs dialogs;
    EXPECT_EQ(QString::fromStdString(dialogs.PickFolder(nullptr, "Target Folder")), folder);
}

TEST_F(RealDialogs, QuestionsCarryTheProgramTitleAndOnlyYesProceeds) {
    QString caption, text;
    WhenShown([&](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        caption = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    QtDialogs dialogs;
    EXPECT_TRUE(dialogs.Question("Cancel Parse?"));
    EXPECT_EQ(caption, "CallDeck");
    EXPECT_EQ(text, "Cancel Parse?");
    WhenShown([](QWidget* w) { static_cast<QMessageBox*>(w)->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(dialogs.Question("Exit Player?"));
}

TEST_F(RealDialogs, TheWaveFileDialogOffersWavFilesAndTakesANewNameWithoutItsSuffix) {
    const QString folder = QDir::tempPath();
    QStringList filters;
    WhenShown([&](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        filters = dialog->nameFilters();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr) << "the file dialog has no name box";
        name->setText(folder + "/calldeck-export-that-does-not-exist");
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    QtDialogs dialogs;
    const std::string picked =
        dialogs.PickFile(nullptr, "Get Wave File", "", "(*.wav)|*.wav|(*.*)|*.*", "wav");
    EXPECT_EQ(QString::fromStdString(picked), folder + "/calldeck-export-that-does-not-exist.wav")
        << "a new name typed without a suffix did not get .wav";
    EXPECT_EQ(filters, (QStringList{"(*.wav)", "(*.*)"})) << "the dialog's filters";
}
