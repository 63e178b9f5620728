// player/window: the scan's progress window, frmParseFileProcess.
//
// A small window captioned "Process" that the rebuild of the record table
// shows beside the main window, without blocking it, while the recordings
// tree is scanned: "All File:" with the count of files visited and
// "Record File:" with the count of recordings stored, both updated per
// file, and "Cancel", which asks "Cancel Parse?" and on Yes ends the scan
// (IsParsing). While the scan runs the window refuses to close, whether by
// its frame or by the Escape key.
//
// The scan counts through the ParseFileProcess interface of the core
// (record_scan.h); Show registers the window as the process's scan
// window and Unload withdraws it.
//
// Every file is counted, but the labels are drawn at most 25 times a
// second (and once more when the window closes): drawing them for every
// file made a rebuild six times slower than the scan itself, and no eye
// follows a count that changes faster.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include "player/core/index/record_scan.h"

namespace player {

class frmParseFileProcess : public QDialog, public ParseFileProcess {
public:
    explicit frmParseFileProcess(QWidget* owner = nullptr);
    ~frmParseFileProcess() override;

    // Loads the window (both counts 0, "0" beside "Record File:"), shows it
    // without blocking and makes it the process's scan window.
    void Show();
    // Closes the window; refused, as a close by the frame is, while a scan
    // runs. True when the window is gone.
    bool Unload();

    // A fresh window: both count labels read "Count", then the counts are
    // set to 0 and "0" shows beside "Record File:".
    void Load() override;
    void ShowFileCount() override;
    void ShowRecordFileCount() override;

    QLabel* lblAllFile;
    QLabel* lblFileCount;
    QLabel* lblRecordFile;
    QLabel* lblRecordFileCount;
    QPushButton* cmdCancel;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Withdraw();
    void DrawCounts(bool now);

    QElapsedTimer drawn_;
};

}  // namespace player
