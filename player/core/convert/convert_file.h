// player: every recording becomes a WAV file before it is played or
// exported. ConvertFile routes it by its extension's row in
// recording_format.h to an outside library, a copy or nothing, decrypting an
// encrypted one into a copy first, and waits for the library's thread with
// the window's events running; a start the library refuses is known at once.
// Routing, waits and log lines: docs/design.md ("Every recording becomes a
// WAV file").
#pragma once

#include <string>

#include "player/core/run_error.h"

namespace player {

// Waits until the library reports 100 or 120 seconds have passed, then
// FinishConvert stops the converter. Nothing when the target was written,
// else why not; failures are run-log lines too ("!ConvertFile " +
// description for a run-time error).
Outcome ConvertFile(const std::string& source, const std::string& target);
// Stops the running conversion's converter, if any; clears IsConverting
// and ConvertingType. Never fails.
void FinishConvert();

}  // namespace player
