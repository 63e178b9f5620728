// The entry points of the outside voice-conversion library VoiceCvt, as a
// caller binds them: by name, at run time ("VoiceCvt.dll" through
// platform/dynlib); nothing links against the library. Formats and codes:
// docs/voicecvt.md.
#pragma once

#include <cstdint>

namespace voicecvt {

// QZ_InitCvt: prepares the library; 0.
using InitCvtFn = int32_t (*)();
// QZ_StartCvtToFileWave(source, WAV target, type, gain): starts converting
// a recording into a WAV file on a worker thread of its own: type 0 VOC,
// 1 VC2, 4 VC5; gain 1.0 leaves the level as it is. 0 when the worker runs,
// a negative code otherwise. QZ_StartCvtFromFileWave(WAV source, target,
// type, gain): the reverse, a 16-bit PCM (or, for VOC, A-law) WAV file into
// a recording of the type; the same codes.
using StartCvtFn = int32_t (*)(const char* source, const char* target, int32_t type, double gain);
// QZ_GetCvtVoiceProcess: per cent done; 100 once the conversion has ended,
// whether it succeeded or not (a failed one leaves no target).
using GetCvtVoiceProcessFn = int16_t (*)();
// QZ_StopCvtToFileWave: stops the running conversion, joins its worker; 0.
using StopCvtFn = int32_t (*)();

inline constexpr const char* kLibraryName = "VoiceCvt.dll";
inline constexpr const char* kInitCvtName = "QZ_InitCvt";
inline constexpr const char* kStartCvtToFileWaveName = "QZ_StartCvtToFileWave";
inline constexpr const char* kStartCvtFromFileWaveName = "QZ_StartCvtFromFileWave";
inline constexpr const char* kGetCvtVoiceProcessName = "QZ_GetCvtVoiceProcess";
inline constexpr const char* kStopCvtToFileWaveName = "QZ_StopCvtToFileWave";

inline constexpr int32_t kTypeVoc = 0, kTypeVc2 = 1, kTypeVc5 = 4;

}  // namespace voicecvt
