#pragma once

// Entry point of the benchmark programs that need widgets: headless unless a display is asked for,
// and the targets printed after the numbers so a run can be read on its own.
#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdio>

inline int RunWidgetBenchmarks(int argc, char** argv, const char* targets)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::puts(targets);
    return 0;
}
