// The WAV side of a conversion: the header written in front of converted
// audio (44 bytes for 16-bit PCM, 58 with a fact chunk for A-law) and the
// walk that finds the sample data of a WAV given to be encoded.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "outside/voicecvt/transcoders.h"

namespace voicecvt {

// Header bytes in front of the data for `coding`.
uint32_t WaveHeaderSize(WaveCoding coding);
// The header announcing `dataBytes` of 8 kHz mono audio.
std::vector<uint8_t> WaveHeader(WaveCoding coding, uint32_t dataBytes);

struct WaveData {
    WaveCoding coding;
    uint64_t offset;  // of the first sample byte
    uint64_t bytes;   // whole samples, never past the file's end
};

// Reads the chunks of a WAV of `fileSize` bytes from `fd`: 8 kHz mono
// 16-bit PCM, or A-law (tag 6, 8 bits). Nothing for any other file.
std::optional<WaveData> FindWaveData(int fd, uint64_t fileSize);

}  // namespace voicecvt
