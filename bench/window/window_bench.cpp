// bench/window: how the main window copes with a large index, drawn off
// screen (QT_QPA_PLATFORM=offscreen unless set).
//
// With 100 000 indexed recordings: "Refresh Recordset" (ShowAllRecord: the
// search, the bind and one paint of the window; goal: under 0.5 s, so the
// click feels immediate), the result set moving to its last record and
// back with the grid following and repainting (goal: under 20 ms, a key
// press), and a page of scrolling. Then the rebuild of 10 000 recordings
// with the scan window counting and the event pump running per file, as in
// the program (window:1), beside the same rebuild without a window
// (window:0): the difference is what keeping the window live costs.
//
// With 1 000 000 indexed recordings: the program's start, from opening the
// index to the first paint of the result grid (ConnectAccess, the main
// window's load with its show-all search and bind, show, first paint;
// goal: under 1 s), and what the show-all result set holds per row beside
// SQLite's own cache (goal: under 100 bytes a row beyond the cells' text):
// just opened and painted, then after every row's cells have been read once
// (the play list or "Pickup All" walking the whole list), with the cells'
// own text counted apart.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QScrollBar>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <string>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/process_state.h"
#include "player/core/index/record_database.h"
#include "player/core/index/record_rebuild.h"
#include "player/core/index/record_scan.h"
#include "player/core/index/search_conditions.h"
#include "player/core/testing/staged_player.h"
#include "bench/common/qt_benchmark_main.h"
#include "player/window/frm_main.h"

namespace fs = std::filesystem;
using namespace player;

namespace {

std::string Digits(int v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, v);
    return buf;
}

// A staged player whose index holds `rows` recordings, and its window.
struct Indexed {
    testing::StagedPlayer staged;
    std::unique_ptr<frmMain> window;
    explicit Indexed(int rows) {
        staged.Start();
        Process().PlayerConnection->BeginBatch();  // one transaction, as a rebuild's
        RecordInfo r;
        r.IsValid = true;
        for (int n = 0; n < rows; ++n) {
            r.RecordChannel = Digits(n % 128 + 1, 4);
            r.RecordDateTime = "2024-" + Digits(n / 3584 % 12 + 1, 2) + "-" + Digits(n / 128 % 28 + 1, 2) + " " +
                               Digits(n % 24, 2) + ":" + Digits(n % 60, 2) + ":" + Digits(n / 7 % 60, 2);
            r.CallNumber = "0755" + Digits(n, 7);
            r.RecordDuration = "00:" + Digits(n % 60, 2) + ":" + Digits(n / 60 % 60, 2);
            r.FileFullName = "/srv/VOC/Board1/2024/" + Digits(n, 8) + r.RecordChannel + r.CallNumber + "1.WAV";
            r.CallDirection = n % 2 ? "IN" : "OUT";
            InsertFileInfo(r);
        }
        Process().PlayerConnection->CommitBatch();
        window = std::make_unique<frmMain>();
        window->show();
        QApplication::processEvents();
    }
};

// Bytes the process has taken from the heap and not given back (SQLite's
// caches included), mapped blocks too: a set's share is the difference
// around its life.
double HeapBytes() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<double>(heap.uordblks + heap.hblkhd);
}

// A staged player whose index holds a million recordings, written by one
// statement (the same rows as Indexed's, a hundred times faster to make).
struct MillionIndexed {
    testing::StagedPlayer staged;
    MillionIndexed() {
        staged.Start();
        Process().PlayerConnection->Execute(
            "with recursive n(i) as (select 0 union all select i + 1 from n where i < 999999) "
            "insert into RecordFileInfo(FileFullName,RecordDateTime,RecordChannel,CallNumber,RecordDuration,"
            "CallDirection) select "
            "printf('/srv/VOC/Board1/2024/%08d%04d0755%07d1.WAV', i, i % 128 + 1, i), "
            "printf('2024-%02d-%02d %02d:%02d:%02d', i / 3584 % 12 + 1, i / 128 % 28 + 1, i % 24, i % 60, i / 7 % 60), "
            "printf('%04d', i % 128 + 1), printf('0755%07d', i), printf('00:%02d:%02d', i % 60, i / 60 % 60), "
            "case when i % 2 then 'IN' else 'OUT' end from n");
        CloseAccess();
    }
};

// The staged indexes the benchmarks keep between their runs; main ends
// them while the application stands, the window first.
std::unique_ptr<MillionIndexed> million;
std::unique_ptr<Indexed> hundredThousand;

MillionIndexed& AMillion() {
    if (!million) million = std::make_unique<MillionIndexed>();
    return *million;
}

// Counts the paints of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

