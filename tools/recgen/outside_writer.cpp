// Recordings the outside libraries write: see outside_writer.h.
#include "outside_writer.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "converter/velkcodec_api.h"
#include "outside/voicecvt/voicecvt_api.h"

namespace recgen {
namespace {

template <class Fn>
Fn Bound(const platform::dynlib::Library& library, const char* library_name, const char* symbol) {
    auto fn = reinterpret_cast<Fn>(library.symbol(symbol));
    if (!fn)
        throw CodecError(std::string("cannot use ") + library_name + " (" + symbol + "): " +
                         platform::dynlib::LastError());
    return fn;
}

std::vector<char> Writable(const std::string& s) {
    std::vector<char> copy(s.begin(), s.end());
    copy.push_back('\0');
    return copy;
}

// The player's voice mask: its encrypted recordings open with it.
constexpr const char* kVoiceMask = "pkrvmhaxbqzetwnjcydsoul";

}  // namespace

VoiceWriter::VoiceWriter() : library_(voicecvt::kLibraryName) {}

void VoiceWriter::Write(const std::filesystem::path& wav, const std::filesystem::path& path, std::int32_t type) {
    auto init = Bound<voicecvt::InitCvtFn>(library_, voicecvt::kLibraryName, voicecvt::kInitCvtName);
    auto start = Bound<voicecvt::StartCvtFn>(library_, voicecvt::kLibraryName, voicecvt::kStartCvtFromFileWaveName);
    auto progress =
        Bound<voicecvt::GetCvtVoiceProcessFn>(library_, voicecvt::kLibraryName, voicecvt::kGetCvtVoiceProcessName);
    auto stop = Bound<voicecvt::StopCvtFn>(library_, voicecvt::kLibraryName, voicecvt::kStopCvtToFileWaveName);
    init();
    if (const std::int32_t code = start(wav.c_str(), path.c_str(), type, 1.0); code != 0)
        throw CodecError("VoiceCvt refused to write " + path.string() + " (" + std::to_string(code) + ")");
    while (progress() < 100) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    stop();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) throw CodecError("VoiceCvt did not write " + path.string());
}

Encryptor::Encryptor() : library_(velk::kLibraryName) {}

void Encryptor::Write(const std::filesystem::path& plain, const std::filesystem::path& path, std::int32_t type) {
    auto mask = Bound<velk::SetVoiceMaskFn>(library_, velk::kLibraryName, velk::kSetVoiceMaskName);
    auto encrypt = Bound<velk::CryptFileFn>(library_, velk::kLibraryName, velk::kEncryptFileName);
    auto m = Writable(kVoiceMask);
    mask(m.data());
    auto from = Writable(plain.string()), to = Writable(path.string());
    if (const std::int16_t code = encrypt(from.data(), type, to.data()); code != 0)
        throw CodecError("VelkCodec could not encrypt " + path.string() + " (" + std::to_string(code) + ")");
}

}  // namespace recgen
