// The entry points of the conversion library VelkCodec, as a caller binds
// them: by name, at run time ("VelkCodec.dll" through platform/dynlib);
// nothing links against the library. The three conversion calls are meant
// to be called from one thread; paths are zero-terminated 8-bit texts
// (UTF-8 here). docs/conversion.md, docs/encryption.md.
#pragma once

#include <cstdint>

namespace velk {

// cvt_VelkCodec: starts a conversion; 0 when its worker runs, else a
// negative result code (result_text.h), -88 while an earlier conversion has
// not been collected. Returns as soon as the worker is started.
using VelkCodecFn = int32_t (*)(const char* source, int32_t sourceCode, const char* target, int32_t targetCode);
// cvt_GetConvertProgress: per cent done. Below 100 it answers at once; at
// 100 it waits until the worker has ended (returning as soon as it has, at
// once when it had), collects the conversion and answers 100.
using GetConvertProgressFn = int32_t (*)();
// cvt_StopConvert: asks the worker to stop after its current frame,
// returns as soon as it has ended (at once when none runs), collects the
// conversion; always 0.
using StopConvertFn = int32_t (*)();
// cvt_SetVoiceMask: sets the voice mask the keys of encrypted recordings
// are derived from; "" clears it. 0.
using SetVoiceMaskFn = int16_t (*)(char* mask);
// cvt_DecryptFile, cvt_EncryptFile: type 0 WAV, 3 NTC. 0 when the target
// was written; a positive failure code otherwise, and then nothing is left
// at the target (its format and codes: docs/encryption.md).
using CryptFileFn = int16_t (*)(char* source, int32_t type, char* target);

inline constexpr const char* kLibraryName = "VelkCodec.dll";
inline constexpr const char* kVelkCodecName = "cvt_VelkCodec";
inline constexpr const char* kGetConvertProgressName = "cvt_GetConvertProgress";
inline constexpr const char* kStopConvertName = "cvt_StopConvert";
inline constexpr const char* kSetVoiceMaskName = "cvt_SetVoiceMask";
inline constexpr const char* kDecryptFileName = "cvt_DecryptFile";
inline constexpr const char* kEncryptFileName = "cvt_EncryptFile";

}  // namespace velk
