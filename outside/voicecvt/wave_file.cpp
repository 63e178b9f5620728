// Writes and walks RIFF/WAVE headers. The walk trusts no length in the
// file: a data chunk longer than the file (a recorder still writing) is
// taken as far as the file goes.
#include "outside/voicecvt/wave_file.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace voicecvt {

namespace {

constexpr uint16_t kTagPcm = 1, kTagALaw = 6;
constexpr uint32_t kRate = 8000;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}
void PutTag(std::vector<uint8_t>& out, const char (&tag)[5]) { out.insert(out.end(), tag, tag + 4); }

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool ReadAt(int fd, void* buffer, size_t size, uint64_t offset) {
    return pread(fd, buffer, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

}  // namespace

uint32_t WaveHeaderSize(WaveCoding coding) { return coding == WaveCoding::ALaw ? 58 : 44; }

std::vector<uint8_t> WaveHeader(WaveCoding coding, uint32_t dataBytes) {
    const bool alaw = coding == WaveCoding::ALaw;
    const uint16_t bytesPerSample = alaw ? 1 : 2;
    std::vector<uint8_t> h;
    h.reserve(WaveHeaderSize(coding));
    PutTag(h, "RIFF");
    Put32(h, WaveHeaderSize(coding) - 8 + dataBytes);
    PutTag(h, "WAVE");
    PutTag(h, "fmt ");
    Put32(h, alaw ? 18 : 16);
    Put16(h, alaw ? kTagALaw : kTagPcm);
    Put16(h, 1);
    Put32(h, kRate);
    Put32(h, kRate * bytesPerSample);
    Put16(h, bytesPerSample);
    Put16(h, static_cast<uint16_t>(8 * bytesPerSample));
    if (alaw) {
        Put16(h, 0);  // no extra format bytes
        PutTag(h, "fact");
        Put32(h, 4);
        Put32(h, dataBytes);  // samples
    }
    PutTag(h, "data");
    Put32(h, dataBytes);
    return h;
}

std::optional<WaveData> FindWaveData(int fd, uint64_t fileSize) {
    std::array<uint8_t, 12> riff{};
    if (!ReadAt(fd, riff.data(), riff.size(), 0) || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
        std::memcmp(riff.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::optional<WaveCoding> coding;
    for (uint64_t at = 12; at + 8 <= fileSize;) {
        std::array<uint8_t, 8> chunk{};
        if (!ReadAt(fd, chunk.data(), chunk.size(), at)) return std::nullopt;
        const uint64_t size = Get32(chunk.data() + 4);
        const uint64_t body = at + 8;
        if (std::memcmp(chunk.data(), "fmt ", 4) == 0) {
            std::array<uint8_t, 16> fmt{};
            if (size < fmt.size() || !ReadAt(fd, fmt.data(), fmt.size(), body)) return std::nullopt;
            const uint16_t tag = Get16(&fmt[0]), channels = Get16(&fmt[2]), bits = Get16(&fmt[14]);
            if (channels != 1 || Get32(&fmt[4]) != kRate) return std::nullopt;
            if (tag == kTagPcm && bits == 16) coding = WaveCoding::Pcm16;
            else if (tag == kTagALaw && bits == 8) coding = WaveCoding::ALaw;
            else return std::nullopt;
        } else if (std::memcmp(chunk.data(), "data", 4) == 0) {
            if (!coding) return std::nullopt;  // data before its format
            uint64_t bytes = std::min(size, fileSize - body);
            if (*coding == WaveCoding::Pcm16) bytes &= ~uint64_t{1};
            return WaveData{*coding, body, bytes};
        }
        at = body + size + (size & 1);  // chunks are padded to even lengths
    }
    return std::nullopt;
}

}  // namespace voicecvt
