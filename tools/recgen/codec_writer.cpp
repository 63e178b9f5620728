// Recordings through the codec plug-ins: see codec_writer.h.
#include "codec_writer.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

#include "codec_framework/plugin_export.h"

namespace recgen {

using namespace Tessel;

CodecWriter::CodecWriter(const std::string& library) : library_(library), dll_(library.c_str()) {
    auto create = reinterpret_cast<CreateCodecFactoryFn>(dll_.GetExport(kCreateCodecFactoryName));
    if (!create) throw CodecError(library + " cannot be loaded: " + platform::dynlib::LastError());
    factory_ = Ref<ICodecFactory>(create());
    if (!factory_) throw CodecError(library + " gave no codec factory");
    Encoder();  // proves that it can encode before anything is written
}

Ref<ICodecEncoder> CodecWriter::Encoder() {
    Ref<ICodecEncoder> encoder(factory_->CreateEncoder());
    if (!encoder || encoder->Init() != 0) throw CodecError(library_ + " gave no working encoder");
    return encoder;
}

void CodecWriter::Write(const std::filesystem::path& path, const Pcm& once, std::size_t samples, bool withHeader) {
    Ref<ICodecEncoder> encoder = Encoder();
    const std::size_t frameSamples = static_cast<std::size_t>(encoder->GetFrameSamples());
    const std::size_t frameBytes = static_cast<std::size_t>(encoder->GetCodedFrameSize());
    const std::size_t onceFrames = std::max<std::size_t>(1, (once.size() + frameSamples - 1) / frameSamples);
    Pcm padded(once);
    padded.resize(onceFrames * frameSamples, 0);
    std::vector<std::uint8_t> coded(onceFrames * frameBytes);
    encoder->Encode(coded.data(), padded.data(), static_cast<std::int32_t>(onceFrames));

    const std::size_t frames = (samples + frameSamples - 1) / frameSamples;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (withHeader) {
        std::uint8_t header[128];
        const std::int32_t length = encoder->WriteHeader(header, static_cast<std::uint32_t>(frames * frameBytes));
        if (length <= 0 || length > static_cast<std::int32_t>(sizeof header))
            throw CodecError(library_ + " wrote no header");
        out.write(reinterpret_cast<const char*>(header), length);
    }
    for (std::size_t written = 0; written < frames; written += onceFrames) {
        const std::size_t n = std::min(onceFrames, frames - written);
        out.write(reinterpret_cast<const char*>(coded.data()), static_cast<std::streamsize>(n * frameBytes));
    }
    if (!out.flush()) throw CodecError("cannot write " + path.string());
}

}  // namespace recgen
