// Header length, frame count and marker scan of a source (see
// source_layout.h).
#include "source_layout.h"

#include <algorithm>
#include <cstring>

#include "codec_framework/wav_header.h"
#include "result_text.h"

namespace velk {
namespace {

uint32_t Load32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The identifiers a RIFF/WAVE image opens with; the caller guarantees 16
// readable bytes.
bool OpensLikeAWavImage(const uint8_t* view) {
    return std::memcmp(view, "RIFF", 4) == 0 && std::memcmp(view + 8, "WAVE", 4) == 0 &&
           std::memcmp(view + 12, "fmt ", 4) == 0;
}

// The header length, checked so that the codec never reads past the file.
int32_t MeasureHeader(Tessel::ICodec& codec, const uint8_t* view, uint32_t viewSize, uint32_t size,
                      uint32_t& header) {
    header = 0;
    if (size < 16) return kSourceTooSmall;  // not even the identifiers fit
    // A header that runs past the bytes read ahead (the whole of a small
    // file) is too small when the file ends there, no recording's otherwise.
    if (!Tessel::wav::ImageFits(view, viewSize))
        return OpensLikeAWavImage(view) && viewSize == size ? kSourceTooSmall : kSourceFormatError;
    const int32_t h = codec.GetHeaderSize(view);
    header = h > 0 ? uint32_t(h) : 0;
    if (header >= size) return kSourceTooSmall;
    if (!codec.CheckHeader(view)) return kSourceFormatError;
    return kStarted;
}

}  // namespace

bool HasAgcMarker(const uint8_t* file, uint32_t frameSize) {
    const uint32_t groups = frameSize / kAgcGroupBytes;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint8_t* group = file + size_t(g) * kAgcGroupBytes;
        uint32_t sum = 0;
        for (int w = 0; w < 5; ++w) sum += Load32(group + 4 * w);
        if (sum == kAgcMarkerSum) return true;
    }
    return false;
}

int32_t MeasureSource(Tessel::ICodec& codec, const uint8_t* view, uint32_t viewSize, uint32_t size,
                      uint32_t frameSize, SourceLayout& out) {
    out = {};
    if (codec.GetOwnHeaderSize() > 0) {
        if (int32_t code = MeasureHeader(codec, view, viewSize, size, out.headerSize); code != kStarted) return code;
    }
    const uint64_t whole = (uint64_t(size) - out.headerSize) / frameSize;
    if (whole <= 1) return kSourceTooSmall;
    out.frames = uint32_t(whole - 1);  // below 2^32; the job bounds it by what its target can announce
    out.gainControl = HasAgcMarker(view, std::min(frameSize, viewSize));
    return kStarted;
}

}  // namespace velk
