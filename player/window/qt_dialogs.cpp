// The program's dialogs on Qt Widgets: see qt_dialogs.h.
#include "qt_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace player {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QWidget* Owner(WindowHandle h) { return static_cast<QWidget*>(h); }

}  // namespace

bool QtDialogs::Question(std::string_view text, bool questionIcon) {
    QMessageBox box(questionIcon ? QMessageBox::Question : QMessageBox::NoIcon, kProgramTitle, Q(text),
                    QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::Information(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, kProgramTitle, Q(text), QMessageBox::Ok);
    box.exec();
}

std::string QtDialogs::PickFolder(WindowHandle owner, std::string_view title) {
    QFileDialog dialog(Owner(owner), Q(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

std::string QtDialogs::PickFile(WindowHandle owner, std::string_view title, std::string_view initial,
                                std::string_view filter, std::string_view defaultExtension) {
    QFileDialog dialog(Owner(owner), Q(title), QString(), QString());
    // "(*.wav)|*.wav|(*.*)|*.*": each caption names its pattern, which is
    // how Qt reads a filter, so the captions are the filters.
    const QStringList parts = Q(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << (parts[i].contains(parts[i + 1]) ? parts[i] : parts[i] + " (" + parts[i + 1] + ")");
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(Q(defaultExtension));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    // The dialog opens in the folder of `initial`, with its name filled in.
    if (!initial.empty()) {
        const QFileInfo name(Q(initial));
        dialog.setDirectory(name.absolutePath());
        dialog.selectFile(name.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

}  // namespace player
