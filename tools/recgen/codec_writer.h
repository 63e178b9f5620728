// recgen: recordings written through the system's own codec plug-ins.
//
// A CodecWriter loads a plug-in by the name the conversion library uses
// ("AuralCodecLinear.dll", "AuralCodecG711a.dll", "AuralCodecWren2.dll"),
// takes a fresh encoder for every file (so no coder state runs from one
// recording into the next), encodes whole 20 ms frames and writes them
// behind the codec's own WAV header, or raw, as the recorder writes its
// G.729 files.
//
// A sample call is one announcement said over and over. It is encoded
// once, and its coded frames are repeated for the call's length: G.729
// costs about 2 ms of work per second of sound, and a tree of long calls
// would otherwise take many seconds to write. The announcement starts and
// ends in silence, where the decoder crosses from one copy to the next.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "codec_framework/dll_helper.h"
#include "codec_framework/ref.h"
#include "speech.h"

namespace recgen {

class CodecError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

class CodecWriter {
public:
    // Throws CodecError when the plug-in cannot be loaded or gives no
    // working encoder.
    explicit CodecWriter(const std::string& library);

    // Writes `once`, padded with silence to whole frames, repeated until
    // `samples` samples are written (rounded up to a whole frame), to `path`.
    void Write(const std::filesystem::path& path, const Pcm& once, std::size_t samples, bool withHeader);
    const std::string& Library() const { return library_; }

private:
    Tessel::Ref<Tessel::ICodecEncoder> Encoder();

    std::string library_;
    Tessel::TDLLHelper<> dll_;
    Tessel::Ref<Tessel::ICodecFactory> factory_;
};

}  // namespace recgen
