// bench/common: the main of a benchmark program that makes Qt widgets.
//
// A widget must go while the application object stands: one a static still
// holds at the program's exit is destroyed after it, and crashes. So what
// the benchmarks keep between their runs (a window, the staged player
// behind it) is ended by `endKept` inside the application's life, and the
// program then ends as a window test does, Qt's pool threads let end first.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>

#include <functional>

#include "player/window/testing/qt_pool_threads.h"

namespace bench {

// Qt's offscreen platform unless the caller chose one.
inline int RunQtBenchmarks(int argc, char** argv, const std::function<void()>& endKept = {}) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    {
        QApplication app(argc, argv);
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        if (endKept) endKept();
        player::window_testing::EndQtPoolThreads();
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace bench
