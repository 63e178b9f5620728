// What VoiceCvt's start calls answer: 0 when the worker runs, else the first
// fault found, checked in the order listed, and a text for each that a
// caller can log. docs/voicecvt.md has the table.
#pragma once

#include <cstdint>

namespace voicecvt {

inline constexpr int32_t kStarted = 0;
inline constexpr int32_t kJobExists = -1;           // a conversion still runs
inline constexpr int32_t kBadType = -2;             // not 0, 1 or 4
inline constexpr int32_t kBadGain = -3;             // negative, NaN or infinite
inline constexpr int32_t kSourceUnusable = -4;      // missing, unreadable, not a regular file
inline constexpr int32_t kSourceFormatRefused = -5; // a WAV that is not 8 kHz mono 16-bit PCM (or A-law for VOC)
inline constexpr int32_t kTargetTooLarge = -6;      // the WAV's lengths would not fit 32 bits
inline constexpr int32_t kTargetIsSource = -7;      // same device and inode
inline constexpr int32_t kTargetNotCreatable = -8;  // no temporary file in the target's folder
inline constexpr int32_t kCodecUnavailable = -9;    // the Opus or ADPCM state could not be made
inline constexpr int32_t kNoWorkerThread = -10;     // no thread (or no memory) for the job

// A short text for a start's answer, for a caller's log line.
inline const char* DescribeStart(int32_t code) {
    switch (code) {
    case kStarted: return "conversion started";
    case kJobExists: return "a conversion is still running";
    case kBadType: return "unknown recording type";
    case kBadGain: return "gain is negative or not a number";
    case kSourceUnusable: return "can't open source file";
    case kSourceFormatRefused: return "source wav file is not 8 kHz mono 16-bit PCM or A-law";
    case kTargetTooLarge: return "target wav file too large";
    case kTargetIsSource: return "target file is the source file";
    case kTargetNotCreatable: return "can't create target file";
    case kCodecUnavailable: return "can't create codec";
    case kNoWorkerThread: return "can't create convert thread";
    default: return "unknown error";
    }
}

}  // namespace voicecvt
