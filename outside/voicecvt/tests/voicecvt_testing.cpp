// Helpers for VoiceCvt's tests.
#include "outside/voicecvt/tests/voicecvt_testing.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
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

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "voicecvt-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder in " + pattern);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void WriteFile(const fs::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

Bytes ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t U32At(const Bytes& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | uint32_t{bytes[offset + 3]} << 24;
}

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

fs::path BuiltProgramFolder() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path();
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
