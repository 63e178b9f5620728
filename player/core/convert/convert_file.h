// player: every recording becomes a WAV file before it is played or exported.
//
// ConvertFile picks the converter from the extension's row in
// recording_format.h: VOC, VC2 and VC5 go to the outside library
// VoiceCvt.dll, VC8, NTC, VD8 and DEC (G.729) to VelkCodec.dll as an A-law
// WAV, a WAV is copied, anything else is left alone. An encrypted recording is
// decrypted into a copy first (decrypt_file.h), and the copy deleted after,
// also when the conversion fails.
// The conversion runs on the library's own thread; ConvertFile waits for it,
// letting window events run and showing its progress in pbConvert
// (ShowConvertProgress), until it reports 100 or 120 seconds have passed,
// then FinishConvert stops the converter. The caller learns success only by
// finding the target file.
//
// A start the library refuses (a missing plug-in, a damaged source, a
// source that is the target) is known at once: its code is logged with
// the library's own description and the wait is skipped, instead of
// sitting out 120 seconds with the bar at 0. Since window events run during
// the wait, a second request can arrive while a conversion runs: it is
// refused and logged, never started beside the first.
//
// Run-log lines: "!ConvertFile " + description for a run-time error (a
// library or function that cannot be found among them).
#pragma once

#include <string>

#include "player/core/run_error.h"

namespace player {

// Nothing when the target was written, else why not (its run-log line,
// where there is one, is written all the same).
Outcome ConvertFile(const std::string& source, const std::string& target);
// Stops the running conversion's converter, if any; clears IsConverting
// and ConvertingType. Never fails.
void FinishConvert();

}  // namespace player
