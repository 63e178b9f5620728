// AuralCodecLinear: 16-bit linear PCM, mono, 8000 samples per second.
//
// This is also the form in which every codec hands audio to the conversion
// library, so the encoder and decoder pass frames through unchanged (320
// bytes each way) and keep no state. As a conversion target it produces a
// plain PCM WAV file; as a source it reads raw samples (its recordings carry
// no header). Format code 16 in the conversion library's table.
#include <cstring>

#include "codec_framework/codec_factory.h"
#include "codec_framework/plugin_export.h"

namespace Tessel {
const CodecProperties kThisCodec = {
    .moduleName = "AuralCodecLinear.DLL",
    .codecType = 16,
    .formatTag = 1,
    .codecName = "linear",
    .bitRate = 128000,
    .frameDuration = 20,
    .codedFrameSize = 320,
    .pcmFrameSize = 320,
    .frameSamples = 160,
    .ownHeaderSize = 0,
    .header = {.tag = 1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 16000, .blockAlign = 2, .bitsPerSample = 16},
    .writesHeader = true,
};
}  // namespace Tessel

namespace linear_codec {
using namespace Tessel;

constexpr size_t kFrameBytes = 320;

// The copy both directions make: nothing when out is in or there are no
// frames, else frame by frame in increasing address order.
void CopyFrames(void* out, const void* in, int32_t frames) {
    if (out == in || frames <= 0) return;
    auto* dst = static_cast<uint8_t*>(out);
    const auto* src = static_cast<const uint8_t*>(in);
    for (int32_t i = 0; i < frames; ++i, dst += kFrameBytes, src += kFrameBytes) std::memcpy(dst, src, kFrameBytes);
}

class CCodecEncoder final : public _CodecAdapter<ICodecEncoder> {
public:
    const char* GetClassName() override { return "CCodecEncoder"; }
    int32_t Init() override { return 0; }
    int32_t Encode(uint8_t* out, const int16_t* pcm, int32_t frames) override {
        CopyFrames(out, pcm, frames);
        return 0;
    }
};

class CCodecDecoder final : public _CodecAdapter<ICodecDecoder> {
public:
    const char* GetClassName() override { return "CCodecDecoder"; }
    int32_t Init() override { return 0; }
    int32_t Decode(int16_t* pcm, const uint8_t* in, int32_t frames, int32_t /*flag*/) override {
        CopyFrames(pcm, in, frames);
        return 0;
    }
};

using CCodecFactory = CodecFactory<CCodecEncoder, CCodecDecoder>;

}  // namespace linear_codec

extern "C" TESSEL_EXPORT Tessel::ICodecFactory* CreateCodecFactory() {
    return Tessel::NewObject<linear_codec::CCodecFactory>();
}
