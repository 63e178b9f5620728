// A WAV file opened for streaming: the RIFF walk checked against the file's
// size, then frames read on demand (pread) and decoded to 16-bit samples.
// Nothing but the header is held, so a ten-hour file costs what a short one does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::mci {

class WavFile {
public:
    // The file's format tags this reader decodes.
    static constexpr uint16_t kPcm = 1, kALaw = 6, kMuLaw = 7;

    // Walks the chunks; nullopt for a missing, unreadable or damaged file, or a
    // format other than 8/16-bit PCM, A-law or µ-law.
    static std::optional<WavFile> Open(const std::string& path);

    WavFile(WavFile&& other) noexcept;
    WavFile& operator=(WavFile&& other) noexcept;
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;
    ~WavFile();

    uint32_t Rate() const { return rate_; }
    uint16_t Channels() const { return channels_; }
    uint64_t Frames() const { return frames_; }

    // Decodes up to `count` frames from frame `first` into `out` (count *
    // Channels() samples); returns the frames read, fewer at the end or on a
    // read error.
    size_t Read(uint64_t first, size_t count, int16_t* out) { return Read(first, count, out, scratch_); }
    // The same with the caller's buffer for the file's bytes, for readers of
    // a const file (a scan of the whole recording).
    size_t Read(uint64_t first, size_t count, int16_t* out, std::vector<uint8_t>& scratch) const;

private:
    WavFile() = default;

    int fd_ = -1;
    uint16_t tag_ = 0, channels_ = 0, bits_ = 0, block_ = 0;
    uint32_t rate_ = 0;
    uint64_t data_offset_ = 0, frames_ = 0;
    std::vector<uint8_t> scratch_;
};

int16_t DecodeALaw(uint8_t code);
int16_t DecodeMuLaw(uint8_t code);

}  // namespace platform::mci
