// The RIFF walk and the sample decoding of the WAV files the devices play.
// Every chunk's size is checked against the file's size before it is used, so
// a damaged header is refused rather than read past the end of the file.
#include "platform/mci/wav_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <utility>

#include "codec_framework/riff_chunks.h"

namespace platform::mci {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
using Tessel::riff::Le32;

bool ReadAt(int fd, uint64_t offset, void* to, size_t size) {
    auto* p = static_cast<uint8_t*>(to);
    while (size > 0) {
        ssize_t got = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (got <= 0) return false;
        p += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

int16_t DecodeALaw(uint8_t code) {
    code ^= 0x55;
    int exponent = (code >> 4) & 0x07;
    int mantissa = code & 0x0F;
    int magnitude = exponent == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
    return static_cast<int16_t>((code & 0x80) ? magnitude : -magnitude);
}

int16_t DecodeMuLaw(uint8_t code) {
    code = static_cast<uint8_t>(~code);
    int exponent = (code >> 4) & 0x07;
    int magnitude = ((((code & 0x0F) << 3) + 0x84) << exponent) - 0x84;
    return static_cast<int16_t>((code & 0x80) ? -magnitude : magnitude);
}

namespace {

// Each code's sample, looked up rather than computed: the decoding is most of
// the cost of reading an hour's waveform.
template <int16_t (*Decode)(uint8_t)>
constexpr std::array<int16_t, 256> CodeTable() {
    std::array<int16_t, 256> table{};
    for (int code = 0; code < 256; ++code) table[static_cast<size_t>(code)] = Decode(static_cast<uint8_t>(code));
    return table;
}
const std::array<int16_t, 256> kALawTable = CodeTable<DecodeALaw>();
const std::array<int16_t, 256> kMuLawTable = CodeTable<DecodeMuLaw>();

}  // namespace

std::optional<WavFile> WavFile::Open(const std::string& path) {
    WavFile wav;
    wav.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (wav.fd_ < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(wav.fd_, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const uint64_t file_size = static_cast<uint64_t>(st.st_size);

    std::array<uint8_t, 12> riff{};
    if (file_size < riff.size() || !ReadAt(wav.fd_, 0, riff.data(), riff.size())) return std::nullopt;
    if (!Tessel::riff::OpensRiffWave(riff.data())) return std::nullopt;

    bool have_fmt = false, have_data = false;
    uint64_t data_size = 0;
    Tessel::riff::ChunkWalk chunks([&](uint64_t at, uint8_t* to, uint64_t count) {
        return at <= file_size && count <= file_size - at && ReadAt(wav.fd_, at, to, count);
    });
    while (!(have_fmt && have_data)) {
        const auto chunk = chunks.Next();
        if (!chunk) return std::nullopt;
        const uint64_t size = chunk->length;
        const uint64_t body = chunk->Body();
        if (body + size > file_size) return std::nullopt;  // a chunk that runs past the end
        if (chunk->Is("fmt ")) {
            std::array<uint8_t, 16> fmt{};
            if (size < fmt.size() || !ReadAt(wav.fd_, body, fmt.data(), fmt.size())) return std::nullopt;
            wav.tag_ = Le16(&fmt[0]);
            wav.channels_ = Le16(&fmt[2]);
            wav.rate_ = Le32(&fmt[4]);
            wav.block_ = Le16(&fmt[12]);
            wav.bits_ = Le16(&fmt[14]);
            have_fmt = true;
        } else if (chunk->Is("data")) {
            wav.data_offset_ = body;
            data_size = size;
            have_data = true;
        }
    }

    const bool pcm = wav.tag_ == kPcm && (wav.bits_ == 8 || wav.bits_ == 16);
    const bool law = (wav.tag_ == kALaw || wav.tag_ == kMuLaw) && wav.bits_ == 8;
    if (!(pcm || law) || wav.channels_ < 1 || wav.channels_ > 8 || wav.rate_ < 1000 || wav.rate_ > 384000 ||
        wav.block_ != wav.channels_ * (wav.bits_ / 8))
        return std::nullopt;
    wav.frames_ = data_size / wav.block_;
    return wav;
}

WavFile::WavFile(WavFile&& other) noexcept { *this = std::move(other); }

WavFile& WavFile::operator=(WavFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        tag_ = other.tag_;
        channels_ = other.channels_;
        bits_ = other.bits_;
        block_ = other.block_;
        rate_ = other.rate_;
        data_offset_ = other.data_offset_;
        frames_ = other.frames_;
        scratch_ = std::move(other.scratch_);
    }
    return *this;
}

WavFile::~WavFile() {
    if (fd_ >= 0) ::close(fd_);
}

size_t WavFile::Read(uint64_t first, size_t count, int16_t* out, std::vector<uint8_t>& scratch) const {
    if (first >= frames_) return 0;
    if (count > frames_ - first) count = static_cast<size_t>(frames_ - first);
    const size_t bytes = count * block_;
    if (scratch.size() < bytes) scratch.resize(bytes);
    ssize_t got = ::pread(fd_, scratch.data(), bytes, static_cast<off_t>(data_offset_ + first * block_));
    if (got <= 0) return 0;
    count = static_cast<size_t>(got) / block_;
    const size_t samples = count * channels_;
    const uint8_t* in = scratch.data();
    if (bits_ == 16) {
        for (size_t i = 0; i < samples; ++i) out[i] = static_cast<int16_t>(Le16(in + 2 * i));
    } else if (tag_ == kPcm) {
        for (size_t i = 0; i < samples; ++i) out[i] = static_cast<int16_t>((in[i] - 128) << 8);
    } else {
        const std::array<int16_t, 256>& table = tag_ == kALaw ? kALawTable : kMuLawTable;
        for (size_t i = 0; i < samples; ++i) out[i] = table[in[i]];
    }
    return count;
}

}  // namespace platform::mci
