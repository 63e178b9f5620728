// The G.729 bridge's binding to the outside codec library AuralWren2. The
// bridge does no signal processing: every encoder and decoder it makes
// loads "AuralWren2.dll" for itself when it is created, looks up four entry
// points by name and forwards each 10 ms block to them. Two holders build
// that binding on the framework's library holder (dll_helper.h).
#pragma once

#include "codec_framework/dll_helper.h"
#include "outside/wren2/wren2.h"

namespace g729_bridge {

// A TDLLHelper that also keeps the four entry points, null until resolved.
class CG729Codec : public Tessel::TDLLHelper<> {
public:
    // True when all four entry points are bound: the codec can work.
    bool AllBound() const { return encoderInit_ && encodeBlock_ && decoderInit_ && decodeBlock_; }

protected:
    // Looks the four names up in the loaded module, in this order; a name
    // that is not found leaves its pointer null. Nothing when none is loaded.
    void ResolveEntryPoints() {
        if (!IsLoaded()) return;
        encoderInit_ = reinterpret_cast<Wren2EncoderInitFn>(GetExport(WREN2_ENCODER_INIT_NAME));
        encodeBlock_ = reinterpret_cast<Wren2EncodeBlockFn>(GetExport(WREN2_ENCODE_BLOCK_NAME));
        decoderInit_ = reinterpret_cast<Wren2DecoderInitFn>(GetExport(WREN2_DECODER_INIT_NAME));
        decodeBlock_ = reinterpret_cast<Wren2DecodeBlockFn>(GetExport(WREN2_DECODE_BLOCK_NAME));
    }
    void ForgetEntryPoints() {
        encoderInit_ = nullptr;
        encodeBlock_ = nullptr;
        decoderInit_ = nullptr;
        decodeBlock_ = nullptr;
    }

    Wren2EncoderInitFn encoderInit_ = nullptr;  // "Wren2Call1"
    Wren2EncodeBlockFn encodeBlock_ = nullptr;  // "Wren2Call3"
    Wren2DecoderInitFn decoderInit_ = nullptr;  // "Wren2Call4"
    Wren2DecodeBlockFn decodeBlock_ = nullptr;  // "Wren2Call7"
};

// Fixes the library name, loads it on construction, and overrides Load
// (which resolves the entry points after loading) and Free (which unloads).
// Free forgets the entry points together with the module: they point into
// the library's code, so once the module is released a later Encode or
// Decode through a kept pointer would jump into unmapped memory; with the
// pointers cleared the codec answers like one whose library is missing.
// The encoder and decoder derive virtually from it, so its IDLL face shares
// one object (and one reference count) with their codec face; see
// g729_bridge.cpp.
class CG729CodecAutoCopy : public CG729Codec {
public:
    // A bare file name: the library is found the way every library of the
    // system is (program folder first, platform/dynlib).
    static constexpr const char* kLibraryName = "AuralWren2.dll";

    // Never fails: a missing library leaves the holder empty and every entry
    // point null, which shows as -1 from Init.
    CG729CodecAutoCopy() { CG729CodecAutoCopy::Load(kLibraryName); }
    ~CG729CodecAutoCopy() override { CG729CodecAutoCopy::Free(); }

    Tessel::ModuleHandle Load(const char* name) override {
        CG729Codec::Load(name);  // keeps the name, Frees through the table, loads
        ResolveEntryPoints();
        return GetHandle();
    }

    void Free() override {
        if (IsLoaded()) CG729Codec::Free();
        ForgetEntryPoints();
    }
};

}  // namespace g729_bridge
