// The RIFF/WAVE walk on any bytes. The walk may be asked only about an image
// that ImageFits accepts for its length, so the input is copied into a
// buffer of exactly its size (any read past it is reported by the address
// sanitizer), and the unbounded operations run only after ImageFits said yes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec_framework/wav_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Tessel::wav;
    const std::vector<uint8_t> image(data, data + size);
    if (!ImageFits(image.data(), image.size())) return 0;

    const uint32_t fmt = FmtChunkSize(image.data());
    const uint32_t header = HeaderSize(image.data());
    const bool recognised = IsRecognised(image.data());
    const Format alaw{.tag = 6, .channels = 1, .samplesPerSec = 8000, .bytesPerSec = 8000, .blockAlign = 1,
                      .bitsPerSample = 8};
    (void)FormatMatches(image.data(), alaw);

    // What the walk reports must agree with itself.
    if (header != 0 && !recognised) std::abort();
    const uint32_t padded = fmt + (fmt & 1u);  // an odd fmt chunk is followed by a pad byte
    if (header != 0 && header != padded + 28 && header != padded + 40) std::abort();

    // A header written by the writer is recognised and measured as written.
    std::vector<uint8_t> written(kMaxHeaderSize);
    const uint32_t length = WriteHeader(written.data(), alaw, uint32_t(size));
    if (length != alaw.HeaderSize() || !ImageFits(written.data(), length) || !IsRecognised(written.data()) ||
        HeaderSize(written.data()) != length || !FormatMatches(written.data(), alaw))
        std::abort();
    return 0;
}
