#pragma once

// Entry point of the benchmark programs: headless unless a display is asked for, and every target
// printed after the numbers beside the figure it is about, so a miss is seen in the run itself.
#include <QApplication>
#include <QRandomGenerator>
#include <QStringList>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

// `count` Polish words of scientific titles drawn by `random`, for lists that look like real ones.
inline QString words(QRandomGenerator& random, int count)
{
    static const QStringList vocabulary = QStringLiteral(
        "badania analiza metody wpływ struktura modelowanie właściwości zastosowanie układów procesów "
        "systemu danych pomiar ocena rozwój technologii materiałów nowych wybranych przypadku warunkach "
        "Polski regionu środowiska energii fizyki chemii biologii medycyny geologii sieci czasu ciśnienia "
        "temperatury kwantowej numerycznej statystycznej optymalizacja sterowanie projektowanie badanie")
                                              .split(u' ');
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += u' ';
        text += vocabulary.at(static_cast<int>(random.bounded(vocabulary.size())));
    }
    return text;
}

// A benchmark that times another process reports that process's CPU time per iteration in this
// counter (milliseconds); the targets then show it instead of the benchmark's own CPU time.
inline constexpr char kCpuCounter[] = "cpu_ms";

// CPU time, in milliseconds, of the child processes that have ended so far.
inline double ChildCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Keeps each benchmark's time per iteration, wall clock and CPU, in milliseconds.
class TargetReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.iterations == 0 || run.error_occurred)
                continue;
            const double iterations = static_cast<double>(run.iterations);
            realMs_[run.benchmark_name()] = run.real_accumulated_time * 1000.0 / iterations;
            const auto counter = run.counters.find(kCpuCounter);
            cpuMs_[run.benchmark_name()] = counter != run.counters.end()
                ? static_cast<double>(counter->second.value)
                : run.cpu_accumulated_time * 1000.0 / iterations;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The time of the benchmark registered under `name` ("BM_Open/50000" matches
    // "BM_Open/50000/iterations:5"), or a negative number when it did not run.
    double realMs(const std::string& name) const { return find(realMs_, name); }
    double cpuMs(const std::string& name) const { return find(cpuMs_, name); }

    // "label: 240.1 ms (CPU 200.3 ms), target < 300 ms: met"
    void printUnder(const char* label, const std::string& name, double limitMs) const
    {
        const double ms = realMs(name);
        if (ms < 0) {
            std::printf("%-44s did not run, target < %.0f ms\n", label, limitMs);
            return;
        }
        std::printf("%-44s %9.1f ms (CPU %7.1f ms)   target < %.0f ms   %s\n", label, ms, cpuMs(name), limitMs,
                    ms < limitMs ? "met" : "MISSED");
    }

    // "label: 1.10x the reference (CPU of ours / reference wall 0.9x), target <= 1.2x: met"
    void printRatio(const char* label, const std::string& ours, const std::string& reference, double maxRatio) const
    {
        const double a = realMs(ours);
        const double b = realMs(reference);
        if (a < 0 || b <= 0) {
            std::printf("%-44s did not run, target <= %.2fx\n", label, maxRatio);
            return;
        }
        const double cpuA = cpuMs(ours);
        const double cpuB = cpuMs(reference);
        std::printf("%-44s %9.2fx (%.1f / %.1f ms; CPU %.2fx)   target <= %.2fx   %s\n", label, a / b, a, b,
                    cpuB > 0 ? cpuA / cpuB : 0.0, maxRatio, a / b <= maxRatio ? "met" : "MISSED");
    }

    // As printRatio, against the sum of the parts `ours` is made of, each timed on its own in the same run.
    void printRatioToSum(const char* label, const std::string& ours, const std::vector<std::string>& parts,
                         double maxRatio) const
    {
        const double a = realMs(ours);
        double sum = 0;
        for (const std::string& part : parts) {
            const double ms = realMs(part);
            if (ms <= 0) {
                std::printf("%-44s did not run, target <= %.2fx\n", label, maxRatio);
                return;
            }
            sum += ms;
        }
        if (a < 0) {
            std::printf("%-44s did not run, target <= %.2fx\n", label, maxRatio);
            return;
        }
        std::printf("%-44s %9.2fx (%.1f / %.1f ms; CPU %.1f ms)   target <= %.2fx   %s\n", label, a / sum, a, sum,
                    cpuMs(ours), maxRatio, a / sum <= maxRatio ? "met" : "MISSED");
    }

private:
    static double find(const std::map<std::string, double>& times, const std::string& name)
    {
        for (const auto& [key, ms] : times)
            if (key == name || key.rfind(name + "/", 0) == 0)
                return ms;
        return -1;
    }

    std::map<std::string, double> realMs_;
    std::map<std::string, double> cpuMs_;
};

// Runs the benchmarks, then prints the machine's load (the figures are wall clock on a shared
// machine) and the targets through `targets`.
inline int RunBenchmarksWithTargets(int argc, char** argv, const std::function<void(const TargetReporter&)>& targets)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TargetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\nTargets (wall clock; load average when done:");
    if (FILE* load = std::fopen("/proc/loadavg", "r")) {
        double one = 0;
        if (std::fscanf(load, "%lf", &one) == 1)
            std::printf(" %.2f", one);
        std::fclose(load);
    }
    std::printf(")\n");
    if (targets)
        targets(reporter);
    std::fflush(stdout);
    return 0;
}

inline int RunWidgetBenchmarks(int argc, char** argv, const std::function<void(const TargetReporter&)>& targets)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RunBenchmarksWithTargets(argc, argv, targets);
}