void BM_StartWithAMillionRows(benchmark::State& state) {
    AMillion();
    long rows = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
        auto window = std::make_unique<frmMain>();
        const qint64 loaded = clock.nsecsElapsed();
        PaintCounter counter;
        window->DataGrid1->View()->viewport()->installEventFilter(&counter);
        window->show();
        while (counter.paints == 0) QApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        state.counters["load_ms"] = static_cast<double>(loaded) / 1e6;
        rows = Process().rsResult->RecordCount();
        state.counters["on_demand"] = Process().rsResult->ReadsOnDemand();
        window->DataGrid1->View()->viewport()->removeEventFilter(&counter);
        window.reset();
        CloseRst(Process().rsResult);
        CloseAccess();
    }
    state.counters["rows"] = static_cast<double>(rows);
    if (rows != 1000000) state.SkipWithError("the window did not list the million rows");
}
BENCHMARK(BM_StartWithAMillionRows)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_ResultSetBytesPerRow(benchmark::State& state) {
    AMillion();
    ConnectAccess(Process().PlayerConnection, Process().DatabaseFile, "");
    double opened = 0, walked = 0, text = 0;
    long rows = 0;
    for (auto _ : state) {
        const double before = HeapBytes();
        QElapsedTimer clock;
        clock.start();
        auto set = GetRecordset(kShowAllRecordStatement);
        rows = set->RecordCount();
        state.counters["open_ms"] = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        benchmark::DoNotOptimize(set->Value(0, 0));
        opened = HeapBytes() - before;
        text = 0;
        for (long r = 0; r < rows; ++r)
            for (int c = 0; c < set->FieldCount(); ++c) text += static_cast<double>(set->Value(r, c).value_or("").size());
        walked = HeapBytes() - before;
        state.counters["on_demand"] = set->ReadsOnDemand();
    }
    const double n = static_cast<double>(rows);
    state.counters["rows"] = n;
    state.counters["open_B_per_row"] = opened / n;
    state.counters["walked_B_per_row_beyond_text"] = (walked - text) / n;
    state.counters["text_B_per_row"] = text / n;
    CloseAccess();
    if (rows != 1000000) state.SkipWithError("the show-all search did not find the million rows");
}
BENCHMARK(BM_ResultSetBytesPerRow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

Indexed& HundredThousand() {
    if (!hundredThousand) hundredThousand = std::make_unique<Indexed>(100000);
    return *hundredThousand;
}

void BM_RefreshRecordset(benchmark::State& state) {
    Indexed& w = HundredThousand();
    for (auto _ : state) {
        w.window->ShowAllRecord();
        w.window->repaint();
    }
    state.counters["rows"] = static_cast<double>(Process().rsResult->RecordCount());
}
BENCHMARK(BM_RefreshRecordset)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MoveLastAndFirst(benchmark::State& state) {
    Indexed& w = HundredThousand();
    auto set = Process().rsResult;
    QTableView* view = w.window->DataGrid1->View();
    for (auto _ : state) {
        set->MoveLast();
        view->viewport()->repaint();
        set->MoveFirst();
        view->viewport()->repaint();
    }
    if (view->currentIndex().row() != 0) state.SkipWithError("the grid did not follow the result set");
}
BENCHMARK(BM_MoveLastAndFirst)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScrollAPage(benchmark::State& state) {
    Indexed& w = HundredThousand();
    QScrollBar* bar = w.window->DataGrid1->View()->verticalScrollBar();
    int value = 0;
    for (auto _ : state) {
        value = (value + bar->pageStep()) % bar->maximum();
        bar->setValue(value);
        w.window->DataGrid1->View()->viewport()->repaint();
    }
}
BENCHMARK(BM_ScrollAPage)->Unit(benchmark::kMillisecond)->UseRealTime();

// 10 000 recordings in 100 folders.
fs::path TenThousandFiles(const fs::path& root) {
    for (int f = 0; f < 100; ++f)
        for (int i = 0; i < 100; ++i)
            testing::MakeFile(root / ("day" + Digits(f, 3)) /
                              ("A_2024" + Digits(f % 12 + 1, 2) + Digits(i % 28 + 1, 2) + "1200" + Digits(i % 60, 2) +
                               "_C" + std::to_string(i % 128 + 1) + ".WAV"),
                              8000);
    return root;
}

void BM_RebuildWithTheScanWindow(benchmark::State& state) {
    const bool window = state.range(0) != 0;
    testing::StagedPlayer staged;
    staged.Start();
    const fs::path root = TenThousandFiles(staged.Folder() / "VOC");
    std::unique_ptr<frmMain> main;
    ParseFileProcess bare;
    if (window) {
        Process().PumpEvents = [] { QCoreApplication::processEvents(); };
        main = std::make_unique<frmMain>();
        main->show();
        main->txtMainFolderPath->setText(QString::fromStdString(root.string()));
    } else {
        Process().frmParseFileProcess = &bare;
    }
    std::int32_t stored = 0;
    for (auto _ : state) {
        if (window) {
            stored = main->RefreshFileInfo();
        } else {
            bare.Load();
            stored = RebuildRecordIndex(root.string());
        }
    }
    state.counters["stored"] = stored;
    if (stored != 10000) state.SkipWithError("the rebuild did not store every recording");
}
BENCHMARK(BM_RebuildWithTheScanWindow)->ArgName("window")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return bench::RunQtBenchmarks(argc, argv, [] {
        hundredThousand.reset();
        million.reset();
    });
}
