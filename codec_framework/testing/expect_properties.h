// ExpectProperties: the first check of every plug-in test. A host reads a
// plug-in's properties from whichever of its objects it holds, so the
// factory, a new encoder and a new decoder must all answer the same values,
// each its own class name, and Init must find the encoder and decoder ready.
#pragma once

#include <cstdint>

#include "codec_framework/testing/plugin_under_test.h"

namespace Tessel::testing {

struct ExpectedProperties {
    const char* moduleName;  // "AuralCodecG711a.DLL"
    int32_t codecType;
    int32_t formatTag;
    const char* codecName;
    int32_t bitRate;
    int32_t codedFrameSize;
    int32_t ownFmtChunkSize;
    int32_t ownHeaderSize;
    // The same in every plug-in: 20 ms frames of 160 samples, 320 bytes.
    int32_t frameDuration = 20;
    int32_t pcmFrameSize = 320;
    int32_t frameSamples = 160;
};

void ExpectProperties(PluginUnderTest& plugin, const ExpectedProperties& expected);

}  // namespace Tessel::testing
