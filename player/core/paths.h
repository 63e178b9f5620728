// player: the program's paths and its one setting.
//
// InitPath builds the four paths under the program folder, reads the site
// file (site_file.h) when there is one, creates the log folder, and loads the recordings' main folder from PlayerMisc.cfg (one
// 255-byte record, blank-padded, created when missing; "d:\Voc" when it is
// empty), writing it straight back. A failure is shown in a message box
// "!InitPath ..." and start-up goes on. The paths are built before any
// file is touched, so even a program folder where nothing can be written
// leaves the database path set.
//
// ReadMiscConfig and WriteMiscConfig trap nothing: their errors (RunError)
// reach the caller, InitPath or the scan's starter.
#pragma once

namespace player {

inline constexpr const char* kDefaultMainFolder = "d:\\Voc";

void InitPath();
void ReadMiscConfig();
void WriteMiscConfig();

}  // namespace player
