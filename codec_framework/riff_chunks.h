// The chunks of a RIFF/WAVE file, one after another: an id, a little-endian
// length and the body, then one pad byte when the length is odd, as real
// files are written. Every walk over WAV files steps by this rule: the
// codecs' strict header walk (wav_header.cpp), the player's rate probe and
// the MCI layer's reader. Header-only, reading through the caller's function,
// so an image in memory and a file read chunk by chunk walk alike.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace Tessel::riff {

inline constexpr uint64_t kFirstChunk = 12;      // after "RIFF", the RIFF length and "WAVE"
inline constexpr uint64_t kChunkHeaderSize = 8;  // id and length

// Where the chunk after the one whose header stands at `at` begins.
constexpr uint64_t NextChunkAt(uint64_t at, uint32_t length) {
    return at + kChunkHeaderSize + length + (length & 1u);
}

inline uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// True when "RIFF" stands at 0 and "WAVE" at 8 of these 12 bytes.
inline bool OpensRiffWave(const uint8_t* first) {
    return std::memcmp(first, "RIFF", 4) == 0 && std::memcmp(first + 8, "WAVE", 4) == 0;
}

struct Chunk {
    std::array<char, 4> id{};
    uint32_t length = 0;  // of the body, without the pad byte
    uint64_t at = 0;      // where its header stands

    bool Is(const char (&four)[5]) const { return std::memcmp(id.data(), four, 4) == 0; }
    uint64_t Body() const { return at + kChunkHeaderSize; }
    uint64_t Next() const { return NextChunkAt(at, length); }
};

// The chunk headers from `at` on. `read(offset, to, count)` fills `count`
// bytes from the file's `offset` and answers false when it cannot.
template <class Read>
class ChunkWalk {
public:
    explicit ChunkWalk(Read read, uint64_t at = kFirstChunk) : read_(std::move(read)), at_(at) {}

    // The chunk at the walk's place, the walk moved past it; nullopt when its
    // header cannot be read (the end of the image or file).
    std::optional<Chunk> Next() {
        uint8_t header[kChunkHeaderSize];
        if (!read_(at_, header, kChunkHeaderSize)) return std::nullopt;
        Chunk c;
        std::memcpy(c.id.data(), header, 4);
        c.length = Le32(header + 4);
        c.at = at_;
        at_ = c.Next();
        return c;
    }

private:
    Read read_;
    uint64_t at_;
};

// Reads from the first `size` bytes of an image in memory.
struct ImageReader {
    const uint8_t* image;
    uint64_t size;

    bool operator()(uint64_t at, uint8_t* to, uint64_t count) const {
        if (at > size || count > size - at) return false;
        std::memcpy(to, image + at, count);
        return true;
    }
};

}  // namespace Tessel::riff
