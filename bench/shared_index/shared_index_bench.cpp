// bench/shared_index: the shared record index on PostgreSQL beside
// Player.mdb, searched and filled through the player's own path.
//
// A private PostgreSQL server (platform/sqlstore/testing/test_server.h, in a
// temporary folder removed at the end) holds the table of Player.pg.sql
// with ten million recordings: 60 channels over the year 2024 on four
// recorders (main folders), numbers, durations and both directions. The
// rows are made by the server itself, indexes built after them, then the
// table is vacuumed and analysed; none of that is measured. A staged
// player whose site file names the server then searches one day, of one
// channel (goal: under 5 ms) and of all channels (goal: under 20 ms), as
// the main window does: MakeCondition, GetRecordset, the row count and the
// cells of the rows the grid shows first. The same two searches run on a
// Player.mdb of one million rows of the same make.
//
// Then a tag and a word of the notes are searched over all rows, with a
// hundred thousand notes and tags on either store (goals: under 50 ms on
// the server's ten million rows, under 20 ms on the file's million).
//
// The storing rate (rows_per_s) is what a scan's storing costs without its
// walk over the files: InsertFileInfo for every row inside one transaction,
// as the rebuild calls it per recording, and the commit. On the server the
// rows are marked with their own main folder and go into the table beside
// the ten million (goal: 100 000 rows a second and more); on the file they
// are stored as a rebuild stores them, indexes dropped first and made again
// and the table analysed before the commit.
//
// Row-level security's cost: the same two searches as an operator whose
// login sees 16 of the 60 channels (0031 to 0046, channel 42 among them;
// PlayerSite.roles.pg.sql applied to the server), beside the owner's
// (goal: within 1.5 times the owner's time), and the tag and note word
// searches as that operator.
//
// The full run (ten million rows on the server, a million in the file,
// 200 000 stored; making the rows takes about two minutes on two cores):
//   build/release/bin/shared_index_bench
// A quick one with fewer rows (all three counts may be set):
//   CALLDECK_BENCH_SERVER_ROWS=200000 CALLDECK_BENCH_FILE_ROWS=100000
//   CALLDECK_BENCH_STORE_ROWS=20000 build/release/bin/shared_index_bench
// CALLDECK_BENCH_SERVER=<libpq connection string> searches a server whose
// table is already filled instead (its rows are not counted or changed,
// except the storing rate's own main folder's); the line names
// user=calldeck, and for the scoped searches the server has the site's
// roles and the login bench_operator with its scope, as MakeServerIndex
// makes them. So the ten million rows can be made once and searched by
// several runs.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/common/one_day_search.h"
#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "platform/sqlstore/server_session.h"
#include "platform/sqlstore/testing/test_server.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_scan.h"
#include "player/core/index/search_conditions.h"
#include "player/core/index/site_file.h"
#include "player/core/testing/staged_player.h"

using namespace player;
using platform::sqlstore::Connection;

