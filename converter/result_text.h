// The result codes of a conversion start and the one-line text that
// describes each of them.
//
// A start reports only its code; the texts exist so that whoever started it
// (a job describing its own result, the velkconv command, a log) can say
// what the code means, naming the library or file concerned. The texts of
// the codes the player knows are fixed: callers and operators compare them.
// Codes -5 to -10 and -15 to -17 are this library's own answers to faults that
// would otherwise have ended in a crash, a target full of silence, a
// target whose header lies about its length, or a recording overwritten by
// its own conversion.
//
// Shared by VelkCodec and velkconv, so that both print the same line for a
// code: the texts live here and nowhere else.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace velk {

enum ResultCode : int32_t {
    kStarted = 0,
    kTargetLibraryNotLoaded = -1,  // missing, no CreateCodecFactory, or unknown code
    kSourceLibraryNotLoaded = -2,
    kNoEncoder = -3,
    kNoDecoder = -4,
    kNoTargetFactory = -5,         // CreateCodecFactory answered null
    kNoSourceFactory = -6,
    kEncoderNotReady = -7,         // Init answered other than 0
    kDecoderNotReady = -8,
    kTargetFrameSizeUnsupported = -9,   // beyond the pipeline's fixed buffers
    kSourceFrameSizeUnsupported = -10,
    kSourceNotOpened = -11,
    kTargetNotCreated = -12,
    kSourceTooSmall = -13,
    kSourceFormatError = -14,
    kNoWorkerThread = -15,
    kTargetTooLarge = -16,         // its WAV lengths would not fit 32 bits
    kTargetIsSource = -17,         // the target names the source file itself
    kJobExists = -88,
};

// The names a job keeps, which the texts name.
struct JobNames {
    std::string targetLibrary;
    std::string sourceLibrary;
    std::string targetPath;
    std::string sourcePath;
};

// The line for `code`, without its line feed: "conv success!",
// "can't load DLL:AuralCodecG711a.dll", "Unknown error:-88", ...
std::string ResultText(int32_t code, const JobNames& names);

// Writes ResultText and a line feed to `out`; returns `out`.
std::ostream& WriteResultLine(std::ostream& out, int32_t code, const JobNames& names);

}  // namespace velk
