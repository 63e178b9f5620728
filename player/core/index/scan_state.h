// player: the state of a running rebuild and scan of the recordings'
// folder, as one part of the process state (process_state.h): the flags a
// Cancel and the shutdown reach it through, its counts, and its window.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>

namespace player {

class ParseFileProcess;

struct ScanState {
    // IsParsing: true while a scan may go on; Cancel and the shutdown clear it.
    bool IsParsing = false;
    // While a rebuild of the record index runs (record_rebuild.h): the
    // first failure of the store itself ("" while none), and the counts of
    // files whose names are no recordings and of folders and files the
    // scan had to pass over. How long a rebuild waits for another one.
    bool IsRebuilding = false;
    std::string StoreFailure;
    std::int32_t ScanNotRecognised = 0;
    std::int32_t ScanSkipped = 0;
    // After a rebuild: recordings with a note, tags or bookmarks that it
    // did not find (notes_store.h); its closing words say how many.
    std::int64_t OrphanedNotes = 0;
    std::chrono::milliseconds RebuildWait{10000};
    // frmParseFileProcess: the scan's progress window while one is shown
    // (it counts the files); without one, unseenProgress counts them.
    ParseFileProcess* frmParseFileProcess = nullptr;
    std::shared_ptr<ParseFileProcess> unseenProgress;
    // The folders a running scan has entered (device, inode), so that a
    // link back up the tree is not walked again.
    std::set<std::pair<dev_t, ino_t>> scanVisited;
    int scanDepth = 0;
};

}  // namespace player
