// Helpers for VoiceCvt's tests.
#include "outside/voicecvt/tests/voicecvt_testing.h"

#include <chrono>
#include <string>
#include <thread>

#include "codec_framework/testing/wav_files.h"

namespace voicecvt::testing {

namespace {

void Put(Bytes& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
// The header of the layout, then the data.
Bytes Wave(const Tessel::testing::WavLayout& layout, std::span<const uint8_t> data) {
    const std::string header = Tessel::testing::WavHeader(layout, static_cast<uint32_t>(data.size()));
    Bytes w(header.begin(), header.end());
    w.insert(w.end(), data.begin(), data.end());
    return w;
}

}  // namespace

Bytes PcmWave(std::span<const int16_t> samples) {
    Bytes data;
    for (int16_t s : samples) Put(data, static_cast<uint16_t>(s), 2);
    return Wave(Tessel::testing::kPcmWav, data);
}

Bytes ALawWave(std::span<const uint8_t> alaw) { return Wave(Tessel::testing::kCodecALawWav, alaw); }

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
