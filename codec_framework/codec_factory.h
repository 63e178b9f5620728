// CodecFactory<Encoder, Decoder>: the factory every self-contained plug-in
// needs. It answers the plug-in's properties through _CodecAdapter and makes
// a new encoder or decoder, count 1, on each request (null when memory is
// short). A plug-in names it as its CCodecFactory:
//
//   using CCodecFactory = Tessel::CodecFactory<CCodecEncoder, CCodecDecoder>;
//
// Encoders and decoders hold no reference to the factory, so the factory may
// be released as soon as they exist.
#pragma once

#include "codec_adapter.h"

namespace Tessel {

template <class Encoder, class Decoder>
class CodecFactory final : public _CodecAdapter<ICodecFactory> {
public:
    const char* GetClassName() override { return "CCodecFactory"; }
    ICodecEncoder* CreateEncoder() override { return NewObject<Encoder>(); }
    ICodecDecoder* CreateDecoder() override { return NewObject<Decoder>(); }
};

}  // namespace Tessel
