// player/window: the progress window of "Pickup All", frmConvertProcess.
//
// A small window captioned "ConvertFile" that the batch shows beside the
// main window, without blocking it: one label, "0" when it opens and then
// "count / total" as the rows are exported, and "Cancel", which asks
// "Cancel Convert?" and on Yes clears IsBatchConverting, so the file being
// converted finishes and no further one starts. While the batch runs the
// window refuses to close, whether by its frame or by the Escape key.
//
// The batch (player/core/files/pick_up_all.h) drives it through ConvertProcess,
// as the scan drives its window through ParseFileProcess.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "player/core/files/pick_up_all.h"

namespace player {

class frmConvertProcess : public QDialog, public ConvertProcess {
public:
    explicit frmConvertProcess(QWidget* owner = nullptr);

    void Show() override;
    void ShowCount(std::int32_t count, std::int32_t total) override;
    // Closes the window; refused, as a close by the frame is, while the
    // batch runs.
    void Unload() override;

    QLabel* lblCount;
    QPushButton* cmdCancel;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
};

}  // namespace player
