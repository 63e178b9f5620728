// tessel-tone: loads a codec plug-in by the name the conversion library
// would use, encodes a generated tone through it and writes the result
// behind the codec's own WAV header -- the smallest end-to-end use of the
// plug-in contract, and a quick way to hear that a codec works:
//
//   tessel-tone [--codec AuralCodecLinear.dll] [--seconds 3] [--hz 440] OUT.wav
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "codec_framework/dll_helper.h"
#include "codec_framework/plugin_export.h"
#include "codec_framework/ref.h"

using namespace Tessel;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tessel-tone [--codec LIBRARY] [--seconds N] [--hz F] OUT.wav\n"
                 "  Encodes an F-hertz tone of N seconds (default 440 Hz, 3 s) with the codec\n"
                 "  plug-in LIBRARY (default AuralCodecLinear.dll) and writes it to OUT.wav.\n");
    return 2;
}

// A tone with a gentle fade in and out, whole 20 ms frames of 160 samples.
std::vector<int16_t> Tone(int frames, double hz) {
    std::vector<int16_t> pcm(size_t(frames) * 160);
    const double fade = 800;
    for (size_t i = 0; i < pcm.size(); ++i) {
        double env = std::min({1.0, i / fade, (pcm.size() - i) / fade});
        pcm[i] = int16_t(std::lround(12000 * env * std::sin(2 * std::numbers::pi * hz * double(i) / 8000)));
    }
    return pcm;
}

}  // namespace

int main(int argc, char** argv) {
    std::string codec = "AuralCodecLinear.dll", out;
    double seconds = 3, hz = 440;
    for (int i = 1; i < argc; ++i) {
        auto value = [&] { return i + 1 < argc ? argv[++i] : nullptr; };
        if (!std::strcmp(argv[i], "--codec")) {
            const char* v = value();
            if (!v) return Usage();
            codec = v;
        } else if (!std::strcmp(argv[i], "--seconds") || !std::strcmp(argv[i], "--hz")) {
            bool isSeconds = argv[i][2] == 's';
            const char* v = value();
            if (!v || std::atof(v) <= 0) return Usage();
            (isSeconds ? seconds : hz) = std::atof(v);
        } else if (argv[i][0] == '-' || !out.empty()) {
            return Usage();
        } else {
            out = argv[i];
        }
    }
    if (out.empty() || seconds > 3600) return Usage();

    TDLLHelper<> dll(codec.c_str());
    auto create = reinterpret_cast<CreateCodecFactoryFn>(dll.GetExport(kCreateCodecFactoryName));
    if (!create) {
        std::fprintf(stderr, "tessel-tone: cannot load codec %s: %s\n", codec.c_str(),
                     platform::dynlib::LastError().c_str());
        return 1;
    }
    Ref<ICodecFactory> factory(create());
    Ref<ICodecEncoder> encoder(factory ? factory->CreateEncoder() : nullptr);
    if (!encoder || encoder->Init() != 0) {
        std::fprintf(stderr, "tessel-tone: %s gave no working encoder\n", codec.c_str());
        return 1;
    }

    const int frames = int(std::lround(seconds * 50));
    const auto pcm = Tone(frames, hz);
    const int32_t frameBytes = encoder->GetCodedFrameSize();
    std::vector<uint8_t> coded(size_t(frames) * frameBytes);
    encoder->Encode(coded.data(), pcm.data(), frames);

    uint8_t header[128];
    const int32_t headerBytes = encoder->WriteHeader(header, uint32_t(coded.size()));
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(header), headerBytes);
    file.write(reinterpret_cast<const char*>(coded.data()), std::streamsize(coded.size()));
    if (!file.flush()) {
        std::fprintf(stderr, "tessel-tone: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("%s (%s, module %s): %d frames of %d bytes behind a %d-byte header -> %s\n", codec.c_str(),
                encoder->GetCodecName(), encoder->GetModuleName(), frames, frameBytes, headerBytes, out.c_str());
    return 0;
}
