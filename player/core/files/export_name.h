// player: the names "Pickup All" and `calldeck export` give exported WAVs.
//
// The folder the operator picks gets its separator the way the batch always
// added it: a slash appended when it holds a slash anywhere, so
// "/home/op/out" becomes "/home/op/out/", and a folder already ending in
// one ("/" itself, "/mnt/usb/") ends in two, "//" and "/mnt/usb//": the
// system reads a doubled slash as one, so the files land in that folder.
// A backslash is appended only to a folder written with backslashes and no
// slash ("d:\out"): on Linux a backslash is an ordinary character of a
// name, and "/home/op/a\b" must stay that folder. A folder with neither
// (a bare relative name) gets nothing.
//
// The target is that folder, the recording's file name without its last
// four characters (the dot and the three-letter extension), and ".wav".
// Two cases the cut cannot serve are named otherwise:
//   - a name of four characters or fewer ("a.b", ".VC8") would lose all of
//     itself: the whole name is kept and ".wav" added ("a.b.wav");
//   - a target this batch has written already (the same file name in two
//     folders of the tree) would be overwritten: " (2)", " (3)", … is put
//     before ".wav" until the name is new to the batch.
// The file name is the last part of the path, so a target never leaves the
// chosen folder.
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
