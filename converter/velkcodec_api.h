// The three entry points of the conversion library VelkCodec, as a caller
// binds them: by name, at run time ("VelkCodec.dll" through
// platform/dynlib). Nothing links against the library.
//
//   int32_t cvt_VelkCodec(source path, source format code, target path, target format code)
//     Starts a conversion; 0 when its worker runs, else a negative result
//     code (result_text.h), -88 while an earlier conversion has not been
//     collected. Returns as soon as the worker is started.
//   int32_t cvt_GetConvertProgress()
//     Per cent done. Below 100 it answers at once; at 100 it waits until the
//     worker has ended (returning as soon as it has, at once when it had),
//     collects the conversion and answers 100.
//   int32_t cvt_StopConvert()
//     Asks the worker to stop after its current frame, returns as soon as
//     it has ended (at once when none runs), collects the conversion;
//     always 0.
//
// The three are meant to be called from one thread. Paths are zero-
// terminated 8-bit texts (UTF-8 here).
//
// Encrypted recordings, beside them in the same library:
//   int16_t cvt_SetVoiceMask(char* mask)
//     Sets the voice mask the keys are derived from; "" clears it. 0.
//   int16_t cvt_DecryptFile(char* source, int32_t type, char* target)
//   int16_t cvt_EncryptFile(char* source, int32_t type, char* target)
//     Type 0 WAV, 3 NTC. 0 when the target was written; a positive failure
//     code otherwise, and then nothing is left at the target (its format and
//     codes: docs/encryption.md).
#pragma once

#include <cstdint>

namespace velk {

using VelkCodecFn = int32_t (*)(const char* source, int32_t sourceCode, const char* target, int32_t targetCode);
using GetConvertProgressFn = int32_t (*)();
using StopConvertFn = int32_t (*)();
using SetVoiceMaskFn = int16_t (*)(char* mask);
using CryptFileFn = int16_t (*)(char* source, int32_t type, char* target);

inline constexpr const char* kLibraryName = "VelkCodec.dll";
inline constexpr const char* kVelkCodecName = "cvt_VelkCodec";
inline constexpr const char* kGetConvertProgressName = "cvt_GetConvertProgress";
inline constexpr const char* kStopConvertName = "cvt_StopConvert";
inline constexpr const char* kSetVoiceMaskName = "cvt_SetVoiceMask";
inline constexpr const char* kDecryptFileName = "cvt_DecryptFile";
inline constexpr const char* kEncryptFileName = "cvt_EncryptFile";

}  // namespace velk
