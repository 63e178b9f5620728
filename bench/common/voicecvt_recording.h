// bench: recordings in VoiceCvt's formats, made by that library itself.
//
// The conversion and playback benchmarks need VOC, VC2 and VC5 recordings of
// real speech. Only the outside library writes its own formats, so they are
// made from a WAV through its QZ_StartCvtFromFileWave, waiting for its
// progress to reach 100, as a recorder's export would.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "outside/voicecvt/voicecvt_api.h"
#include "platform/dynlib/dynlib.h"

namespace bench {

// Converts `wav` into `target` in VoiceCvt's format `type`; "" when done,
// otherwise what went wrong (`ext` names the format in that text).
inline std::string MakeVoiceCvtRecording(const std::filesystem::path& wav, const std::filesystem::path& target,
                                         std::int32_t type, const std::string& ext) {
    platform::dynlib::Library voice(voicecvt::kLibraryName);
    auto from = reinterpret_cast<voicecvt::StartCvtFn>(voice.symbol(voicecvt::kStartCvtFromFileWaveName));
    auto progress = reinterpret_cast<voicecvt::GetCvtVoiceProcessFn>(voice.symbol(voicecvt::kGetCvtVoiceProcessName));
    auto stop = reinterpret_cast<voicecvt::StopCvtFn>(voice.symbol(voicecvt::kStopCvtToFileWaveName));
    if (!from || !progress || !stop) return "VoiceCvt.dll did not load: " + platform::dynlib::LastError();
    if (from(wav.c_str(), target.c_str(), type, 1.0) != 0) return "VoiceCvt refused to make a " + ext + " recording";
    while (progress() < 100) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    stop();
    std::error_code ec;
    return std::filesystem::exists(target, ec) ? "" : "no " + ext + " recording was made";
}

}  // namespace bench
