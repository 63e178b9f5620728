// player: the names "Pickup All" and `calldeck export` give exported WAVs:
// the picked folder with its separator, the recording's file name without
// its extension, ".wav", and " (2)", " (3)", ... for a name the batch has
// written already. The rules, with their odd cases (a doubled slash, a
// backslash, a short name): docs/file_management.md ("Target names").
#pragma once

#include <set>
#include <string>

namespace player {

// The picked folder with the separators the batch appends.
std::string ExportFolder(const std::string& picked);

// The target for `source` in `folder` (as ExportFolder made it), never one
// of `taken`; the target is added to `taken`.
std::string ExportTargetName(const std::string& folder, const std::string& source, std::set<std::string>& taken);

}  // namespace player
