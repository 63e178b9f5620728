// player: the process-wide state of the player, in one visible place.
//
// The player is one user-interface thread. Each part of its state is
// declared by the module that owns it -- the paths (paths.h), the seams and
// the window's hooks (seams.h), the record index (index/store_state.h), a
// rebuild's scan (index/scan_state.h), the conversion (convert/
// conversion_state.h), playback (playback/playback_state.h), the audit
// trail's writer (audit/audit_trail.h) -- and PlayerProcess joins them, so
// that Process().IsPlaying or Process().rsResult reads as the name it is. A
// test sets up what it needs (a clock, dialogs that answer; its own program
// folder is named in CALLDECK_PROGRAM_FOLDER) and ResetProcess() gives the
// next test a fresh one.
#pragma once

#include <string>

#include "player/core/audit/audit_trail.h"
#include "player/core/convert/conversion_state.h"
#include "player/core/index/scan_state.h"
#include "player/core/index/store_state.h"
#include "player/core/paths.h"
#include "player/core/playback/playback_state.h"
#include "player/core/seams.h"

namespace player {

struct PlayerProcess : ProgramPaths, WindowHooks, StoreState, ScanState, ConversionState, PlaybackState {
    // Set by the shutdown (ExitPlayer): a conversion for playback that was
    // waiting when the window closed ends without playing anything.
    bool IsExiting = false;
    AuditState audit;
};

PlayerProcess& Process();
// Closes the database and starts over with a fresh state.
void ResetProcess();

// The program folder, without a trailing separator: the folder the
// libraries are loaded from (platform::dynlib::ProgramFolder), so that
// CALLDECK_PROGRAM_FOLDER moves the player's files and its libraries alike.
std::string ProgramFolder();

}  // namespace player
