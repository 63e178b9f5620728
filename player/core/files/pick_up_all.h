// player: "Pickup All", every recording of the result list exported as a
// WAV file into one folder the operator picks. The batch moves rsResult
// itself, so the grid follows the row being exported, and reaches its
// progress window through ConvertProcess, so it runs and is tested without
// a window; one row's failure never ends it. docs/file_management.md.
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
// titled "Target Folder" (owned by `owner`), then the batch. Each row whose
// file exists is converted with ConvertFile under the name export_name.h
// gives it (one `taken` set per batch, so two recordings of one name in
// different folders do not overwrite each other); an error in one row
// never ends the batch, only one that leaves the set unable to move. Cancel
// and the shutdown clear IsBatchConverting: the row being converted
// finishes and no further row starts. A play is stopped first, since the
// batch moves the play list's current row and AutoPlayNext would move it
// under the batch. The exported recordings are listed with what reviewers
// wrote about them in manifest.tsv in the folder (notes/manifest.h). The
// folder the batch exported into, as picked; "" when none was.
std::string PickUpAll(WindowHandle owner, ConvertProcess& progress);

}  // namespace player
