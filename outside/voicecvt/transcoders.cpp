// The formats' codecs: A-law through spandsp's g711 inlines, OKI ADPCM at
// 32 kbit/s through spandsp's oki_adpcm, Opus at 12 800 bit/s hard CBR in
// 32-byte 20 ms frames through libopus. A damaged Opus frame is concealed.
#include "outside/voicecvt/transcoders.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

// spandsp's headers after the standard ones: telephony.h redefines lrint.
#include <opus.h>
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/oki_adpcm.h>

namespace voicecvt {

namespace {

constexpr int kOpusFrameSamples = 160;  // 20 ms at 8 kHz
constexpr int kOpusFrameBytes = 32;     // 12 800 bit/s
constexpr int kOpusBitRate = 12800;

// Output level: 1.0 leaves samples as they are; otherwise rounded and
// clipped to 16 bits.
struct Gain {
    double factor;
    bool Unity() const { return factor == 1.0; }
    int16_t operator()(int16_t s) const {
        const double v = std::nearbyint(s * factor);
        return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    void Apply(std::span<int16_t> samples) const {
        if (!Unity())
            for (int16_t& s : samples) s = (*this)(s);
    }
};

void AppendPcm(std::span<const int16_t> samples, std::vector<uint8_t>& out) {
    const size_t at = out.size();
    out.resize(at + samples.size() * 2);
    uint8_t* p = out.data() + at;
    if constexpr (std::endian::native == std::endian::little) {
        if (!samples.empty()) std::memcpy(p, samples.data(), samples.size() * 2);  // an empty vector may have no buffer
        return;
    }
    for (int16_t s : samples) {
        *p++ = static_cast<uint8_t>(s);
        *p++ = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
    }
}

// Little-endian 16-bit samples of `in`, whole samples only.
std::span<int16_t> ReadPcm(std::span<const uint8_t> in, std::vector<int16_t>& buffer) {
    buffer.resize(in.size() / 2);
    if constexpr (std::endian::native == std::endian::little) {
        if (!buffer.empty()) std::memcpy(buffer.data(), in.data(), buffer.size() * 2);
        return buffer;
    }
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<int16_t>(in[2 * i] | (in[2 * i + 1] << 8));
    return buffer;
}

// A-law to A-law: a copy at gain 1.0, else decoded, scaled, re-encoded.
class ALawCopy final : public Transcoder {
public:
    explicit ALawCopy(Gain gain) : gain_(gain) {}
    bool Convert(std::span<const uint8_t> in, bool, std::vector<uint8_t>& out) override {
        if (gain_.Unity()) {
            out.insert(out.end(), in.begin(), in.end());
        } else {
            for (uint8_t a : in) out.push_back(linear_to_alaw(gain_(alaw_to_linear(a))));
        }
        return true;
    }

private:
    Gain gain_;
};

class PcmToALaw final : public Transcoder {
public:
    explicit PcmToALaw(Gain gain) : gain_(gain) {}
    bool Convert(std::span<const uint8_t> in, bool, std::vector<uint8_t>& out) override {
        for (int16_t s : ReadPcm(in, pcm_)) out.push_back(linear_to_alaw(gain_(s)));
        return true;
    }

private:
    Gain gain_;
    std::vector<int16_t> pcm_;
};

struct OkiFree {
    void operator()(oki_adpcm_state_t* s) const { oki_adpcm_free(s); }
};
using OkiState = std::unique_ptr<oki_adpcm_state_t, OkiFree>;

class OkiDecode final : public Transcoder {
public:
    OkiDecode(OkiState state, Gain gain) : state_(std::move(state)), gain_(gain) {}
    bool Convert(std::span<const uint8_t> in, bool, std::vector<uint8_t>& out) override {
        pcm_.resize(in.size() * 2);
        const int n = oki_adpcm_decode(state_.get(), pcm_.data(), in.data(), static_cast<int>(in.size()));
        const std::span<int16_t> samples(pcm_.data(), static_cast<size_t>(std::max(n, 0)));
        gain_.Apply(samples);
        AppendPcm(samples, out);
        return true;
    }

private:
    OkiState state_;
    Gain gain_;
    std::vector<int16_t> pcm_;
};

class OkiEncode final : public Transcoder {
public:
    OkiEncode(OkiState state, Gain gain) : state_(std::move(state)), gain_(gain) {}
    bool Convert(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) override {
        ReadPcm(in, pcm_);
        if (last && pcm_.size() % 2 != 0) pcm_.push_back(0);  // two samples a byte
        gain_.Apply(pcm_);
        const size_t at = out.size();
        out.resize(at + pcm_.size() / 2 + 1);
        const int n = oki_adpcm_encode(state_.get(), out.data() + at, pcm_.data(), static_cast<int>(pcm_.size()));
        out.resize(at + static_cast<size_t>(std::max(n, 0)));
        return true;
    }

private:
    OkiState state_;
    Gain gain_;
    std::vector<int16_t> pcm_;
};

struct OpusDecoderFree {
    void operator()(OpusDecoder* d) const { opus_decoder_destroy(d); }
};
struct OpusEncoderFree {
    void operator()(OpusEncoder* e) const { opus_encoder_destroy(e); }
};
using OpusDecoderState = std::unique_ptr<OpusDecoder, OpusDecoderFree>;
using OpusEncoderState = std::unique_ptr<OpusEncoder, OpusEncoderFree>;

class OpusDecode final : public Transcoder {
public:
    OpusDecode(OpusDecoderState decoder, Gain gain) : decoder_(std::move(decoder)), gain_(gain) {}
    bool Convert(std::span<const uint8_t> in, bool, std::vector<uint8_t>& out) override {
        int16_t pcm[kOpusFrameSamples];
        for (size_t at = 0; at + kOpusFrameBytes <= in.size(); at += kOpusFrameBytes) {
            int n = opus_decode(decoder_.get(), in.data() + at, kOpusFrameBytes, pcm, kOpusFrameSamples, 0);
            if (n != kOpusFrameSamples)  // damaged: concealed as a lost frame
                n = opus_decode(decoder_.get(), nullptr, 0, pcm, kOpusFrameSamples, 0);
            if (n != kOpusFrameSamples) std::memset(pcm, 0, sizeof pcm);
            gain_.Apply(pcm);
            AppendPcm(pcm, out);
        }
        return true;
    }

private:
    OpusDecoderState decoder_;
    Gain gain_;
};

class OpusEncode final : public Transcoder {
public:
    OpusEncode(OpusEncoderState encoder, Gain gain) : encoder_(std::move(encoder)), gain_(gain) {}
    bool Convert(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) override {
        ReadPcm(in, pcm_);
        if (last && pcm_.size() % kOpusFrameSamples != 0)  // the last frame filled with silence
            pcm_.resize((pcm_.size() / kOpusFrameSamples + 1) * kOpusFrameSamples, 0);
        gain_.Apply(pcm_);
        for (size_t at = 0; at + kOpusFrameSamples <= pcm_.size(); at += kOpusFrameSamples) {
            uint8_t frame[kOpusFrameBytes];
            const int n = opus_encode(encoder_.get(), pcm_.data() + at, kOpusFrameSamples, frame, kOpusFrameBytes);
            if (n <= 0 || (n < kOpusFrameBytes && opus_packet_pad(frame, n, kOpusFrameBytes) != OPUS_OK)) return false;
            out.insert(out.end(), frame, frame + kOpusFrameBytes);
        }
        return true;
    }

private:
    OpusEncoderState encoder_;
    Gain gain_;
    std::vector<int16_t> pcm_;
};

OkiState MakeOki() { return OkiState(oki_adpcm_init(nullptr, 32000)); }

}  // namespace

std::unique_ptr<Transcoder> MakeTranscoder(int32_t type, Direction direction, WaveCoding coding, double gainFactor) {
    const Gain gain{gainFactor};
    switch (type) {
    case 0:
        if (direction == Direction::ToWave || coding == WaveCoding::ALaw) return std::make_unique<ALawCopy>(gain);
        return std::make_unique<PcmToALaw>(gain);
    case 1: {
        OkiState state = MakeOki();
        if (!state) return nullptr;
        if (direction == Direction::ToWave) return std::make_unique<OkiDecode>(std::move(state), gain);
        return std::make_unique<OkiEncode>(std::move(state), gain);
    }
    case 4: {
        int error = OPUS_OK;
        if (direction == Direction::ToWave) {
            OpusDecoderState d(opus_decoder_create(8000, 1, &error));
            if (!d || error != OPUS_OK) return nullptr;
            return std::make_unique<OpusDecode>(std::move(d), gain);
        }
        OpusEncoderState e(opus_encoder_create(8000, 1, OPUS_APPLICATION_VOIP, &error));
        if (!e || error != OPUS_OK || opus_encoder_ctl(e.get(), OPUS_SET_BITRATE(kOpusBitRate)) != OPUS_OK ||
            opus_encoder_ctl(e.get(), OPUS_SET_VBR(0)) != OPUS_OK)
            return nullptr;
        return std::make_unique<OpusEncode>(std::move(e), gain);
    }
    default:
        return nullptr;
    }
}

}  // namespace voicecvt
