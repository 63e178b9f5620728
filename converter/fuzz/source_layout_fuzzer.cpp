// A source's header, frame count and gain-control marker as VelkCodec
// measures them, through each delivered codec plug-in (the first input byte
// picks the format code, the rest is the file). The bytes are handed over
// in a buffer of exactly their length, so a header walk that leaves the
// file is reported by the address sanitizer. After MeasureSource, each
// codec's own header operations are asked too, wherever the conversion
// library would let them be (ImageFits).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec_framework/ref.h"
#include "codec_framework/wav_header.h"
#include "converter/format_table.h"
#include "converter/result_text.h"
#include "converter/source_layout.h"
#include "fuzz_codecs.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velk::fuzz::LoadEveryLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int32_t code = velk::fuzz::PickCode(data[0]);
    const std::vector<uint8_t> file(data + 1, data + size);
    Tessel::Ref<Tessel::ICodecFactory> factory(velk::fuzz::Plugin(code).CreateCodecFactory());
    if (!factory) std::abort();
    const int32_t frameSize = factory->GetCodedFrameSize();
    if (frameSize < 1) std::abort();

    velk::SourceLayout layout;
    const auto n = uint32_t(file.size());
    const int32_t result = velk::MeasureSource(*factory.get(), file.data(), n, n, uint32_t(frameSize), layout);
    if (result != velk::kStarted && result != velk::kSourceTooSmall && result != velk::kSourceFormatError) std::abort();
    if (result == velk::kStarted) {
        // The frames counted lie within the file, after the header, first one skipped.
        if (uint64_t(layout.headerSize) + (uint64_t(layout.frames) + 1) * uint32_t(frameSize) > n) std::abort();
    }
    if (Tessel::wav::ImageFits(file.data(), n)) {
        (void)factory->GetFmtChunkSize(file.data());
        (void)factory->GetHeaderSize(file.data());
        (void)factory->CheckHeader(file.data());
    }
    return 0;
}
