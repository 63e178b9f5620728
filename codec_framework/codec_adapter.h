// _CodecAdapter: the per-plug-in layer of every codec class.
//
// A plug-in answers its property operations (slots 4-12, 14, 16), its
// header check (17) and its header writer (18) with constants of its own,
// the same on its factory, encoder and decoder (a class may still override
// one: the G.729 bridge's encoder and decoder answer slot 4 with the name of
// the library they load). Those constants live in one
// object, Tessel::kThisCodec, that each plug-in defines exactly once; this
// template reads them. Because every plug-in is its own shared library with
// hidden symbols, each sees only its own kThisCodec, just as each has its
// own CCodecFactory.
//
// Slots 3 (GetClassName), 19 and 20 stay abstract for the concrete classes.
#pragma once

#include "root_adapter.h"
#include "wav_header_adapter.h"

namespace Tessel {

struct CodecProperties {
    const char* moduleName;  // the plug-in's own file name, "AuralCodecLinear.DLL"
    int32_t codecType;
    int32_t formatTag;       // slot 6; not always the header's tag
    const char* codecName;
    int32_t bitRate;
    int32_t frameDuration;
    int32_t codedFrameSize;
    int32_t pcmFrameSize;
    int32_t frameSamples;
    int32_t ownHeaderSize;   // header carried by recordings; 0 = raw
    wav::Format header;      // what WriteHeader writes and CheckHeader compares
    bool writesHeader;       // false: WriteHeader answers 0 for any buffer
};

// Defined once in every plug-in.
extern const CodecProperties kThisCodec;

template <class I>
class _CodecAdapter : public _RootAdapter<_WavHeaderAdapter<I>> {
    using Walk = _WavHeaderAdapter<I>;

public:
    const char* GetModuleName() override { return kThisCodec.moduleName; }
    int32_t GetCodecType() override { return kThisCodec.codecType; }
    int32_t GetFormatTag() override { return kThisCodec.formatTag; }
    const char* GetCodecName() override { return kThisCodec.codecName; }
    int32_t GetBitRate() override { return kThisCodec.bitRate; }
    int32_t GetFrameDuration() override { return kThisCodec.frameDuration; }
    int32_t GetCodedFrameSize() override { return kThisCodec.codedFrameSize; }
    int32_t GetPcmFrameSize() override { return kThisCodec.pcmFrameSize; }
    int32_t GetFrameSamples() override { return kThisCodec.frameSamples; }
    int32_t GetOwnFmtChunkSize() override { return int32_t(kThisCodec.header.FmtChunkSize()); }
    int32_t GetOwnHeaderSize() override { return kThisCodec.ownHeaderSize; }

    bool CheckHeader(const uint8_t* image) override {
        return Walk::CheckHeader(image) && wav::FormatMatches(image, kThisCodec.header);
    }

    int32_t WriteHeader(uint8_t* buffer, uint32_t dataLength) override {
        if (!kThisCodec.writesHeader) return 0;
        return int32_t(wav::WriteHeader(buffer, kThisCodec.header, dataLength));
    }
};

}  // namespace Tessel
