// recgen: recordings the outside libraries write, as a recorder would.
//
// VOC, VC2 and VC5 recordings are made by VoiceCvt from a 16-bit PCM WAV
// file of the call (QZ_StartCvtFromFileWave, polled to 100), and encrypted
// recordings by VelkCodec's cvt_EncryptFile from the plain recording, with
// the player's voice mask. Both libraries are loaded by name from the
// program folder, as the player loads them. The plain intermediate file is
// removed again; a library that is missing or fails throws CodecError.
#pragma once

#include <cstdint>
#include <filesystem>

#include "codec_writer.h"
#include "platform/dynlib/dynlib.h"

namespace recgen {

class VoiceWriter {
public:
    VoiceWriter();
    // Converts the WAV file `wav` into a recording of VoiceCvt's `type` at `path`.
    void Write(const std::filesystem::path& wav, const std::filesystem::path& path, std::int32_t type);

private:
    platform::dynlib::Library library_;
};

class Encryptor {
public:
    Encryptor();
    // Encrypts `plain` (type 0 WAV, 3 NTC) into `path`.
    void Write(const std::filesystem::path& plain, const std::filesystem::path& path, std::int32_t type);

private:
    platform::dynlib::Library library_;
};

}  // namespace recgen
