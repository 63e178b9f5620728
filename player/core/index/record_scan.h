// player: the scan that indexes the recordings tree.
//
// LoopParseFile walks a folder depth first, all subfolders before the
// folder's own files, derives a RecordInfo from each file name
// (GetFileInfo), counts every file and every recording on the progress
// window and stores the recordings (InsertFileInfo). Files that are not
// recordings are logged "Wrong Format : [path]". IsParsing is tested on
// entry to a folder only: after a Cancel no new folder is entered, and the
// rest of every folder already under way is still stored. Between files
// and folders the event pump runs, which is where Cancel is seen.
//
// Only regular files (or links to them) are recordings. Whatever the walk
// has to pass over gets one run-log line "!LoopParseFile reason [path]" and
// is counted in ScanSkipped: a folder that went away or cannot be read, a
// path longer than the system takes, a FIFO, socket or device, a link that
// leads nowhere or in a circle. Names that are no recordings are counted
// in ScanNotRecognised besides their "Wrong Format" line. Once the store
// has failed (StoreFailure) the walk stops storing.
//
// Links: a link to a folder is followed like a folder, but each real
// folder (device and inode) is entered once per scan, so a link pointing
// back up the tree, or two links to one folder, cannot make the walk run
// forever or index a recording twice. A link skipped for that reason is
// logged "!LoopParseFile Folder already scanned [path]".
//
// The progress window (the scan window of the main program, a terminal
// line in the command-line front, a test's observer) implements
// ParseFileProcess and registers itself in Process().frmParseFileProcess.
#pragma once

#include <cstdint>
#include <string>

#include "player/core/index/record_database.h"
#include "player/core/index/record_names.h"

namespace player {

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
void LoopParseFile(const std::string& folder);

// The scan's progress window, or one nobody sees when none is shown.
ParseFileProcess& ScanProgress();

}  // namespace player
