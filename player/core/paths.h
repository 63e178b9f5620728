// player: the program's paths and its one setting.
//
// InitPath builds the four paths under the state folder (the program folder,
// or for an installed copy the user's own: state_folder.h; the logs and
// decrypted copies under its WorkFolder), reads the site file
// (site_file.h) from the program folder when there is one, makes the
// user's folders when they are missing, creates the log folder, and loads
// the recordings' main folder from PlayerMisc.cfg (one
// 255-byte record, blank-padded, created when missing; "d:\Voc" when it is
// empty), writing it straight back unless the state folder cannot be
// written (its index then says so once). A failure is shown in a message box
// "!InitPath ..." and start-up goes on. The paths are built before any
// file is touched, so even a program folder where nothing can be written
// leaves the database path set.
//
// ReadMiscConfig and WriteMiscConfig trap nothing: their errors (RunError)
// reach the caller, InitPath or the scan's starter.
#pragma once

#include <string>

#include "player/core/fixed_text.h"

namespace player {

inline constexpr const char* kDefaultMainFolder = "d:\\Voc";

// The paths InitPath builds and the one setting, as one part of the process
// state (process_state.h).
struct ProgramPaths {
    std::string PlayerLogFolder;
    std::string DatabaseFile;
    std::string MiscConfigFile;
    std::string DecryptTmpFolder;
    // MainFolder: the recordings' root folder; default "d:\Voc".
    FixedText<255> MainFolder;
};

void InitPath();
void ReadMiscConfig();
void WriteMiscConfig();

}  // namespace player
