// Helpers for the conversion library's tests (see converter_testing.h).
#include "converter_testing.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "codec_framework/testing/signals.h"
#include "codec_framework/testing/wav_files.h"
#include "converter/source_layout.h"

extern char** environ;

namespace velk::testing {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "velkcodec-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder in " + pattern);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void WriteFile(const fs::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

Bytes ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32At(const Bytes& bytes, size_t offset) {
    uint32_t v = 0;
    if (offset + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

Bytes LinearFrames(int frames, uint32_t seed) {
    const auto pcm = Tessel::testing::SpeechLike(frames * 0.02, seed);
    Bytes out(size_t(frames) * 320);
    std::memcpy(out.data(), pcm.data(), std::min(out.size(), pcm.size() * 2));
    return out;
}

Bytes AgcMarkerGroup() {
    Bytes group(kAgcGroupBytes, 0);
    for (int i = 0; i < 4; ++i) group[i] = uint8_t(kAgcMarkerSum >> (8 * i));  // "!CGA"
    return group;
}

Bytes ALawHeader(uint32_t dataLength) {
    const std::string h = Tessel::testing::WavHeader(Tessel::testing::kCodecALawWav, dataLength);
    return Bytes(h.begin(), h.end());
}

fs::path BuiltProgramFolder() {
    // The test programs are built into the program folder itself.
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path();
}

std::string TestLib(const std::string& stem) { return (BuiltProgramFolder() / "test-libs" / (stem + ".so")).string(); }

bool StillLoaded(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

VelkCodecLibrary::VelkCodecLibrary() : library(kLibraryName) {
    start = reinterpret_cast<VelkCodecFn>(library.symbol(kVelkCodecName));
    progress = reinterpret_cast<GetConvertProgressFn>(library.symbol(kGetConvertProgressName));
    stop = reinterpret_cast<StopConvertFn>(library.symbol(kStopConvertName));
}

StagedProgramFolder::StagedProgramFolder() {
    const fs::path built = BuiltProgramFolder();
    for (const char* file : {"VelkCodec.so", "AuralCodecLinear.so"})
        fs::create_symlink(built / file, dir_ / file);
    setenv("CALLDECK_PROGRAM_FOLDER", dir_.path().c_str(), 1);
}

StagedProgramFolder::~StagedProgramFolder() { unsetenv("CALLDECK_PROGRAM_FOLDER"); }

void StagedProgramFolder::Stage(const std::string& stem, const std::string& tableName) {
    const std::string name = tableName.substr(0, tableName.rfind('.')) + ".so";
    std::error_code ignored;
    fs::remove(dir_ / name, ignored);
    fs::create_symlink(TestLib(stem), dir_ / name);
}

void StagedProgramFolder::StageBuilt(const std::string& file) {
    fs::create_symlink(BuiltProgramFolder() / file, dir_ / file);
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    previous_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = previous_;
    setrlimit(RLIMIT_FSIZE, &limit);
}

int RunProgram(const fs::path& program, const std::vector<std::string>& args) {
    const std::string path = program.string();
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1000;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

}  // namespace velk::testing
