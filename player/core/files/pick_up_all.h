// player: "Pickup All", every recording of the result list exported as a
// WAV file into one folder the operator picks.
//
// The batch walks rsResult from its first row to past its last, moving the
// set itself, so the grid that shows the set follows the row being
// exported. Each row whose file exists is converted with ConvertFile into
// the picked folder under the name export_name.h gives it (one `taken` set
// per batch, so two recordings of the same name in different folders do
// not overwrite each other); a row whose file is missing is passed over
// silently and not counted. A conversion that leaves no target is one
// run-log line, "ConvertFile File [source] To [target] Error!", and the
// batch goes on: an error in one row never ends the batch, only one that
// leaves the set unable to move.
//
// The progress window is reached through ConvertProcess, so the batch runs
// and is tested without a window. Its Cancel (and the shutdown) clears
// IsBatchConverting; the row being converted finishes and no further row
// is started. Events run during each conversion's wait and once per row,
// so the window's count is drawn and its Cancel seen even while the batch
// only copies WAV recordings, which wait for nothing. A batch stops a play
// first: it moves the play list's current row, and AutoPlayNext would move
// it under the batch. It ends with one run-log line, which the status bar
// shows: what was saved where, what failed, and whether it was cancelled
// (export_report.h).
#pragma once

#include <cstdint>
#include <string>

#include "player/core/seams.h"

namespace player {

// The progress window frmConvertProcess as the batch sees it.
class ConvertProcess {
public:
    virtual ~ConvertProcess() = default;
    // Shows the window without blocking, its label reading "0".
    virtual void Show() = 0;
    // The label: count & " / " & total.
    virtual void ShowCount(std::int32_t count, std::int32_t total) = 0;
    // Closes the window (the batch has cleared IsBatchConverting first).
    virtual void Unload() = 0;
};

// The label's text for `count` of `total` rows, "3 / 10".
std::string ConvertCountText(std::int32_t count, std::int32_t total);

// The whole command: "no data" on an empty result, the folder picker
// titled "Target Folder" (owned by `owner`), then the batch. The folder the
// batch exported into, as picked; "" when none was.
std::string PickUpAll(WindowHandle owner, ConvertProcess& progress);

}  // namespace player
