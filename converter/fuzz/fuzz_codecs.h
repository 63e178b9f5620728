// What the converter's fuzzers share: the codec plug-ins of the format table,
// loaded once by name from the program folder (where the fuzz build puts
// them beside the fuzzers), and a scratch folder on a memory file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "converter/codec_dll.h"

namespace velk::fuzz {

// The format codes whose plug-ins CallDeck delivers, in the order the
// first input byte picks them.
inline constexpr int32_t kCodes[] = {0, 1, 2, 3, 16};

// The code picked by an input's first byte.
inline int32_t PickCode(uint8_t byte) { return kCodes[byte % std::size(kCodes)]; }

// Each delivered plug-in loaded once for the whole run, so that the jobs'
// own loads only count up; aborts naming the plug-in when one is missing.
CCodecDLL& Plugin(int32_t code);

// Loads every plug-in and the outside G.729 library the bridge binds, and
// keeps them until the process ends. Called from LLVMFuzzerInitialize: a
// library loaded before fuzzing starts has its coverage counted, and one
// never unloaded cannot leave libFuzzer holding counters that are gone.
void LoadEveryLibrary();

// A folder of this process's own, removed at exit.
const std::filesystem::path& ScratchFolder();

// Writes `bytes` to `path`, replacing it.
void WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace velk::fuzz
