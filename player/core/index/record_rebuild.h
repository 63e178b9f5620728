// player: rebuilding the record index from the main folder, as one unit.
//
// "Refresh File Information", each search with "Search File EveryTime" and
// `calldeck scan` empty the index and refill it from the main folder tree.
// An operator must never lose the index to a rebuild that could not be
// done, so RebuildRecordIndex:
//   * refuses, before touching anything, a main folder that is blank, does
//     not exist, is no folder, cannot be read by this user (it would scan
//     as an empty folder), or whose canonical path (links resolved, no
//     "." or "..", no trailing slash) is longer than the 255-byte setting;
//     the canonical path is what it stores and scans, so one folder is
//     one main folder however it was spelled;
//   * takes the rebuild lock (rebuild_lock.h) and the database's write
//     lock, waiting RebuildWait for each, so two rebuilds never interleave;
//   * stores the main folder, empties the table and scans in one
//     transaction; this connection sees each row as it is stored, other
//     processes keep seeing the previous index until the commit;
//   * when the scan found no recording although the index held rows it
//     replaces (an empty folder, an unmounted mount point, a folder of
//     devices), empties the index only as `empty` says: the window asks
//     the operator ("No recordings were found under X. Empty the record
//     index?"), `calldeck scan` refuses unless told --allow-empty;
//   * commits when the scan ends or is cancelled (the rows found before a
//     cancel stay), and rolls back, putting the previous main folder back
//     into PlayerMisc.cfg, on any failure of the store or the settings
//     file; a crash before the commit leaves the previous index too.
// On the shared index of a site (site_file.h) the rebuild replaces only the
// rows of its own main folder, in one transaction: it locks that folder on
// the server (two scans of one folder wait for each other, scans of other
// folders never do), deletes the folder's rows, inserts the new ones, each
// marked with the folder, and commits; other folders' rows are never
// touched, and searches elsewhere see the folder's old rows until the
// commit. Rows stored under another spelling of the same folder (by a
// version that stored the folder as given) are replaced with them. A main
// folder inside or above another one the rows name is refused, naming it:
// its recordings would be indexed twice. The folder's lock is shared with
// the scans of the folders inside it, so two such scans never run at once.
// It returns the number of rows committed (of its own folder there). Every
// refusal or failure throws RebuildError, whose text is the message for the
// operator; the run log has a start and an end line for every rebuild with
// its counts.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace player {

class RebuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A rebuild that found no recording and was not let empty the index.
class EmptyScanRefused : public RebuildError {
public:
    using RebuildError::RebuildError;
};

// What a rebuild that found no recording does to an index holding rows.
enum class EmptyScan {
    Ask,     // asks through the Dialogs seam; No keeps the index
    Refuse,  // keeps the index
    Allow,   // empties it
};

std::int32_t RebuildRecordIndex(const std::string& mainFolderText, EmptyScan empty = EmptyScan::Ask);

}  // namespace player
