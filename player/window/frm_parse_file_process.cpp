// The scan's progress window: see frm_parse_file_process.h.
#include "frm_parse_file_process.h"

#include <QCloseEvent>
#include <QGridLayout>

#include "player/core/process_state.h"

namespace player {

frmParseFileProcess::frmParseFileProcess(QWidget* owner)
    : QDialog(owner),
      lblAllFile(new QLabel("All File:", this)),
      lblFileCount(new QLabel("Count", this)),
      lblRecordFile(new QLabel("Record File:", this)),
      lblRecordFileCount(new QLabel("Count", this)),
      cmdCancel(new QPushButton("Cancel", this)) {
    setObjectName("frmParseFileProcess");
    setWindowTitle("Process");
    setModal(false);
    lblFileCount->setObjectName("lblFileCount");
    lblRecordFileCount->setObjectName("lblRecordFileCount");
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setAutoDefault(false);
    for (QLabel* count : {lblFileCount, lblRecordFileCount}) {
        count->setMinimumWidth(fontMetrics().horizontalAdvance("0000000000"));
        count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setHorizontalSpacing(16);
    layout->addWidget(lblAllFile, 0, 0);
    layout->addWidget(lblFileCount, 0, 1);
    layout->addWidget(lblRecordFile, 1, 0);
    layout->addWidget(lblRecordFileCount, 1, 1);
    layout->addWidget(cmdCancel, 2, 0, 1, 2, Qt::AlignHCenter);

    connect(cmdCancel, &QPushButton::clicked, this, [] {
        if (Process().dialogs->Question("Cancel Parse?")) Process().IsParsing = false;
    });
}

frmParseFileProcess::~frmParseFileProcess() { Withdraw(); }

void frmParseFileProcess::Withdraw() {
    if (Process().frmParseFileProcess == this) Process().frmParseFileProcess = nullptr;
}

void frmParseFileProcess::Show() {
    if (!isVisible()) Load();
    Process().frmParseFileProcess = this;
    show();
    raise();
}

bool frmParseFileProcess::Unload() {
    if (Process().IsParsing) return false;
    DrawCounts(true);
    hide();
    Withdraw();
    return true;
}

void frmParseFileProcess::Load() {
    lblFileCount->setText("Count");
    lblRecordFileCount->setText("Count");
    drawn_.invalidate();
    ParseFileProcess::Load();
}

void frmParseFileProcess::ShowFileCount() { DrawCounts(false); }

void frmParseFileProcess::ShowRecordFileCount() { DrawCounts(false); }

void frmParseFileProcess::DrawCounts(bool now) {
    constexpr qint64 kMinimumMs = 40;
    if (!now && drawn_.isValid() && drawn_.elapsed() < kMinimumMs) return;
    drawn_.start();
    if (FileCount > 0) lblFileCount->setText(QString::number(FileCount));
    lblRecordFileCount->setText(QString::number(RecordFileCount));
}

void frmParseFileProcess::closeEvent(QCloseEvent* event) {
    if (Process().IsParsing) {
        event->ignore();
        return;
    }
    Withdraw();
    event->accept();
}

void frmParseFileProcess::reject() {
    if (Process().IsParsing) return;
    Withdraw();
    QDialog::reject();
}

}  // namespace player
