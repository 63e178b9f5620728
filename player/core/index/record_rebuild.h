// player: rebuilding the record index from the main folder, as one unit.
// "Refresh File Information", each search with "Search File EveryTime" and
// `calldeck scan` refill the index from the main folder tree, and an
// operator must never lose the index to a rebuild that could not be done:
// it is checked first, locked, and one transaction. The steps, and the
// shared index's per-folder rebuild: docs/design.md, docs/sites.md.
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

// Refuses a main folder that cannot be scanned before touching anything,
// then stores and scans its canonical path (links resolved, no "." or "..",
// no trailing slash), so one folder is one main folder however it was
// spelled. Returns the number of rows committed (of its own main folder on
// the shared index). Every refusal or failure throws RebuildError, whose
// text is the message for the operator; the run log has a start and an end
// line for every rebuild with its counts.
std::int32_t RebuildRecordIndex(const std::string& mainFolderText, EmptyScan empty = EmptyScan::Ask);

}  // namespace player
