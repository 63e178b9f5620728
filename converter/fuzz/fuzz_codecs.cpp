// Shared parts of the converter's fuzzers (see fuzz_codecs.h).
#include "fuzz_codecs.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "converter/format_table.h"
#include "platform/dynlib/dynlib.h"

namespace velk::fuzz {
namespace {

struct Scratch {
    std::filesystem::path folder;
    Scratch() {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
        std::string name = (base / "calldeck-fuzz-XXXXXX").string();
        if (!::mkdtemp(name.data())) {
            std::perror("fuzz: cannot make a scratch folder");
            std::abort();
        }
        folder = name;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

}  // namespace

CCodecDLL& Plugin(int32_t code) {
    static std::array<std::unique_ptr<CCodecDLL>, std::size(kCodes)> plugins;
    for (size_t i = 0; i < std::size(kCodes); ++i) {
        if (kCodes[i] != code) continue;
        if (!plugins[i]) {
            plugins[i] = std::make_unique<CCodecDLL>(CodecLibraryName(code));
            if (!plugins[i]->IsLoaded()) {
                std::fprintf(stderr, "fuzz: the codec plug-in %s is not in the program folder; build the target fuzzers\n",
                             CodecLibraryName(code));
                std::abort();
            }
        }
        return *plugins[i];
    }
    std::fprintf(stderr, "fuzz: format code %d has no delivered plug-in\n", code);
    std::abort();
}

void LoadEveryLibrary() {
    for (int32_t code : kCodes) Plugin(code);
    static const platform::dynlib::Handle wren2 = platform::dynlib::Open("AuralWren2.dll");
    if (!wren2) {
        std::fprintf(stderr, "fuzz: AuralWren2.dll cannot be loaded: %s\n", platform::dynlib::LastError().c_str());
        std::abort();
    }
}

const std::filesystem::path& ScratchFolder() {
    static const Scratch scratch;
    return scratch.folder;
}

void WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
}

}  // namespace velk::fuzz
