// The RIFF/WAVE chunk walk, check and writer (layout in wav_header.h).
#include "wav_header.h"

#include <array>
#include <cstring>

#include "riff_chunks.h"

namespace Tessel::wav {
namespace {

constexpr uint32_t kFmtBlockEnd = 36;  // tag .. bits per sample, from offset 20

using riff::Le32;
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Store16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
bool IdAt(const uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

// Step 1 of the walk: the three identifiers in place.
bool WalkIds(const uint8_t* image) {
    return image && IdAt(image, "RIFF") && IdAt(image + 8, "WAVE") && IdAt(image + 12, "fmt ");
}

// One walk, with every offset it reads kept in 64 bits so that lengths taken
// from the file cannot wrap.
struct Walk {
    bool headerIds = false;  // RIFF / WAVE / fmt in place
    uint32_t fmtSize = 0;
    bool hasFact = false;
    bool reachedData = false;
    uint64_t lastByteRead = 0;  // one past the last byte the walk looked at
};

// `size` bounds the walk when known; pass UINT64_MAX for a bare image.
Walk WalkImage(const uint8_t* image, uint64_t size) {
    Walk w;
    if (!image || size < 20) return w;
    w.lastByteRead = 20;
    if (!WalkIds(image)) return w;
    w.headerIds = true;
    w.fmtSize = Le32(image + 16);

    uint64_t next = riff::NextChunkAt(riff::kFirstChunk, w.fmtSize);
    w.lastByteRead = next + 4;
    if (w.lastByteRead > size) return w;
    if (IdAt(image + next, "fact")) {
        w.hasFact = true;
        w.lastByteRead = next + 8;
        if (w.lastByteRead > size) return w;
        next = riff::NextChunkAt(next, Le32(image + next + 4));
        w.lastByteRead = next + 4;
        if (w.lastByteRead > size) return w;
    }
    w.reachedData = IdAt(image + next, "data");
    return w;
}

constexpr uint64_t kUnbounded = UINT64_MAX;

}  // namespace

uint32_t FmtChunkSize(const uint8_t* image) { return WalkIds(image) ? Le32(image + 16) : 0; }

uint32_t HeaderSize(const uint8_t* image) {
    const Walk w = WalkImage(image, kUnbounded);
    if (w.fmtSize == 0 || !w.reachedData) return 0;
    // wraps modulo 2^32 (see wav_header.h)
    return w.fmtSize + (w.fmtSize & 1u) + 28u + (w.hasFact ? 12u : 0u);
}

bool IsRecognised(const uint8_t* image) { return WalkImage(image, kUnbounded).reachedData; }

bool FormatMatches(const uint8_t* image, const Format& f) {
    return image && Le16(image + 20) == f.tag && Le16(image + 22) == f.channels &&
           Le32(image + 24) == f.samplesPerSec && Le32(image + 28) == f.bytesPerSec &&
           Le16(image + 34) == f.bitsPerSample;
}

bool ImageFits(const uint8_t* image, uint64_t size) {
    if (!image || size < kFmtBlockEnd) return false;
    const Walk w = WalkImage(image, size);
    return w.lastByteRead <= size;
}

uint32_t WriteHeader(uint8_t* buffer, const Format& f, uint32_t dataLength) {
    if (!buffer || f.HeaderSize() > kMaxHeaderSize) return 0;
    const uint32_t F = f.FmtChunkSize();
    // The template: the complete header with the codec's values and zero
    // lengths, then the chunk fields written over it.
    std::array<uint8_t, kMaxHeaderSize> t{};
    std::memcpy(&t[0], "RIFF", 4);
    std::memcpy(&t[8], "WAVE", 4);
    std::memcpy(&t[12], "fmt ", 4);
    Store32(&t[16], F);
    Store16(&t[20], f.tag);
    Store16(&t[22], f.channels);
    Store32(&t[24], f.samplesPerSec);
    Store32(&t[28], f.bytesPerSec);
    Store16(&t[32], f.blockAlign);
    Store16(&t[34], f.bitsPerSample);
    Store16(&t[36], f.extraSize);
    if (f.extraSize) std::memcpy(&t[38], f.extra, f.extraSize);
    std::memcpy(&t[20 + F], "fact", 4);
    Store32(&t[24 + F], 4);
    std::memcpy(&t[32 + F], "data", 4);

    Store32(&t[28 + F], dataLength);
    Store32(&t[36 + F], dataLength);
    Store32(&t[4], dataLength + F + 32);  // modulo 2^32, as the field is
    std::memcpy(buffer, t.data(), 40 + F);
    return 40 + F;
}

}  // namespace Tessel::wav
