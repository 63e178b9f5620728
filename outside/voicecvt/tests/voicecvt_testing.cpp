// Helpers for VoiceCvt's tests.
#include "outside/voicecvt/tests/voicecvt_testing.h"

#include <chrono>
#include <thread>

namespace voicecvt::testing {

namespace {

void Put(Bytes& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void Tag(Bytes& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

// RIFF, fmt (tag, 8000 Hz mono, `bits`; `fmtSize` 16 or 18), an optional
// fact chunk, then the data.
Bytes Wave(uint16_t formatTag, uint16_t bits, bool fact, std::span<const uint8_t> data) {
    const uint32_t fmtSize = fact ? 18 : 16, blockAlign = bits / 8u;
    Bytes w;
    Tag(w, "RIFF");
    Put(w, 4 + (8 + fmtSize) + (fact ? 12 : 0) + 8 + static_cast<uint32_t>(data.size()), 4);
    Tag(w, "WAVE");
    Tag(w, "fmt ");
    Put(w, fmtSize, 4);
    Put(w, formatTag, 2);
    Put(w, 1, 2);
    Put(w, 8000, 4);
    Put(w, 8000 * blockAlign, 4);
    Put(w, blockAlign, 2);
    Put(w, bits, 2);
    if (fact) {
        Put(w, 0, 2);
        Tag(w, "fact");
        Put(w, 4, 4);
        Put(w, static_cast<uint32_t>(data.size()), 4);
    }
    Tag(w, "data");
    Put(w, static_cast<uint32_t>(data.size()), 4);
    w.insert(w.end(), data.begin(), data.end());
    return w;
}

}  // namespace

Bytes PcmWave(std::span<const int16_t> samples) {
    Bytes data;
    for (int16_t s : samples) Put(data, static_cast<uint16_t>(s), 2);
    return Wave(1, 16, false, data);
}

Bytes ALawWave(std::span<const uint8_t> alaw) { return Wave(6, 8, true, alaw); }

std::vector<int16_t> PcmOf(const Bytes& wave) {
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < wave.size(); i += 2) samples.push_back(static_cast<int16_t>(wave[i] | wave[i + 1] << 8));
    return samples;
}

VoiceCvtLibrary::VoiceCvtLibrary() : library(kLibraryName) {
    init = reinterpret_cast<InitCvtFn>(library.symbol(kInitCvtName));
    toWave = reinterpret_cast<StartCvtFn>(library.symbol(kStartCvtToFileWaveName));
    fromWave = reinterpret_cast<StartCvtFn>(library.symbol(kStartCvtFromFileWaveName));
    progress = reinterpret_cast<GetCvtVoiceProcessFn>(library.symbol(kGetCvtVoiceProcessName));
    stop = reinterpret_cast<StopCvtFn>(library.symbol(kStopCvtToFileWaveName));
}

int32_t VoiceCvtLibrary::Run(StartCvtFn start, const fs::path& source, const fs::path& target, int32_t type,
                             double gain) {
    using namespace std::chrono_literals;
    init();
    const int32_t code = start(source.c_str(), target.c_str(), type, gain);
    const auto limit = std::chrono::steady_clock::now() + 60s;
    while (progress() < 100) {
        if (std::chrono::steady_clock::now() > limit) {
            ADD_FAILURE() << "converting " << source << " never reached 100 %";
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    stop();
    return code;
}

}  // namespace voicecvt::testing
