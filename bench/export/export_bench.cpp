// bench/export: "calldeck export" of 500 one-minute G.729 recordings against
// the codecs' own speed.
//
// BM_BareCodecCalls decodes every frame of the 500 recordings through the
// G.729 plug-in and encodes it through the A-law plug-in, nothing else, on
// one core; its time divided by the number of cores is the floor an export
// on every core could reach. BM_CalldeckExport runs the command (one worker
// per core) on the same recordings and reports its time as a multiple of
// that floor ("x_bare_per_core"; the goal is at most 1.25). BM_PlayerPath
// converts a few of the same rows as "Get Wave File" does, through
// ConvertFile and VelkCodec's entry points, for comparison ("s_per_file").
// On a machine that other work keeps busy the wall-clock multiple grows
// with the load; "cpu_x_bare" (the processor time of the command and its
// workers over that of the bare calls) shows what the export itself adds,
// whatever the load.
//
// The recordings are made once into a cache folder (CALLDECK_BENCH_CACHE,
// or calldeck-export-bench under the system's temporary folder): ten
// different minutes of speech-like audio coded by the G.729 plug-in, laid
// out as 500 calls of the recorder's names, so a second run starts at once.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/bare_codec_calls.h"
#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "player/core/convert/convert_file.h"
#include "player/core/testing/staged_player.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kCalls = 500;
constexpr int kMinutes = 10;  // different minutes of audio among the calls

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

fs::path CacheFolder() {
    if (const char* c = std::getenv("CALLDECK_BENCH_CACHE"); c && *c) return c;
    return fs::temp_directory_path() / "calldeck-export-bench";
}

// Recorder name format 1: date-time, channel, number, direction.
std::string CallName(int call) {
    char name[64];
    std::snprintf(name, sizeof name, "20061201%02d%02d%02d%04d%07d1.NTC", 8 + call / 60, call % 60, call % 60 / 2,
                  1 + call % 32, 5550000 + call);
    return name;
}

int RunCalldeck(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"calldeck"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int status = -1;
    if (posix_spawn(&pid, CALLDECK_PROGRAM, &actions, nullptr, raw.data(), environ) == 0) waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Recordings {
    std::unique_ptr<player::testing::StagedPlayer> staged = std::make_unique<player::testing::StagedPlayer>();
    fs::path calls = CacheFolder() / "calls";
    std::vector<fs::path> files;
    std::string error;

    Recordings() {
        staged->Start();
        for (const char* lib : {"VelkCodec.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
            staged->StageLibrary(lib);
        for (int call = 0; call < kCalls; ++call) files.push_back(calls / CallName(call));
        if (!fs::exists(calls / ".complete")) Make();
        if (error.empty() && RunCalldeck({"scan", "--main-folder", calls.string()}) != 0)
            error = "calldeck scan failed on " + calls.string();
    }

    void Make() {
        fs::remove_all(calls);
        fs::create_directories(calls);
        Tessel::testing::PluginUnderTest g729("AuralCodecWren2.dll");
        std::vector<std::string> minutes;
        for (int m = 0; m < kMinutes; ++m) {
            auto encoder = g729.Encoder();
            if (!encoder || encoder->Init() != 0) {
                error = "the G.729 plug-in cannot encode";
                return;
            }
            const auto pcm = Tessel::testing::SpeechLike(60, uint32_t(m + 1));
            std::string coded(pcm.size() / 160 * 20, '\0');
            for (size_t f = 0; f < pcm.size() / 160; ++f)
                encoder->Encode(reinterpret_cast<uint8_t*>(&coded[f * 20]), &pcm[f * 160], 1);
            minutes.push_back(std::move(coded));
        }
        for (int call = 0; call < kCalls; ++call)
            std::ofstream(files[size_t(call)], std::ios::binary) << minutes[size_t(call % kMinutes)];
        std::ofstream(calls / ".complete") << "made\n";
    }
};

Recordings& TheRecordings() {
    static Recordings r;
    return r;
}

double g_barePerCoreSeconds = 0;
double g_bareCpuSeconds = 0;

double CpuSeconds(int who) {
    rusage u {};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_BareCodecCalls(benchmark::State& state) {
    Recordings& r = TheRecordings();
    if (!r.error.empty()) return state.SkipWithError(r.error.c_str());
    Tessel::testing::PluginUnderTest g729("AuralCodecWren2.dll"), alaw("AuralCodecG711a.dll");
    std::vector<std::string> coded;
    for (const auto& f : r.files) coded.push_back(Read(f));
    double seconds = 0;
    for (auto _ : state) {
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        const auto t0 = std::chrono::steady_clock::now();
        for (const auto& c : coded) bench::BareG729ToALaw(g729, alaw, c);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        g_bareCpuSeconds = CpuSeconds(RUSAGE_SELF) - cpu0;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    g_barePerCoreSeconds = seconds / cores;
    state.counters["cores"] = cores;
    state.counters["s_per_core"] = g_barePerCoreSeconds;
}
BENCHMARK(BM_BareCodecCalls)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_CalldeckExport(benchmark::State& state) {
    Recordings& r = TheRecordings();
    if (!r.error.empty()) return state.SkipWithError(r.error.c_str());
    const fs::path out = r.staged->Folder() / "out";
    double seconds = 0, cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
        const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);  // the command and, reaped by it, its workers
        const auto t0 = std::chrono::steady_clock::now();
        if (RunCalldeck({"export", "--to", out.string(), "--all"}) != 0)
            return state.SkipWithError("calldeck export failed");
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;
    }
    size_t written = 0;
    for (const auto& e : fs::directory_iterator(out)) written += e.path().extension() == ".wav";
    if (written != size_t(kCalls)) return state.SkipWithError("calldeck export did not write every recording");
    state.counters["files_per_s"] = kCalls / seconds;
    if (g_barePerCoreSeconds > 0) state.counters["x_bare_per_core"] = seconds / g_barePerCoreSeconds;
    if (g_bareCpuSeconds > 0) state.counters["cpu_x_bare"] = cpu / g_bareCpuSeconds;
}
BENCHMARK(BM_CalldeckExport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_PlayerPath(benchmark::State& state) {
    Recordings& r = TheRecordings();
    if (!r.error.empty()) return state.SkipWithError(r.error.c_str());
    const int files = int(state.range(0));
    const fs::path target = r.staged->Folder() / "player.wav";
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < files; ++i) {
            fs::remove(target);
            player::ConvertFile(r.files[size_t(i)].string(), target.string());
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    if (!fs::exists(target)) return state.SkipWithError("ConvertFile wrote no WAV");
    state.counters["s_per_file"] = seconds / files;
    state.counters["s_for_500_est"] = seconds / files * kCalls;
}
BENCHMARK(BM_PlayerPath)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
