// player: the scan that indexes the recordings tree.
//
// LoopParseFile walks a folder depth first, all subfolders before the
// folder's own files, derives a RecordInfo from each file name
// (GetFileInfo), counts every file and every recording on the progress
// window and stores the recordings (InsertFileInfo). Files that are not
// recordings are logged "Wrong Format : [path]". IsParsing is tested on
// entry to a folder only: after a Cancel no new folder is entered, and the
// rest of every folder already under way is still stored. Between files
// and folders the event pump runs, which is where Cancel is seen. Inserts
// are committed in batches (record_database.h); the last one when the
// outermost folder is done.
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

#include "record_database.h"
#include "record_names.h"

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

// The windowless heart of a rebuild: empties the table, stores the
// trimmed main-folder text as MainFolder (WriteMiscConfig; its error
// reaches the caller), scans it with IsParsing set, clears IsParsing
// however it ends, and returns the progress window's RecordFileCount.
std::int32_t RebuildRecordIndex(const std::string& mainFolderText);

}  // namespace player
