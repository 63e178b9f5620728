// calldeck export: one recording made into one WAV file, as the player's
// ConvertFile makes it, inside an export worker process.
//
// The bytes must be the player's: an encrypted recording is decrypted by the
// player's own DecryptFile (into the decrypt temp folder, the copy deleted
// afterwards); VC8, NTC, VD8 and DEC go through VelkCodec's own conversion
// job (converter/convert_job.h) from code 3 to an A-law WAV (code 0), the
// same checks, frame loop and target handling the library runs, but on this
// thread, with no conversion thread to start and wait for; a WAV
// is copied; VOC, VC2 and VC5 are handed to ConvertFile itself, which drives
// VoiceCvt as the player does (VoiceCvt has no fixed waits, so nothing is
// gained by driving it differently, and one way to call it stays one way).
//
// A G.729 conversion must never run beside another in one process: the
// outside G.729 library keeps one channel per process. A worker converts
// one recording at a time, and parallel work is several worker processes.
#pragma once

#include <string>

namespace calldeck {

struct ConvertOutcome {
    bool written = false;
    std::string reason;  // why not, in the words of the run log or the library
};

// Writes the WAV form of `source` to `target` (overwritten when there).
// Never throws.
ConvertOutcome ConvertRecording(const std::string& source, const std::string& target);

}  // namespace calldeck
