// The RIFF/WAVE header as the codecs read and write it.
//
// Recordings and converted files are raw coded audio or audio behind a
// header of this shape (all numbers little-endian, F = fmt chunk length):
//
//   0  "RIFF"  4  data length + F + 32   8  "WAVE"
//   12 "fmt "  16 F    20 tag  22 channels  24 rate  28 bytes/s
//   32 align   34 bits 36 F - 18 (extra length)  38 extra bytes
//   20+F "fact" 24+F 4   28+F data length (bytes, not samples)
//   32+F "data" 36+F data length            40+F audio
//
// A chunk of odd length is followed by one pad byte (riff_chunks.h; the
// written headers have even chunks). No other chunk (a list chunk, say) is
// written or recognised: the walk goes fmt -> optional fact -> data and gives
// up on anything else. The RIFF length and the data chunk's length are never
// read; the audio is taken to run to the end of the file.
//
// These functions read only the bytes the walk needs and do not know the
// image's length (the codec interface hands over a bare pointer). A caller
// holding a file of known size asks ImageFits first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Tessel::wav {

// The format block a codec writes and the five fields its check compares
// (tag, channels, rate, bytes per second, bits; align and extra are written
// but not compared).
struct Format {
    uint16_t tag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t bytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    const uint8_t* extra = nullptr;  // extra format bytes, F - 18 of them
    uint16_t extraSize = 0;

    constexpr uint32_t FmtChunkSize() const { return 18u + extraSize; }
    constexpr uint32_t HeaderSize() const { return 40u + FmtChunkSize(); }
};

// The conversion library hands WriteHeader a buffer of this size, so no
// codec's header may be longer.
inline constexpr uint32_t kMaxHeaderSize = 128;

// F when "RIFF" at 0, "WAVE" at 8 and "fmt " at 12 stand in place; else 0.
uint32_t FmtChunkSize(const uint8_t* image);
// Offset of the audio: F + 28 (F + 29 for an odd F, behind its pad byte),
// plus 12 when a fact chunk precedes the data chunk (whatever its length
// field says); 0 when F is 0 or no data chunk is reached. Computed modulo
// 2^32, as the 32-bit interface reports it.
uint32_t HeaderSize(const uint8_t* image);
// True when the walk reaches the data chunk.
bool IsRecognised(const uint8_t* image);
// True when the five compared fields equal the format's.
bool FormatMatches(const uint8_t* image, const Format& format);
// True when every byte that FmtChunkSize, HeaderSize, IsRecognised and
// FormatMatches would read lies within the first `size` bytes: the walk
// through offsets taken from the file cannot leave the image.
bool ImageFits(const uint8_t* image, uint64_t size);
// Writes the complete header for dataLength coded bytes; returns its length
// (40 + F), or 0 for a null buffer. The buffer must hold format.HeaderSize()
// bytes.
uint32_t WriteHeader(uint8_t* buffer, const Format& format, uint32_t dataLength);

}  // namespace Tessel::wav
