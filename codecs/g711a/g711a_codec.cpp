// AuralCodecG711a: G.711 A-law, mono, 8000 samples per second, one code byte
// per sample (160 bytes a frame against 320 bytes of PCM).
//
// Unlike the other codecs, A-law recordings carry a 58-byte WAV header
// (format tag 6), which the conversion library measures and checks through
// this plug-in before it converts the frames behind it; and the player's
// converted recordings are written by this encoder and its WriteHeader.
// The encoder and decoder keep no state: every call stands alone. Format
// code 0 in the conversion library's table.
#include "codec_framework/codec_factory.h"
#include "codec_framework/plugin_export.h"
#include "codecs/g711a/alaw.h"

namespace Tessel {
const CodecProperties kThisCodec = {
    .moduleName = "AuralCodecG711a.DLL",
    .codecType = 0,
    .formatTag = 6,
    .codecName = "g.711",
    .bitRate = 64000,
    .frameDuration = 20,
    .codedFrameSize = 160,
    .pcmFrameSize = 320,
    .frameSamples = 160,
    .ownHeaderSize = 58,
    .header = {.tag = 6, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 8000, .blockAlign = 1, .bitsPerSample = 8},
    .writesHeader = true,
};
}  // namespace Tessel

namespace g711a_codec {
using namespace Tessel;

constexpr size_t kFrameSamples = 160;

class CCodecEncoder final : public _CodecAdapter<ICodecEncoder> {
public:
    const char* GetClassName() override { return "CCodecEncoder"; }
    int32_t Init() override { return 0; }
    int32_t Encode(uint8_t* out, const int16_t* pcm, int32_t frames) override {
        if (frames > 0) alaw::EncodeSamples(out, pcm, size_t(frames) * kFrameSamples);
        return 0;
    }
};

class CCodecDecoder final : public _CodecAdapter<ICodecDecoder> {
public:
    const char* GetClassName() override { return "CCodecDecoder"; }
    int32_t Init() override { return 0; }
    int32_t Decode(int16_t* pcm, const uint8_t* in, int32_t frames, int32_t /*flag*/) override {
        if (frames > 0) alaw::DecodeSamples(pcm, in, size_t(frames) * kFrameSamples);
        return 0;
    }
};

using CCodecFactory = CodecFactory<CCodecEncoder, CCodecDecoder>;

}  // namespace g711a_codec

extern "C" TESSEL_EXPORT Tessel::ICodecFactory* CreateCodecFactory() {
    return Tessel::NewObject<g711a_codec::CCodecFactory>();
}
