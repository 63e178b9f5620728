// TesselAltCodec: a test-only plug-in on the framework whose every property
// differs from the linear codec's and whose encoder and decoder leave a
// mark of their own, so that a test can load it beside AuralCodecLinear and
// see that classes of the same name in two libraries stay apart.
#include <cstring>

#include "codec_framework/codec_factory.h"
#include "codec_framework/plugin_export.h"

namespace Tessel {
static constexpr uint8_t kExtra[2] = {0xAB, 0xCD};
const CodecProperties kThisCodec = {
    .moduleName = "TesselAltCodec.DLL",
    .codecType = 20,
    .formatTag = 7,
    .codecName = "alt",
    .bitRate = 4242,
    .frameDuration = 20,
    .codedFrameSize = 100,
    .pcmFrameSize = 320,
    .frameSamples = 160,
    .ownHeaderSize = 60,
    .header = {.tag = 7, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 8000, .blockAlign = 1,
               .bitsPerSample = 8, .extra = kExtra, .extraSize = 2},
    .writesHeader = true,
};
}  // namespace Tessel

namespace alt_codec {
using namespace Tessel;

class CCodecEncoder final : public _CodecAdapter<ICodecEncoder> {
public:
    const char* GetClassName() override { return "CCodecEncoder"; }
    int32_t Init() override { return 0; }
    int32_t Encode(uint8_t* out, const int16_t*, int32_t frames) override {
        if (frames > 0) std::memset(out, 0xA5, size_t(frames) * 100);
        return 0;
    }
};

class CCodecDecoder final : public _CodecAdapter<ICodecDecoder> {
public:
    const char* GetClassName() override { return "CCodecDecoder"; }
    int32_t Init() override { return -1; }
    int32_t Decode(int16_t* pcm, const uint8_t*, int32_t frames, int32_t) override {
        for (int32_t i = 0; i < frames * 160; ++i) pcm[i] = -4242;
        return 0;
    }
};

using CCodecFactory = CodecFactory<CCodecEncoder, CCodecDecoder>;

}  // namespace alt_codec

extern "C" TESSEL_EXPORT Tessel::ICodecFactory* CreateCodecFactory() {
    return Tessel::NewObject<alt_codec::CCodecFactory>();
}
