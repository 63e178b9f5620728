// Where the audio of a source lies and how much of it there is: the header
// length, the frame count and the gain-control marker. The codec's header
// operations trust chunk offsets taken from the file, so the header is
// first checked against the file's size (Tessel::wav::ImageFits) and all
// length arithmetic is 64-bit: a damaged or truncated header is a result
// code, never a read beyond the bytes read. docs/conversion.md.
#pragma once

#include <cstdint>

#include "codec_framework/interfaces.h"

namespace velk {

inline constexpr uint32_t kAgcMarkerSum = 0x41474321;
inline constexpr uint32_t kAgcGroupBytes = 20;

struct SourceLayout {
    uint32_t headerSize = 0;  // H: offset of the audio
    uint32_t frames = 0;      // N: frames the worker converts (first one skipped)
    bool gainControl = false;
};

// The gain-control marker: recordings that want their loudness evened out
// carry, within their first frame counted from the file's very first byte
// (also when a header stands there), a group of 20 bytes at a multiple of
// 20 whose five little-endian 32-bit words add up, with wrap-around, to
// 0x41474321. What else the group holds is free; velkconv and the tests
// write "!CGA" followed by zeros. True when one of the first frameSize / 20
// groups of 20 bytes from `file` sums to the marker. The caller guarantees
// frameSize readable bytes.
bool HasAgcMarker(const uint8_t* file, uint32_t frameSize);

// Measures a source of `size` bytes whose first `viewSize` bytes are at
// `view` (all of a small file, the head of a large one) for a decoder whose
// factory is `codec` and whose coded frames are `frameSize` bytes (at least
// 1). A header must lie within the view. The audio runs from the header to
// the end of the file in whole source frames (the header's own data length
// is never consulted); the first frame after the header is not converted,
// so at least two whole frames must follow it. Returns 0 and fills `out`,
// or -13 (a file that ends inside its own header, or too few frames) /
// -14 (no WAV image at all: the format check).
int32_t MeasureSource(Tessel::ICodec& codec, const uint8_t* view, uint32_t viewSize, uint32_t size,
                      uint32_t frameSize, SourceLayout& out);

}  // namespace velk
