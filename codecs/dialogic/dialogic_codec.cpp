// AuralCodecDlg32k and AuralCodecDlg24k: the ADPCM of telephony voice boards
// at 32 kbit/s (8000 codes a second, 80 bytes a frame) and 24 kbit/s (6000
// codes a second, 60 bytes a frame, converted to and from 8000 Hz inside the
// codec). Both present 160-sample PCM frames to the conversion library.
//
// One source builds both libraries; DIALOGIC_KBPS (32 or 24) picks the
// variant at build time, since each library is a separate file that the
// conversion library loads by name (format codes 1 and 2).
//
// Recordings are raw nibble streams: the own header size is 0 and
// WriteHeader writes nothing. CheckHeader applies the linear PCM test, as the
// system always has (the conversion library never asks it for these codecs).
//
// An encoder or decoder carries one ADPCM channel state from creation to
// release, across every call: a conversion makes one of them per file, so
// the state runs continuously through a recording. Init leaves it alone.
// Encode and Decode do nothing at all, state included, when out is in or
// when there are no frames.
#include "codec_framework/codec_factory.h"
#include "codec_framework/plugin_export.h"
#include "codecs/dialogic/adpcm_frames.h"

namespace dialogic_codec {

struct Variant {
    const char* moduleName;
    const char* codecName;
    int32_t codecType;
    int32_t bitRate;
    size_t codedFrameSize;
    void (*decodeFrame)(dialogic::AdpcmState&, int16_t*, const uint8_t*);
    void (*encodeFrame)(dialogic::AdpcmState&, uint8_t*, const int16_t*);
};

#if DIALOGIC_KBPS == 32
constexpr Variant kVariant{"AuralCodecDlg32K.DLL", "Dialogic32K", 1, 32000, dialogic::kCodedBytes32k,
                           dialogic::Decode32kFrame, dialogic::Encode32kFrame};
#elif DIALOGIC_KBPS == 24
constexpr Variant kVariant{"AuralCodecDlg24K.DLL", "Dialogic24K", 2, 24000, dialogic::kCodedBytes24k,
                           dialogic::Decode24kFrame, dialogic::Encode24kFrame};
#else
#error "DIALOGIC_KBPS must be 32 or 24"
#endif

}  // namespace dialogic_codec

namespace Tessel {
const CodecProperties kThisCodec = {
    .moduleName = dialogic_codec::kVariant.moduleName,
    .codecType = dialogic_codec::kVariant.codecType,
    .formatTag = 0,
    .codecName = dialogic_codec::kVariant.codecName,
    .bitRate = dialogic_codec::kVariant.bitRate,
    .frameDuration = 20,
    .codedFrameSize = int32_t(dialogic_codec::kVariant.codedFrameSize),
    .pcmFrameSize = 320,
    .frameSamples = 160,
    .ownHeaderSize = 0,
    // Checked as linear PCM; never written.
    .header = {.tag = 1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 16000, .blockAlign = 2, .bitsPerSample = 16},
    .writesHeader = false,
};
}  // namespace Tessel

namespace dialogic_codec {
using namespace Tessel;

class CCodecEncoder final : public _CodecAdapter<ICodecEncoder> {
public:
    const char* GetClassName() override { return "CCodecEncoder"; }
    int32_t Init() override { return 0; }
    int32_t Encode(uint8_t* out, const int16_t* pcm, int32_t frames) override {
        if (static_cast<const void*>(out) == static_cast<const void*>(pcm) || frames <= 0) return 0;
        for (int32_t f = 0; f < frames; ++f, out += kVariant.codedFrameSize, pcm += dialogic::kFrameSamples)
            kVariant.encodeFrame(state_, out, pcm);
        return 0;
    }

private:
    dialogic::AdpcmState state_;
};

class CCodecDecoder final : public _CodecAdapter<ICodecDecoder> {
public:
    const char* GetClassName() override { return "CCodecDecoder"; }
    int32_t Init() override { return 0; }
    int32_t Decode(int16_t* pcm, const uint8_t* in, int32_t frames, int32_t /*flag*/) override {
        if (static_cast<const void*>(pcm) == static_cast<const void*>(in) || frames <= 0) return 0;
        for (int32_t f = 0; f < frames; ++f, in += kVariant.codedFrameSize, pcm += dialogic::kFrameSamples)
            kVariant.decodeFrame(state_, pcm, in);
        return 0;
    }

private:
    dialogic::AdpcmState state_;
};

using CCodecFactory = CodecFactory<CCodecEncoder, CCodecDecoder>;

}  // namespace dialogic_codec

extern "C" TESSEL_EXPORT Tessel::ICodecFactory* CreateCodecFactory() {
    return Tessel::NewObject<dialogic_codec::CCodecFactory>();
}
