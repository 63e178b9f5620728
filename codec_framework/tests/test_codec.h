// The framework tests' own codec: classes built on the adapters inside the
// test program, with the property values of test_codec.cpp (a linear PCM
// header), so that the adapters can be driven without any plug-in.
#pragma once

#include "codec_framework/codec_factory.h"

namespace framework_test {

// Counts destructions, so tests can see when Release destroys.
inline int g_destroyed = 0;

class CCodecEncoder final : public Tessel::_CodecAdapter<Tessel::ICodecEncoder> {
public:
    ~CCodecEncoder() override { ++g_destroyed; }
    const char* GetClassName() override { return "CCodecEncoder"; }
    int32_t Init() override { return 0; }
    int32_t Encode(uint8_t* out, const int16_t*, int32_t frames) override {
        for (int32_t i = 0; i < frames * GetCodedFrameSize(); ++i) out[i] = 0x11;
        return 0;
    }
};

class CCodecDecoder final : public Tessel::_CodecAdapter<Tessel::ICodecDecoder> {
public:
    ~CCodecDecoder() override { ++g_destroyed; }
    const char* GetClassName() override { return "CCodecDecoder"; }
    int32_t Init() override { return 0; }
    int32_t Decode(int16_t* pcm, const uint8_t*, int32_t frames, int32_t) override {
        for (int32_t i = 0; i < frames * GetFrameSamples(); ++i) pcm[i] = 7;
        return 0;
    }
};

using CCodecFactory = Tessel::CodecFactory<CCodecEncoder, CCodecDecoder>;

}  // namespace framework_test
