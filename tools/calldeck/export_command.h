// calldeck export: every recording a search finds, written out as WAV files
// (or one ZIP archive) by several worker processes at once.
//
//   calldeck export (--to DIR | --zip FILE) [-j N] [search options]
//
// The rows are those "calldeck search" prints for the same options, in the
// same order. Names are "Pickup All"'s (player/core/files/export_name.h): one set
// of names taken per run, so two recordings of one name get "name.wav" and
// "name (2).wav"; in an archive the same names without the folder. A row
// whose file is gone is counted missing and takes no name, as in "Pickup
// All".
//
// Each recording is written under a temporary name in the target folder
// (".calldeck-export-<pid>-<row>.part") and renamed to its own name only
// when it is whole; for an archive, into a hidden parts folder beside it,
// added to the archive once all are converted, the parts folder removed
// after. Ctrl+C (SIGINT) or SIGTERM stops the workers, removes every
// temporary file, prints the summary so far and exits 130; a killed command
// (SIGKILL) leaves at most one ".part" file per worker, never a file under a
// final name that is not whole.
//
// Exit codes: 0 every found recording exported (or missing), 1 any failed
// (or the target could not be made), 2 a usage error, 130 interrupted.
#pragma once

#include <string>
#include <vector>

namespace calldeck {

extern const char* const kExportHelp;

// Runs the command on the opened record index; throws UsageError.
int Export(const std::vector<std::string>& args);

}  // namespace calldeck
