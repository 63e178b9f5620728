// bench/audit: what the audit trail costs.
//
// BM_AuditAppend appends records as an act does (flock, the cached tail,
// one write, fdatasync), with and without the fdatasync, and reports the
// time a record ("s_per_record"). BM_PickUpAll exports 1 000 one-minute
// G.729 recordings as "Pickup All" does (ConvertFile through VelkCodec,
// one record each) and reports "audit_share": the audit's records, timed
// alone at the same count, over the batch's whole time; the goal is at
// most 0.02. The player's path converts a one-minute file in about 60 ms,
// so the share is mostly each record's fdatasync against the decoding;
// CALLDECK_BENCH_CALLS sets a smaller count. calldeck export writes the
// same record per file, from the command while its workers convert.
// BM_AuditVerifyMillion checks a series of a million records in ten daily
// files (made once into the system's temporary folder); the goal is under
// 2 s.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/sqlstore/recordset.h"
#include "player/core/audit/audit_record.h"
#include "player/core/audit/audit_trail.h"
#include "player/core/audit/audit_verify.h"
#include "player/core/files/pick_up_all.h"
#include "player/core/index/record_database.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/staged_player.h"
#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"

namespace fs = std::filesystem;
using namespace player;

namespace {

AuditRow Row(int n) {
    return {"/srv/calls/2026/12/08/0012/A_2026120810" + std::to_string(100000 + n) + "_C12.VC8",
            "2026-12-08 10:00:00", "0012", "0755123456", "00:03:12", "IN"};
}

fs::path Fresh(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / name;
    fs::remove_all(folder);
    return folder;
}

// Seconds for `count` records appended by one writer.
double AppendSeconds(const fs::path& folder, int count, bool sync) {
    AuditTrail trail(folder);
    trail.syncEachRecord = sync;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < count; ++n) trail.Append("pickup-all", Row(n), "/home/op/out/A_2026120810.wav", "ok");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_AuditAppend(benchmark::State& state) {
    const bool sync = state.range(0) != 0;
    constexpr int kRecords = 1000;
    double seconds = 0;
    for (auto _ : state) {
        const fs::path folder = Fresh("calldeck-audit-append-bench");
        seconds = AppendSeconds(folder, kRecords, sync);
        state.SetIterationTime(seconds);
        fs::remove_all(folder);
    }
    state.counters["s_per_record"] = seconds / kRecords;
}
BENCHMARK(BM_AuditAppend)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// "Pickup All" over 1 000 one-minute G.729 recordings, each a record.
class Stage : public ConvertProcess {
public:
    void Show() override {}
    void ShowCount(std::int32_t, std::int32_t) override {}
    void Unload() override {}
};

// A minute of speech-like sound coded by the G.729 plug-in, as a recorder
// writes an NTC file.
std::string G729Minute() {
    Tessel::testing::PluginUnderTest g729("AuralCodecWren2.dll");
    auto encoder = g729.Encoder();
    if (!encoder || encoder->Init() != 0) return {};
    const auto pcm = Tessel::testing::SpeechLike(60, 1);
    std::string coded(pcm.size() / 160 * 20, '\0');
    for (std::size_t f = 0; f < pcm.size() / 160; ++f)
        encoder->Encode(reinterpret_cast<std::uint8_t*>(&coded[f * 20]), &pcm[f * 160], 1);
    return coded;
}

void BM_PickUpAll(benchmark::State& state) {
    const char* count = std::getenv("CALLDECK_BENCH_CALLS");
    const int kCalls = count && std::atoi(count) > 0 ? std::atoi(count) : 1000;
    player::testing::StagedPlayer staged;
    staged.Start();
    for (const char* lib : {"VelkCodec.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
        staged.StageLibrary(lib);
    const std::string call = G729Minute();
    if (call.empty()) return state.SkipWithError("the G.729 plug-in cannot encode");
    const fs::path calls = staged.Folder() / "calls";
    fs::create_directories(calls);
    for (int n = 0; n < kCalls; ++n) {
        const std::string name = "2026120810" + std::to_string(1000 + n) + "000312345671.NTC";
        std::ofstream(calls / name, std::ios::binary) << call;
        InsertFileInfo({true, (calls / name).string(), "2026-12-08 10:00:00", "0003", "1234567", "00:01:00", "IN"});
    }
    const fs::path out = staged.Folder() / "out";
    fs::create_directories(out);
    staged.dialogs->folderAnswer = out.string();
    double batch = 0;
    for (auto _ : state) {
        Process().rsResult = GetRecordset(kShowAllRecordStatement);
        Stage progress;
        const auto start = std::chrono::steady_clock::now();
        PickUpAll(nullptr, progress);
        batch = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(batch);
    }
    const double audit = AppendSeconds(Fresh("calldeck-audit-share-bench"), kCalls, true);
    state.counters["s_per_file"] = batch / kCalls;
    state.counters["audit_share"] = audit / batch;
}
BENCHMARK(BM_PickUpAll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// A million records in ten daily files, written straight as the writer
// writes them (the chain is the same; only the locking is skipped).
fs::path MillionRecords() {
    const fs::path folder = fs::temp_directory_path() / "calldeck-audit-verify-bench";
    if (fs::exists(folder / "audit-2026-11-10.tsv")) return folder;
    fs::remove_all(folder);
    fs::create_directories(folder);
    AuditHash hash = kAuditChainStart;
    std::uint64_t seq = 0;
    std::string previous;
    for (int day = 1; day <= 10; ++day) {
        const std::string name = "audit-2026-11-" + std::string(day < 10 ? "0" : "") + std::to_string(day) + ".tsv";
        std::ofstream file(folder / name, std::ios::binary);
        AuditRecord r{++seq,        "2026-11-01T10:00:00Z",         "op", "desk-7", "window",
                      kActContinue, {previous, {}, {}, {}, {}, {}}, {},   Hex(hash)};
        file << AuditLine(r, hash, hash);
        for (int n = 1; n < 100000; ++n) {
            r = {++seq, "2026-11-01T10:00:00Z", "op", "desk-7", "window", "play", Row(n), {}, "started"};
            file << AuditLine(r, hash, hash);
        }
        previous = name;
    }
    return folder;
}

void BM_AuditVerifyMillion(benchmark::State& state) {
    const auto files = AuditFiles(MillionRecords());
    std::uint64_t records = 0;
    for (auto _ : state) {
        const AuditVerification v = VerifyAudit(files);
        if (!v.whole) state.SkipWithError(v.problem.c_str());
        records = v.records;
    }
    state.counters["records"] = double(records);
}
BENCHMARK(BM_AuditVerifyMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
