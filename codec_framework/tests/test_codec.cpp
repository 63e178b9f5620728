#include "test_codec.h"

namespace Tessel {
const CodecProperties kThisCodec = {
    .moduleName = "FrameworkTest.DLL",
    .codecType = 16,
    .formatTag = 1,
    .codecName = "framework-test",
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
