// player: rebuilding the record index from the main folder, as one unit.
//
// "Refresh File Information", each search with "Search File EveryTime" and
// `calldeck scan` empty the index and refill it from the main folder tree.
// An operator must never lose the index to a rebuild that could not be
// done, so RebuildRecordIndex:
//   * refuses, before touching anything, a main folder that is blank, does
//     not exist, is no folder, or is longer than the 255-byte setting;
//   * takes the rebuild lock (rebuild_lock.h) and the database's write
//     lock, waiting RebuildWait for each, so two rebuilds never interleave;
//   * stores the main folder, empties the table and scans in one
//     transaction; this connection sees each row as it is stored, other
//     processes keep seeing the previous index until the commit;
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
// commit. It returns the number of rows committed (of its own folder there). Every refusal or failure throws
// RebuildError, whose text is the message for the operator; the run log
// has a start and an end line for every rebuild with its counts.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace player {

class RebuildError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::int32_t RebuildRecordIndex(const std::string& mainFolderText);

}  // namespace player
