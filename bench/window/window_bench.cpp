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
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/sqlstore/connection.h"
#include "platform/sqlstore/recordset.h"
#include "player/core/process_state.h"
#include "player/core/record_database.h"
#include "player/core/record_rebuild.h"
#include "player/core/record_scan.h"
#include "player/core/testing/staged_player.h"
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

Indexed& HundredThousand() {
    static Indexed indexed(100000);
    return indexed;
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
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
