// Helpers for VoiceCvt's tests: WAV images made here (not by the library
// under test), and the library loaded by the name the player asks for,
// "VoiceCvt.dll", as the player loads it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "converter/tests/converter_testing.h"
#include "outside/voicecvt/voicecvt_api.h"
#include "platform/dynlib/dynlib.h"

namespace voicecvt::testing {

// Scratch folders and files, shared with the conversion library's tests.
namespace fs = std::filesystem;
using velk::testing::Bytes;
using velk::testing::BuiltProgramFolder;
using velk::testing::ReadFile;
using velk::testing::RunProgram;
using velk::testing::TempDir;
using velk::testing::U32At;
using velk::testing::WriteFile;

// 8 kHz mono WAV images: 16-bit PCM with the plain 44-byte header, A-law
// with the 58-byte one (fmt of 18 bytes, fact chunk).
Bytes PcmWave(std::span<const int16_t> samples);
Bytes ALawWave(std::span<const uint8_t> alaw);
// The samples after a 44-byte header.
std::vector<int16_t> PcmOf(const Bytes& wave);

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
