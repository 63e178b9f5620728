// Helpers for VoiceCvt's tests: scratch folders and files, WAV images made
// here (not by the library under test), and the library loaded by its
// Windows name as the player loads it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "outside/voicecvt/voicecvt_api.h"
#include "platform/dynlib/dynlib.h"

namespace voicecvt::testing {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A scratch folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& file, const Bytes& bytes);
Bytes ReadFile(const fs::path& file);
uint32_t U32At(const Bytes& bytes, size_t offset);

// 8 kHz mono WAV images: 16-bit PCM with the plain 44-byte header, A-law
// with the 58-byte one (fmt of 18 bytes, fact chunk).
Bytes PcmWave(std::span<const int16_t> samples);
Bytes ALawWave(std::span<const uint8_t> alaw);
// The samples after a 44-byte header.
std::vector<int16_t> PcmOf(const Bytes& wave);

// The built program folder (the test programs are built into it).
fs::path BuiltProgramFolder();

// VoiceCvt.dll through platform/dynlib, its five entry points bound.
struct VoiceCvtLibrary {
    VoiceCvtLibrary();
    bool Loaded() const { return init && toWave && fromWave && progress && stop; }
    // Starts, polls as the player does until 100 (at most 60 s), stops.
    // The start's code; a start that never reaches 100 fails the test.
    int32_t Run(StartCvtFn start, const fs::path& source, const fs::path& target, int32_t type, double gain = 1.0);

    platform::dynlib::Library library;
    InitCvtFn init = nullptr;
    StartCvtFn toWave = nullptr, fromWave = nullptr;
    GetCvtVoiceProcessFn progress = nullptr;
    StopCvtFn stop = nullptr;
};

}  // namespace voicecvt::testing
