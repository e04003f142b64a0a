#pragma once

// The main window the GUI benchmarks work in, shown offscreen and kept for the whole run.
#include "form1.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace vornex::bench {

inline Form1 &window()
{
    static Form1 *form = [] {
        Platform platform;
        platform.appDir = QStringLiteral("/tmp");
        platform.endProcess = [](int) {
        };
        auto *f = new Form1(std::move(platform));
        f->show();
        return f;
    }();
    return *form;
}

// Runs the benchmarks that registerAll registers, offscreen.
inline int runOffscreen(int argc, char **argv, void (*registerAll)())
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace vornex::bench
