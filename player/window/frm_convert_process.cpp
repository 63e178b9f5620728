// The progress window of "Pickup All": see frm_convert_process.h.
#include "frm_convert_process.h"

#include <QCloseEvent>
#include <QVBoxLayout>

#include "player/core/process_state.h"

namespace player {

frmConvertProcess::frmConvertProcess(QWidget* owner)
    : QDialog(owner), lblCount(new QLabel("0", this)), cmdCancel(new QPushButton("Cancel", this)) {
    setObjectName("frmConvertProcess");
    setWindowTitle("ConvertFile");
    setModal(false);
    lblCount->setObjectName("lblCount");
    lblCount->setAlignment(Qt::AlignCenter);
    lblCount->setMinimumWidth(fontMetrics().horizontalAdvance("0000000 / 0000000"));
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(lblCount);
    layout->addWidget(cmdCancel, 0, Qt::AlignHCenter);

    connect(cmdCancel, &QPushButton::clicked, this, [] {
        if (Process().dialogs->Question("Cancel Convert?")) Process().IsBatchConverting = false;
    });
}

void frmConvertProcess::Show() {
    lblCount->setText("0");
    show();
    raise();
}

void frmConvertProcess::ShowCount(std::int32_t count, std::int32_t total) {
    lblCount->setText(QString::fromStdString(ConvertCountText(count, total)));
}

void frmConvertProcess::Unload() {
    if (!Process().IsBatchConverting) hide();
}

void frmConvertProcess::closeEvent(QCloseEvent* event) {
    if (Process().IsBatchConverting) {
        event->ignore();
        return;
    }
    event->accept();
}

void frmConvertProcess::reject() {
    if (Process().IsBatchConverting) return;
    QDialog::reject();
}

}  // namespace player
