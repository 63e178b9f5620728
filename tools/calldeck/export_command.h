// calldeck export: every recording a search finds, written out as WAV files
// (or one ZIP archive) by several worker processes at once, under "Pickup
// All"'s names (player/core/files/export_name.h). Each file is written under
// a temporary name and renamed only when whole, so an interrupted or killed
// export never leaves a file under a final name that is not whole.
//   calldeck export (--to DIR | --zip FILE) [-j N] [search options]
// Names, bytes, workers, exit codes: docs/export.md.
#pragma once

#include <string>
#include <vector>

namespace calldeck {

extern const char* const kExportHelp;

// Runs the command on the opened record index; throws UsageError.
int Export(const std::vector<std::string>& args);

}  // namespace calldeck
