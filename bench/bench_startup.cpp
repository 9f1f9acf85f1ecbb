// Start-up as a user meets it: the real program started as a process (offscreen) in its own program
// folder, with its settings naming the last saved data file, its update check included (the server
// cannot be reached from a benchmark machine; the check gives up), until the main window has painted:
// with the program's --quit-after-first-paint switch it says so on its standard output at that moment,
// and ends there. What it does on its way out nobody waits for, so it is printed beside, not timed. The first start also creates the
// working database and the journal-list database; a warm start finds them. Both are measured against an
// empty Qt main window started and timed the same way in the same run, so the targets are ratios that
// hold on a slower or busier machine too; each figure is the median of nine starts.
#include "datafile/save.h"
#include "lists/list_data.h"
#include "lists/list_grid.h"
#include "lists/list_catalogue.h"
#include "program/settings.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <optional>
#include <vector>
#include <benchmark/benchmark.h>
#include "bench_support.h"

using namespace vestrum;

namespace {

constexpr int kPublications = 10000;

// What the program and the empty window print on their standard output when they have first painted.
constexpr char kFirstPaintLine[] = "first paint";

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

QString programFolder() { return scratch().filePath(QStringLiteral("program")) + u'/'; }
QString dataFile() { return scratch().filePath(QStringLiteral("dane_2009.naj")); }

// A data file of a unit with a publication list, saved the way the program saves one.
void makeDataFile()
{
    QDir().mkpath(scratch().filePath(QStringLiteral("zrodlo")));
    const QString database = scratch().filePath(QStringLiteral("zrodlo/") + datafiles::memberName());
    schema::createSurveyDatabase(database);
    {
        db::Connection connection;
        connection.open(database, schema::databasePassword());
        lists::ListGrid grid(lists::ListKindInfoOf(3).headers());
        std::vector<QStringList> rows;
        for (int i = 0; i < kPublications; ++i)
            rows.push_back({QStringLiteral("Acta Physica Polonica A"), QStringLiteral("Tytuł publikacji nr %1").arg(i),
                            QStringLiteral("Kowalski J., Żuraw A."), QStringLiteral("2008, 114, 1-10"),
                            QStringLiteral("Acta Physica Polonica A"), QStringLiteral("15,00")});
        grid.setRows(std::move(rows));
        lists::SaveList(connection, 3, grid);
    }
    datafiles::CheckedArchive archive;
    datafiles::WriteArchiveOf(database, dataFile(), archive);
}

// The program folder as the installer leaves it, with settings naming the data file.
void layOutProgramFolder()
{
    QDir(programFolder()).removeRecursively();
    for (const char* sub : {"", "dane", "pomoc", "archiwum"})
        QDir().mkpath(programFolder() + QLatin1String(sub));
    const QString program = programFolder() + QStringLiteral("vestrum");
    QFile::copy(QStringLiteral(VESTRUM_PROGRAM), program);
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
    IniFile ini;
    ini.setValue(QStringLiteral("Dane"), QStringLiteral("Obiekt"), dataFile());
    // The update check at start cannot reach the update server from here: its message (number 20)
    // is one the user has switched off, so the start is not left waiting for "Dalej".
    QString messages(40, u'1');
    messages[20 - 1] = u'0';
    ini.setValue(QStringLiteral("Messages"), QStringLiteral("Visible"), messages);
    ini.save(programFolder() + QStringLiteral("ankieta.ini"));
}

// What one start took: to the first paint, the user's wait, and to the end of the process.
struct StartTimes {
    double toFirstPaintMs = 0;
    double toEndMs = 0;
};

// One start of `executable`, timed from the process's start to the line it prints at its first paint; nothing
// when it did not reach its first paint or did not end well by itself.
std::optional<StartTimes> runToFirstPaint(const QString& executable, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The single-instance lock lives in the runtime folder: a private one (QTemporaryDir makes it
    // the user's alone), so another copy of the program running on this machine does not end ours.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch().path());
    environment.insert(QStringLiteral("TMPDIR"), scratch().path());
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(programFolder());
    QElapsedTimer clock;
    clock.start();
    process.start(executable, arguments);
    QByteArray output;
    while (!output.contains(kFirstPaintLine) && process.waitForReadyRead(60000))
        output += process.readAllStandardOutput();
    StartTimes times;
    times.toFirstPaintMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const bool ended = process.waitForFinished(60000);
    times.toEndMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (!ended || process.exitCode() != 0 || !output.contains(kFirstPaintLine)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    return times;
}

std::optional<StartTimes> runProgram()
{
    return runToFirstPaint(programFolder() + QStringLiteral("vestrum"), {QStringLiteral("--quit-after-first-paint")});
}

// Each figure is the median of this many starts, so one start slowed by the machine's other work does not decide it.
constexpr int kStarts = 9;

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// `kStarts` timed starts, each after `prepare`; the benchmark's time is their median to the first paint, its CPU
// counter the mean CPU time of the process per start, and the median to the end of the process is shown beside.
void timeStarts(benchmark::State& state, const std::function<std::optional<StartTimes>()>& run,
                const std::function<void()>& prepare = {})
{
    for (auto _ : state) {
        std::vector<double> toFirstPaint;
        std::vector<double> toEnd;
        double cpuMs = 0;
        for (int start = 0; start < kStarts; ++start) {
            if (prepare)
                prepare();
            const double cpuBefore = ChildCpuMs();
            const std::optional<StartTimes> times = run();
            cpuMs += ChildCpuMs() - cpuBefore;
            if (!times) {
                state.SkipWithError("the program did not reach its first paint");
                return;
            }
            toFirstPaint.push_back(times->toFirstPaintMs);
            toEnd.push_back(times->toEndMs);
        }
        state.SetIterationTime(median(toFirstPaint) / 1000.0);
        state.counters[kCpuCounter] = cpuMs / kStarts;
        state.counters["to_end_ms"] = median(toEnd);
    }
}

void BM_FirstStart(benchmark::State& state)
{
    timeStarts(state, runProgram, layOutProgramFolder); // no databases yet
}
BENCHMARK(BM_FirstStart)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void BM_WarmStart(benchmark::State& state)
{
    layOutProgramFolder();
    runProgram(); // the databases made, the settings written
    timeStarts(state, runProgram);
}
BENCHMARK(BM_WarmStart)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// The baseline: an empty Qt main window, shown maximized, ended after its first paint.
void BM_EmptyMainWindow(benchmark::State& state)
{
    const auto run = [] { return runToFirstPaint(QStringLiteral(VESTRUM_EMPTY_WINDOW), {}); };
    run(); // its libraries in the page cache, as the program's are for a warm start
    timeStarts(state, run);
}
BENCHMARK(BM_EmptyMainWindow)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    makeDataFile();
    return RunBenchmarksWithTargets(argc, argv, [](const TargetReporter& r) {
        r.printRatio("first start to first paint / empty window", "BM_FirstStart", "BM_EmptyMainWindow", 8.0);
        r.printRatio("warm start to first paint / empty window", "BM_WarmStart", "BM_EmptyMainWindow", 4.0);
    });
}
