// calldeck purge: recordings kept no longer than a site may keep them.
//
//   calldeck purge --older-than DAYS [search options] [--dry-run] [--yes]
//
// Deletes the recordings (files and rows) whose RecordDateTime lies more
// than DAYS days before now (local time, as the recorder names its calls)
// and that the search options find; without them, every such recording.
// --start and --end narrow the range further; --all is refused (it would
// widen it). --dry-run lists what would go (tab-separated: FileFullName,
// RecordDateTime, its bytes) and the bytes it would free, and changes
// nothing. Otherwise, not on a terminal it wants --yes; on a terminal
// without --yes it asks.
//
// Each recording goes as DeleteAll deletes it (player/core/files/delete_files.h),
// with an audit record "purge" for it: a file that cannot be deleted keeps
// its row and is named on standard error with the reason; a row whose file
// is gone already is deleted. A recording on hold stays, file and row, is
// named on standard error with the hold's reason and counted in the summary
// ("; 2 recordings are on hold and were kept."). The summary says how many
// went, how many stayed and why. Exit codes: 0 all went but those on hold,
// 1 any other stayed (or the search failed), 2 a usage error or --yes
// missing.
#pragma once

#include <string>
#include <vector>

namespace calldeck {

extern const char* const kPurgeHelp;

// Runs the command on the opened record index; throws UsageError.
int Purge(const std::vector<std::string>& args);

}  // namespace calldeck
