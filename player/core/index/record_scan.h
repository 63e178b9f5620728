// player: the scan that indexes the recordings tree. It walks the main
// folder, turns each file name into a RecordInfo and stores the recordings,
// counting on a progress window it knows only as ParseFileProcess (the
// scan window, a terminal line, a test's observer), so the walk is the same
// under every front. What it passes over and how links are followed:
// docs/design.md ("A rebuild is one unit", "Links in the recordings tree").
#pragma once

#include <cstdint>
#include <string>

#include "player/core/index/record_database.h"
#include "player/core/index/record_names.h"

namespace player {

// The progress window registers itself in Process().frmParseFileProcess.
class ParseFileProcess {
public:
    virtual ~ParseFileProcess() = default;
    // Files visited and files stored by the running scan.
    std::int32_t FileCount = 0;
    std::int32_t RecordFileCount = 0;
    // The window's load: both counts start at 0, and "0" is shown.
    virtual void Load() {
        FileCount = RecordFileCount = 0;
        ShowRecordFileCount();
    }
    // Show FileCount beside "All File:", RecordFileCount beside "Record File:".
    virtual void ShowFileCount() {}
    virtual void ShowRecordFileCount() {}
};

RecordInfo GetFileInfo(const RecordFile& file);
// Walks `folder` depth first, all subfolders before the folder's own files,
// counts every file and every recording on the progress window and stores
// the recordings (InsertFileInfo). Files that are not recordings are logged
// "Wrong Format : [path]" and counted in ScanNotRecognised. Only regular
// files (or links to them) are recordings; whatever the walk has to pass
// over (a folder that went away or cannot be read, a path longer than the
// system takes, a FIFO, socket or device, a link that leads nowhere, in a
// circle or to a folder entered already) gets one run-log line
// "!LoopParseFile reason [path]" and is counted in ScanSkipped. IsParsing
// is tested on entry to a folder only: after a Cancel no new folder is
// entered, and the rest of every folder already under way is still stored.
// Between files and folders the event pump runs, which is where Cancel is
// seen. Once the store has failed (StoreFailure) the walk stops storing.
void LoopParseFile(const std::string& folder);

// The scan's progress window, or one nobody sees when none is shown.
ParseFileProcess& ScanProgress();

}  // namespace player
