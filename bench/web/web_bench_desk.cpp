// bench/web: the desk calldeck serve is measured on (bench/web/run).
//
//   web_bench_desk DESK
//
// Makes DESK once (a later run with the same make finds DESK/.made and
// leaves it): a program folder whose Player.mdb holds 1 000 000 rows, 60
// channels over the year 2024 as another program or a rebuild fills it,
// and on 2025-01-02 48 rows of channel 61, each naming its own copy of one
// one-minute A-law WAV, and 48 of channel 62 naming one-minute G.729 NTC
// files; each its own file, so that no conversion the service keeps serves
// a later request. The codec plug-ins are linked in from the build's
// program folder, where the service's conversions look for them.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "codec_framework/testing/plugin_under_test.h"
#include "codec_framework/testing/signals.h"
#include "codec_framework/testing/wav_files.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMake = "1 000 000 rows, 48 A-law and 48 G.729 minutes, make 1\n";
constexpr int kCopies = 48;

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string why = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error("the index could not be filled: " + why);
    }
}

// One minute of speech coded by the plug-in `library`, 160 samples a frame
// into `frameBytes` bytes.
std::string Coded(const char* library, std::size_t frameBytes, const std::vector<std::int16_t>& pcm) {
    Tessel::testing::PluginUnderTest codec(library);
    if (!codec.Loaded()) throw std::runtime_error(std::string(library) + " did not load from the program folder");
    auto encoder = codec.Encoder();
    if (!encoder || encoder->Init() != 0) throw std::runtime_error(std::string(library) + " cannot encode");
    std::string coded(pcm.size() / 160 * frameBytes, '\0');
    for (std::size_t f = 0; f < pcm.size() / 160; ++f)
        encoder->Encode(reinterpret_cast<std::uint8_t*>(&coded[f * frameBytes]), &pcm[f * 160], 1);
    return coded;
}

void Write(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

void Make(const fs::path& desk) {
    fs::remove_all(desk);
    fs::create_directories(desk / "calls");
    fs::permissions(desk, fs::perms::owner_all);
    fs::copy_file(CALLDECK_EMPTY_DATABASE, desk / "Player.mdb");
    fs::permissions(desk / "Player.mdb", fs::perms::owner_read | fs::perms::owner_write);
    for (const char* lib : {"VelkCodec.so", "AuralCodecG711a.so", "AuralCodecWren2.so", "AuralWren2.so"})
        fs::create_symlink(fs::path(CALLDECK_BUILT_PROGRAM_FOLDER) / lib, desk / lib);

    const auto pcm = Tessel::testing::SpeechLike(60, 7);
    const std::string alaw = Coded("AuralCodecG711a.dll", 160, pcm);
    const std::string alawWav = Tessel::testing::WavHeader(Tessel::testing::kALawWav, alaw.size()) + alaw;
    const std::string g729 = Coded("AuralCodecWren2.dll", 20, pcm);

    sqlite3* db = nullptr;
    if (sqlite3_open_v2((desk / "Player.mdb").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + (desk / "Player.mdb").string());
    std::string calls;
    for (int n = 0; n < kCopies; ++n) {
        char at[32];
        std::snprintf(at, sizeof at, "2025-01-02 09:%02d:00", n);
        for (const auto& [channel, ext, bytes] :
             {std::tuple{"0061", "WAV", &alawWav}, std::tuple{"0062", "NTC", &g729}}) {
            const fs::path file =
                desk / "calls" / ("minute-" + std::string(channel) + "-" + std::to_string(n) + "." + ext);
            Write(file, *bytes);
            calls += std::string(calls.empty() ? "" : ",") + "('" + file.string() + "','" + at + "','" + channel +
                     "','0755123456','00:01:00','IN')";
        }
    }
    Exec(db,
         "begin; with recursive n(i) as (select 0 union all select i + 1 from n where i < 999999), "
         "calls as (select i, '/srv/calls/recorder' || (i % 60 / 15 + 1) as folder, "
         "printf('%04d', i % 60 + 1) as channel, printf('0755%07d', i * 7919 % 10000000) as number, "
         "datetime('2024-01-01', '+' || (i * 31622400 / 1000000) || ' seconds') as at from n) "
         "insert into RecordFileInfo(FileFullName, RecordDateTime, RecordChannel, CallNumber, RecordDuration, "
         "CallDirection) select folder || strftime('/%Y/%m/%d/%Y%m%d%H%M%S', at) || channel || number || '1.WAV', "
         "at, channel, number, time(5 + i * 37 % 900, 'unixepoch'), case when i % 3 = 0 then 'OUT' else 'IN' "
         "end from calls; "
         "insert into RecordFileInfo(FileFullName, RecordDateTime, RecordChannel, CallNumber, RecordDuration, "
         "CallDirection) values " +
             calls + "; commit; analyze");
    sqlite3_close_v2(db);
    Write(desk / ".made", kMake);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: web_bench_desk DESK\n");
        return 2;
    }
    const fs::path desk = fs::absolute(argv[1]);
    std::ifstream made(desk / ".made");
    if (std::string line; std::getline(made, line) && line + "\n" == kMake) return 0;
    try {
        std::printf("web_bench_desk: making %s (a minute or so)\n", desk.c_str());
        std::fflush(stdout);
        Make(desk);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "web_bench_desk: %s\n", e.what());
        return 1;
    }
    return 0;
}
