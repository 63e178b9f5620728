// Helpers for the conversion library's tests: scratch folders and files,
// generated sources, the library loaded by name as the player loads it, and
// program folders staged with stand-in plug-ins under format-table names.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "converter/velkcodec_api.h"
#include "platform/dynlib/dynlib.h"

namespace velk::testing {

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
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& file, const Bytes& bytes);
Bytes ReadFile(const fs::path& file);
uint32_t U32At(const Bytes& bytes, size_t offset);

// `frames` frames of 320 bytes of voice-like 16-bit PCM.
Bytes LinearFrames(int frames, uint32_t seed = 1);
// 20 bytes whose five little-endian words sum to the gain-control marker.
Bytes AgcMarkerGroup();
// A 58-byte A-law WAV header (tag 6, 8000 Hz, 8 bits) announcing `dataLength`.
Bytes ALawHeader(uint32_t dataLength);

// The built program folder and its test-only libraries.
fs::path BuiltProgramFolder();
std::string TestLib(const std::string& stem);  // full path of test-libs/<stem>.so

// True while the library file `path` is loaded in this process.
bool StillLoaded(const std::string& path);

// While it lives, files this process writes cannot grow beyond `bytes`: a
// write past that fails as on a full disk (EFBIG; the signal is ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    uint64_t previous_;
};

// Runs `program` with `args` and waits for it: its exit status, or minus the
// signal that ended it (-1000 when it could not be started).
int RunProgram(const fs::path& program, const std::vector<std::string>& args);

// Polls `done` every 10 ms until it holds or `limit` passes.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// VelkCodec loaded by the name the player asks for, "VelkCodec.dll",
// through platform/dynlib.
struct VelkCodecLibrary {
    VelkCodecLibrary();
    bool Loaded() const { return start && progress && stop; }
    platform::dynlib::Library library;
    VelkCodecFn start = nullptr;
    GetConvertProgressFn progress = nullptr;
    StopConvertFn stop = nullptr;
};

// A program folder of the test's own (CALLDECK_PROGRAM_FOLDER) holding
// VelkCodec and the linear plug-in from the build, plus whatever stand-ins
// a test stages under the names the format table asks for.
class StagedProgramFolder {
public:
    StagedProgramFolder();
    ~StagedProgramFolder();
    // Makes test-libs/<stem>.so answer to `tableName` ("AuralCodecG711a.dll").
    void Stage(const std::string& stem, const std::string& tableName);
    // Makes a delivered library of the build ("AuralCodecWren2.so") part of the folder.
    void StageBuilt(const std::string& file);
    const fs::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
};

}  // namespace velk::testing