namespace {

constexpr int kChannels = 60;
constexpr int kGridRows = 40;  // the rows a maximised grid shows first
constexpr const char* kStoredFolder = "/srv/calls/bench-scan";

long Count(const char* variable, long otherwise) {
    const char* text = std::getenv(variable);
    return text && *text ? std::stol(text) : otherwise;
}
long ServerRows() { return Count("CALLDECK_BENCH_SERVER_ROWS", 10'000'000); }
long FileRows() { return Count("CALLDECK_BENCH_FILE_ROWS", 1'000'000); }
long StoreRows() { return Count("CALLDECK_BENCH_STORE_ROWS", 200'000); }

std::unique_ptr<platform::sqlstore::testing::TestServer>& Server() {
    static std::unique_ptr<platform::sqlstore::testing::TestServer> server;
    return server;
}

// The connection string of the server searched: one given, or a server of
// our own, filled on first use.
std::string ServerConnectionInfo();

// The server's table of Player.pg.sql filled with `rows` recordings: the
// n-th call is on channel n % 60 + 1 of recorder (channel - 1) / 15 + 1, and
// the calls follow each other evenly through 2024.
void MakeServerIndex(long rows) {
    Server() = std::make_unique<platform::sqlstore::testing::TestServer>();
    std::ifstream schemaFile(CALLDECK_SOURCE_DIR "/player/core/index/Player.pg.sql");
    const std::string schema((std::istreambuf_iterator<char>(schemaFile)), std::istreambuf_iterator<char>());
    if (schema.empty()) throw std::runtime_error("Player.pg.sql cannot be read");
    Connection setup;
    setup.ConnectionString = "provider=postgresql;data source=" + Server()->ConnectionInfo();
    setup.Open();
    auto& server = *setup.Server();
    server.Run("alter system set max_wal_size = '8GB'");
    server.Run("select pg_reload_conf()");
    server.Run("set maintenance_work_mem = '512MB'");
    server.Run(schema);
    // The indexes are made once the rows are in (the schema again).
    server.Run("drop index RecordFileInfo_Channel_DateTime, RecordFileInfo_DateTime, RecordFileInfo_MainFolder");
    const std::string n = std::to_string(rows);
    server.Run(
        "insert into RecordFileInfo(MainFolder, FileFullName, RecordDateTime, RecordChannel, CallNumber, "
        "RecordDuration, CallDirection) "
        "select folder, folder || to_char(at, '/YYYY/MM/DD/YYYYMMDDHH24MISS') || channel || number || '1.WAV', "
        "at, channel, number, make_interval(secs => 5 + i * 37 % 900), case when i % 3 = 0 then 'OUT' else 'IN' end "
        "from (select i, '/srv/calls/recorder' || (i % 60 / 15 + 1) as folder, "
        "lpad((i % 60 + 1)::text, 4, '0') as channel, '0755' || lpad((i * 7919 % 10000000)::text, 7, '0') as number, "
        "timestamp '2024-01-01' + make_interval(secs => i * 31622400 / " + n + ") as at "
        "from generate_series(0::bigint, " + n + " - 1) as i) as calls");
    server.Run(schema);
    // The site's roles, and an operator scoped to 16 channels.
    std::ifstream rolesFile(CALLDECK_SOURCE_DIR "/player/core/index/PlayerSite.roles.pg.sql");
    const std::string roles((std::istreambuf_iterator<char>(rolesFile)), std::istreambuf_iterator<char>());
    if (roles.empty()) throw std::runtime_error("PlayerSite.roles.pg.sql cannot be read");
    server.Run(roles);
    server.Run("create role bench_operator login in role calldeck_operator");
    server.Run("insert into SiteScopes values ('bench_operator', '00(3[1-9]|4[0-6])', '.*')");
    server.Run("vacuum analyze RecordFileInfo");
    setup.Close();
}

// The file's table filled with `rows` recordings of the same make.
void MakeFileIndex(Connection& store, long rows) {
    store.BeginBatch();
    const std::vector<std::string> indexes = store.DropIndexes("RecordFileInfo");
    const std::string n = std::to_string(rows);
    const std::string fill =
        "with recursive n(i) as (select 0 union all select i + 1 from n where i < " + n + " - 1), "
        "calls as (select i, '/srv/calls/recorder' || (i % 60 / 15 + 1) as folder, "
        "printf('%04d', i % 60 + 1) as channel, printf('0755%07d', i * 7919 % 10000000) as number, "
        "datetime('2024-01-01', '+' || (i * 31622400 / " + n + ") || ' seconds') as at from n) "
        "insert into RecordFileInfo(FileFullName, RecordDateTime, RecordChannel, CallNumber, RecordDuration, "
        "CallDirection) select folder || strftime('/%Y/%m/%d/%Y%m%d%H%M%S', at) || channel || number || '1.WAV', "
        "at, channel, number, time(5 + i * 37 % 900, 'unixepoch'), case when i % 3 = 0 then 'OUT' else 'IN' end "
        "from calls";
    char* error = nullptr;
    if (sqlite3_exec(store.Handle(), fill.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string why = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error("the file's rows could not be made: " + why);
    }
    store.CreateIndexes(indexes);
    store.Analyze("RecordFileInfo");
    store.CommitBatch();
}

std::string ServerConnectionInfo() {
    if (const char* given = std::getenv("CALLDECK_BENCH_SERVER"); given && *given) return given;
    if (!Server()) MakeServerIndex(ServerRows());
    return Server()->ConnectionInfo();
}

enum class Store { Server, ScopedServer, File };

// The staged player of the benchmarks running, on the server or the file;
// each index is made the first time it is asked for.
struct Staged {
    Store store;
    testing::StagedPlayer player;
    explicit Staged(Store s) : store(s) {
        if (store == Store::Server) std::ofstream(player.Folder() / kSiteFileName) << ServerConnectionInfo() << "\n";
        if (store == Store::ScopedServer) {
            std::string line = ServerConnectionInfo();
            const std::size_t user = line.find("user=calldeck");
            if (user == std::string::npos)
                throw std::runtime_error("the scoped operator's line is the owner's with user=calldeck");
            std::ofstream(player.Folder() / kSiteFileName) << line.replace(user, 13, "user=bench_operator") << "\n";
        }
        player.Start();
        if (store == Store::File) MakeFileIndex(*Process().PlayerConnection, FileRows());
    }
};

std::unique_ptr<Staged>& Current() {
    static std::unique_ptr<Staged> staged;
    return staged;
}

void Use(Store store) {
    if (Current() && Current()->store == store) return;
    Current().reset();
    Current() = std::make_unique<Staged>(store);
}

// One day of the middle of the year, of channel 42 or of all channels (0),
// as the main window searches it and shows the first rows.
void SearchOneDay(benchmark::State& state, Store store) {
    Use(store);
    const std::string sql = bench::OneDaySearch(2024, 6, 14, static_cast<int>(state.range(0)));
    long found = 0;
    for (auto _ : state) {
        auto rs = GetRecordset(sql);
        found = rs->RecordCount();
        for (long r = 0; r < std::min<long>(found, kGridRows); ++r)
            for (int col = 0; col < rs->FieldCount(); ++col) benchmark::DoNotOptimize(rs->Value(r, col));
        CloseRst(rs);
    }
    state.counters["rows"] = static_cast<double>(found);
    if (found <= 0) state.SkipWithError("the search found nothing");
}

void BM_ServerSearchOneDay(benchmark::State& state) { SearchOneDay(state, Store::Server); }
BENCHMARK(BM_ServerSearchOneDay)->ArgName("channel")->Arg(42)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScopedOperatorSearchOneDay(benchmark::State& state) { SearchOneDay(state, Store::ScopedServer); }
BENCHMARK(BM_ScopedOperatorSearchOneDay)
    ->ArgName("channel")->Arg(42)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// What reviewers wrote, on one row in `every` of the index (not measured):
// a note "call wN about the W" (N the row's key % 1000, so a word wN is in
// a thousandth of the notes) and a tag "tagN" (N its key % 100).
void AddNotes(long every) {
    Connection& store = *Process().PlayerConnection;
    if (!store.Query("select 1 from RecordNotes limit 1").empty()) return;
    const std::string key = store.Server() ? "calldeck_key" : "rowid";
    const std::string rows = "(select FileFullName, " + key + " as k from RecordFileInfo) as r where k % " +
                             std::to_string(every) + " = 0";
    store.BeginBatch();
    store.Query("insert into RecordNotes(FileFullName, Note) select FileFullName, 'call w' || (k / " +
                std::to_string(every) + " % 1000) || ' about the ' || case k % 3 when 0 then 'invoice' when 1 then "
                "'refund' else 'delivery' end from " + rows);
    store.Query("insert into RecordTags(Tag, FileFullName) select 'tag' || (k / " + std::to_string(every) +
                " % 100), FileFullName from " + rows);
    store.CommitBatch();
    if (!store.Server()) {
        store.Query("analyze");
        return;
    }
    for (const char* table : {"RecordNotes", "RecordTags"}) store.Server()->Run(std::string("vacuum analyze ") + table);
}

// The window's search over every row (its default range, all channels) for
// a tag (1 % of the notes carry it) or a word of the notes (a thousandth of
// them hold it): the statement built, the result opened, its count and the
// cells of the first rows the grid shows. A hundred thousand notes on both
// stores.
void SearchNotes(benchmark::State& state, Store store) {
    Use(store == Store::ScopedServer ? Store::Server : store);  // the owner writes them
    AddNotes(store == Store::File ? FileRows() / 100'000 : ServerRows() / 100'000);
    Use(store);
    SearchConditions c = InitMainFormConditions({2025, 1, 1, 0, 0, 0}, "");
    (state.range(0) == 0 ? c.tag : c.noteWords) = state.range(0) == 0 ? "tag42" : "w42";
    const std::string sql = MakeCondition(c);
    long found = 0;
    for (auto _ : state) {
        auto rs = GetRecordset(sql);
        found = rs->RecordCount();
        for (long r = 0; r < std::min<long>(found, kGridRows); ++r)
            for (int col = 0; col < rs->FieldCount(); ++col) benchmark::DoNotOptimize(rs->Value(r, col));
        CloseRst(rs);
    }
    state.counters["rows"] = static_cast<double>(found);
    const long notes = std::stol(Process().PlayerConnection->Query("select count(*) from RecordNotes")[0][0].value_or("0"));
    state.counters["notes"] = static_cast<double>(notes);
    if (found <= 0) state.SkipWithError("the search found nothing");
}

void BM_ServerNoteSearch(benchmark::State& state) { SearchNotes(state, Store::Server); }
BENCHMARK(BM_ServerNoteSearch)->ArgName("tag0_note1")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same as the operator of 16 channels, whom the notes' and tags' own
// policies bind as well (the note words through calldeck_note_paths).
void BM_ScopedOperatorNoteSearch(benchmark::State& state) { SearchNotes(state, Store::ScopedServer); }
BENCHMARK(BM_ScopedOperatorNoteSearch)
    ->ArgName("tag0_note1")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The recordings a scan stores, made beforehand so only the storing counts:
// 6 646 calls a day, 13 seconds apart, from 2025-01-01 on (28-day months),
// channels in turn.
const std::vector<RecordInfo>& Scanned() {
    static const std::vector<RecordInfo> rows = [] {
        constexpr long kPerDay = 6646;
        std::vector<RecordInfo> out(static_cast<std::size_t>(StoreRows()));
        char text[160];
        for (long n = 0; n < static_cast<long>(out.size()); ++n) {
            RecordInfo& r = out[static_cast<std::size_t>(n)];
            const long day = n / kPerDay, second = n % kPerDay * 13;
            r.IsValid = true;
            std::snprintf(text, sizeof text, "2025-%02ld-%02ld %02ld:%02ld:%02ld", day / 28 % 12 + 1, day % 28 + 1,
                          second / 3600, second / 60 % 60, second % 60);
            r.RecordDateTime = text;
            std::snprintf(text, sizeof text, "%04ld", n % kChannels + 1);
            r.RecordChannel = text;
            std::snprintf(text, sizeof text, "0755%07ld", n * 7919 % 10000000);
            r.CallNumber = text;
            std::snprintf(text, sizeof text, "00:%02ld:%02ld", n * 37 % 900 / 60, n * 37 % 60);
            r.RecordDuration = text;
            std::snprintf(text, sizeof text, "%s/2025/%08ld%s%s1.WAV", kStoredFolder, n, r.RecordChannel.c_str(),
                          r.CallNumber.c_str());
            r.FileFullName = text;
            r.CallDirection = n % 3 ? "IN" : "OUT";
        }
        return out;
    }();
    return rows;
}

using Clock = std::chrono::steady_clock;

// The rate over the measured time only (a rate counter of the library
// would divide by this process's processor time, which leaves out the
// server's work).
void Report(benchmark::State& state, long stored, double seconds) {
    state.counters["rows"] = static_cast<double>(stored);
    state.counters["rows_per_s"] = static_cast<double>(stored) * static_cast<double>(state.iterations()) / seconds;
    if (stored != StoreRows()) state.SkipWithError("the store did not keep every row");
}

void BM_ServerStoringRate(benchmark::State& state) {
    Use(Store::Server);
    const auto& rows = Scanned();
    Connection& store = *Process().PlayerConnection;
    auto& server = *store.Server();
    long stored = 0;
    double seconds = 0;
    for (auto _ : state) {
        server.Run("delete from RecordFileInfo where MainFolder = $1", {kStoredFolder});
        const auto start = Clock::now();
        store.BeginBatch();
        server.SetRowFolder(kStoredFolder);
        for (const RecordInfo& r : rows) InsertFileInfo(r);
        server.SetRowFolder({});
        store.CommitBatch();
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(took);
        seconds += took;
        stored = std::stol(server.RunForValue("select count(*) from RecordFileInfo where MainFolder = $1", {kStoredFolder}));
    }
    server.Run("delete from RecordFileInfo where MainFolder = $1", {kStoredFolder});
    Report(state, stored, seconds);
}
BENCHMARK(BM_ServerStoringRate)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_FileSearchOneDay(benchmark::State& state) { SearchOneDay(state, Store::File); }
BENCHMARK(BM_FileSearchOneDay)->ArgName("channel")->Arg(42)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FileNoteSearch(benchmark::State& state) { SearchNotes(state, Store::File); }
BENCHMARK(BM_FileNoteSearch)->ArgName("tag0_note1")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// After the file's searches: it replaces the file's rows.
void BM_FileStoringRate(benchmark::State& state) {
    Use(Store::File);
    const auto& rows = Scanned();
    Connection& store = *Process().PlayerConnection;
    long stored = 0;
    double seconds = 0;
    for (auto _ : state) {
        store.BeginBatch();
        store.Execute("delete from RecordFileInfo");
        const auto start = Clock::now();
        const std::vector<std::string> indexes = store.DropIndexes("RecordFileInfo");
        for (const RecordInfo& r : rows) InsertFileInfo(r);
        store.CreateIndexes(indexes);
        store.Analyze("RecordFileInfo");
        store.CommitBatch();
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(took);
        seconds += took;
        platform::sqlstore::Recordset count;
        count.Open("select count(*) from RecordFileInfo", Process().PlayerConnection);
        stored = std::stol(std::string(count.Value(0, 0).value_or("0")));
    }
    Report(state, stored, seconds);
}
BENCHMARK(BM_FileStoringRate)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    try {
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "shared_index_bench: %s\n", e.what());
    }
    benchmark::Shutdown();
    Current().reset();
    Server().reset();  // stops the server and removes its folder
    return 0;
}
