// AuralCodecWren2: the codec plug-in for G.729 recordings at 8 kbit/s.
//
// It codes nothing itself. Each encoder and decoder binds the outside
// library AuralWren2 (g729_codec.h) and hands it the frame one 10 ms block
// at a time: a 20 ms frame of 160 samples is block 0 (samples 0-79, coded
// bytes 0-9) then block 1 (samples 80-159, bytes 10-19). All codec state
// between blocks lives in the outside library. Format code 3 in the
// conversion library's table; recordings are raw 20-byte frames.
//
// An encoder or decoder is one object with two faces: the codec face the
// host receives (ICodecEncoder / ICodecDecoder) and the IDLL face of its
// library holder. Both faces' bases carry a reference count of their own,
// so the classes route AddRef, Release and GetRefCount of both faces to the
// codec face's count: a reference taken on either face keeps the whole
// object, and the last Release on either destroys it once. Both bases are
// virtual, so each appears once however the faces are reached.
#include <cstring>

#include "codec_framework/codec_factory.h"
#include "codec_framework/plugin_export.h"
#include "g729_codec.h"

namespace Tessel {
// The 14 extra format bytes recordings of this format carry in their
// header; written as they are, never checked.
static constexpr uint8_t kExtraFormatBytes[14] = {0x00, 0x01, 0x01, 0x00, 0x03, 0x00, 0x00,
                                                  0x00, 0xF4, 0x01, 0x03, 0x00, 0x00, 0x00};
const CodecProperties kThisCodec = {
    .moduleName = "AuralCodecWren2.DLL",
    .codecType = 3,
    .formatTag = 0,
    .codecName = "g.729",
    .bitRate = 8000,
    .frameDuration = 20,
    .codedFrameSize = 20,
    .pcmFrameSize = 320,
    .frameSamples = 160,
    .ownHeaderSize = 0,
    .header = {.tag = 0x09A1, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 1000, .blockAlign = 20,
               .bitsPerSample = 16, .extra = kExtraFormatBytes, .extraSize = sizeof kExtraFormatBytes},
    .writesHeader = true,
};
}  // namespace Tessel

namespace g729_bridge {
using namespace Tessel;

constexpr size_t kBlocksPerFrame = 2;

class CCodecEncoder final : public virtual _CodecAdapter<ICodecEncoder>, public virtual CG729CodecAutoCopy {
    using Codec = _CodecAdapter<ICodecEncoder>;

public:
    int32_t AddRef() override { return Codec::AddRef(); }
    int32_t Release() override { return Codec::Release(); }
    int32_t GetRefCount() override { return Codec::GetRefCount(); }
    const char* GetClassName() override { return "CCodecEncoder"; }  // on both faces
    const char* GetModuleName() override { return GetFileName(); }

    int32_t Init() override {
        if (encoderInit_) encoderInit_();
        return AllBound() ? 0 : -1;
    }

    int32_t Encode(uint8_t* out, const int16_t* pcm, int32_t frames) override {
        if (frames <= 0 || !out || !pcm) return 0;
        const size_t blocks = size_t(frames) * kBlocksPerFrame;
        // Without a block encoder (library or name missing) Init has answered
        // -1, and the conversion library stops with -7 before any frame. A
        // host that encodes regardless still gets its frames, as zero bytes,
        // never whatever its buffer held.
        if (!encodeBlock_) {
            std::memset(out, 0, blocks * kWren2BlockBytes);
            return 0;
        }
        for (size_t i = 0; i < blocks; ++i) encodeBlock_(pcm + i * kWren2BlockSamples, out + i * kWren2BlockBytes);
        return 0;
    }
};

class CCodecDecoder final : public virtual _CodecAdapter<ICodecDecoder>, public virtual CG729CodecAutoCopy {
    using Codec = _CodecAdapter<ICodecDecoder>;

public:
    int32_t AddRef() override { return Codec::AddRef(); }
    int32_t Release() override { return Codec::Release(); }
    int32_t GetRefCount() override { return Codec::GetRefCount(); }
    const char* GetClassName() override { return "CCodecDecoder"; }  // on both faces
    const char* GetModuleName() override { return GetFileName(); }

    int32_t Init() override {
        if (decoderInit_) decoderInit_();
        return AllBound() ? 0 : -1;
    }

    int32_t Decode(int16_t* pcm, const uint8_t* in, int32_t frames, int32_t flag) override {
        if (frames <= 0 || !pcm || !in) return 0;
        const size_t blocks = size_t(frames) * kBlocksPerFrame;
        // Without a block decoder Init has answered -1 (the conversion
        // library stops with -8); a host that decodes regardless gets
        // silence, as in Encode.
        if (!decodeBlock_) {
            std::memset(pcm, 0, blocks * kWren2BlockSamples * sizeof(int16_t));
            return 0;
        }
        for (size_t i = 0; i < blocks; ++i)
            decodeBlock_(in + i * kWren2BlockBytes, pcm + i * kWren2BlockSamples, flag);
        return 0;
    }
};

// Holds no library binding: only encoders and decoders load AuralWren2.
using CCodecFactory = CodecFactory<CCodecEncoder, CCodecDecoder>;

}  // namespace g729_bridge

extern "C" TESSEL_EXPORT Tessel::ICodecFactory* CreateCodecFactory() {
    return Tessel::NewObject<g729_bridge::CCodecFactory>();
}
