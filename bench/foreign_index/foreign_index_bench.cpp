// bench/foreign_index: a record index another program filled, searched as
// `calldeck search` searches it.
//
// A Player.mdb of one million recordings (60 channels over the year 2024)
// whose rows were inserted by a program of its own: the table's index is
// there, but no rebuild of this program wrote it, so it holds no statistics
// for the query planner (no sqlite_stat1). Each run opens the index
// (ConnectAccess), searches one day of one channel or of all channels as
// the main window makes the statement, reads the rows, and closes it.
//   BM_SearchOneDay: the index as the opens before left it.
//   BM_FirstSearchOneDay: the statistics taken away before each run (not
//   measured), so every run is the first search of a never analysed index.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <stdexcept>
#include <string>

#include "bench/common/one_day_search.h"
#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/testing/staged_player.h"

using namespace player;

namespace {

constexpr long kRows = 1000000;

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string why = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(why);
    }
}

// The staged index, filled as another program fills it: rows inserted into
// the table with its index in place, nothing analysed.
struct ForeignIndex {
    testing::StagedPlayer staged;
    ForeignIndex() {
        staged.Start();
        CloseAccess();
        sqlite3* db = nullptr;
        sqlite3_open_v2(Process().DatabaseFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        const std::string n = std::to_string(kRows);
        Exec(db,
             "begin; with recursive n(i) as (select 0 union all select i + 1 from n where i < " + n + " - 1), "
             "calls as (select i, '/srv/calls/recorder' || (i % 60 / 15 + 1) as folder, "
             "printf('%04d', i % 60 + 1) as channel, printf('0755%07d', i * 7919 % 10000000) as number, "
             "datetime('2024-01-01', '+' || (i * 31622400 / " + n + ") || ' seconds') as at from n) "
             "insert into RecordFileInfo(FileFullName, RecordDateTime, RecordChannel, CallNumber, RecordDuration, "
             "CallDirection) select folder || strftime('/%Y/%m/%d/%Y%m%d%H%M%S', at) || channel || number || '1.WAV', "
             "at, channel, number, time(5 + i * 37 % 900, 'unixepoch'), case when i % 3 = 0 then 'OUT' else 'IN' "
             "end from calls; commit");
        sqlite3_close_v2(db);
    }
    // Takes away whatever statistics an earlier search gathered.
    void ForgetStatistics() {
        sqlite3* db = nullptr;
        sqlite3_open_v2(Process().DatabaseFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        Exec(db, "drop table if exists sqlite_stat1");
        sqlite3_close_v2(db);
    }
};

ForeignIndex& TheIndex() {
    static ForeignIndex index;
    return index;
}

// What calldeck search does after its start: open, search, read, close.
long OpenSearchClose(const std::string& sql) {
    ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
    long found = 0;
    {
        auto rs = GetRecordset(sql);
        found = rs->RecordCount();
        for (long r = 0; r < found; ++r) benchmark::DoNotOptimize(rs->Value(r, 4));
    }
    CloseAccess();
    return found;
}

void BM_SearchOneDay(benchmark::State& state) {
    TheIndex();
    const std::string sql = bench::OneDaySearch(2024, 3, 14, static_cast<int>(state.range(0)));
    long found = 0;
    for (auto _ : state) found = OpenSearchClose(sql);
    state.counters["rows"] = static_cast<double>(found);
    if (found <= 0) state.SkipWithError("the search found nothing");
}
BENCHMARK(BM_SearchOneDay)->ArgName("channel")->Arg(42)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstSearchOneDay(benchmark::State& state) {
    ForeignIndex& index = TheIndex();
    const std::string sql = bench::OneDaySearch(2024, 3, 14, 0);
    long found = 0;
    for (auto _ : state) {
        state.PauseTiming();
        index.ForgetStatistics();
        state.ResumeTiming();
        found = OpenSearchClose(sql);
    }
    state.counters["rows"] = static_cast<double>(found);
    if (found <= 0) state.SkipWithError("the search found nothing");
}
BENCHMARK(BM_FirstSearchOneDay)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
