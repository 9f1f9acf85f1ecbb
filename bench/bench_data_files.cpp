// Saving and loading a data file that holds a 50 MB survey, beside the archive's own add and extract of the
// same database, one thread deflating the same bytes in memory (what a save on one core cannot beat) and the
// sqlite3 shell's copy of the same tables (what a load cannot do faster than).

#include "bench_support.h"
#include "program/program.h"
#include "datafile/save.h"
#include "datafile/load.h"
#include "archive/zlb_archive.h"
#include "storage/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <algorithm>
#include <map>
#include <sys/resource.h>
#include <string>
#include <vector>

using namespace vestrum;

namespace {

class YesMessages final : public Messages {
public:
    MessageResponse present(const MessageRequest&) override { return {MessageAnswer::Yes, false}; }
};

constexpr qint64 kTargetBytes = 50LL * 1024 * 1024;

// Titles, authors and journals of plausible length, from a vocabulary, so the database compresses as real
// survey data do rather than as repeated text.
struct Setup {
    QTemporaryDir dir;
    YesMessages messages;
    SystemClock clock;
    Program program{messages, clock};
    QString dataFile;
    QString database;

    Setup()
    {
        program.state.ProgramFolder = dir.path() + u'/';
        database = program.state.ProgramFolder + QStringLiteral("dane/ankieta.mdb");
        program.state.DatabasePath = database;
        schema::createSurveyDatabase(database);
        program.survey.open(database, schema::databasePassword());
        QRandomGenerator random(2008);
        db::Connection& c = program.survey;
        while (QFileInfo(database).size() < kTargetBytes) {
            db::Transaction transaction(c);
            for (int i = 0; i < 5000; ++i) {
                c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, "
                                         "Rok_tom_str, Liczba_punktow, lista) VALUES (?,?,?,?,?,?,'2009')"),
                          {1 + static_cast<int>(random.bounded(4)), words(random, 4), words(random, 14),
                           words(random, 8), QStringLiteral("2008, %1, %2-%3").arg(random.bounded(60)).arg(i).arg(i + 12),
                           static_cast<double>(random.bounded(25))});
                c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer, data, tytul, "
                                         "nazwiska_tworcow) VALUES (?,?,?,?,?)"),
                          {1 + static_cast<int>(random.bounded(5)), QStringLiteral("P.%1").arg(random.bounded(999999)),
                           QStringLiteral("12/03/2008"), words(random, 10), words(random, 5)});
            }
            transaction.commit();
        }
        dataFile = program.state.ProgramFolder + QStringLiteral("pomiar.naj");
        datafiles::WriteDataFile(program, dataFile);
        std::fprintf(stderr, "database %.1f MB, data file %.1f MB\n", QFileInfo(database).size() / 1048576.0,
                     QFileInfo(dataFile).size() / 1048576.0);
    }
};

// Best wall time and best process CPU time (every thread) of each benchmark, in milliseconds, for the ratios
// printed at the end. On a busy machine the wall times wander; the CPU times show the work itself.
struct Timing {
    double wallMs = 0;
    double cpuMs = 0;
};
std::map<std::string, Timing> best;

double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

class Stopwatch {
public:
    Stopwatch() : cpuStart_(processCpuMs()) { timer_.start(); }
    void record(const std::string& name) const
    {
        const Timing now{static_cast<double>(timer_.nsecsElapsed()) / 1e6, processCpuMs() - cpuStart_};
        auto [it, inserted] = best.emplace(name, now);
        if (!inserted) {
            it->second.wallMs = std::min(it->second.wallMs, now.wallMs);
            it->second.cpuMs = std::min(it->second.cpuMs, now.cpuMs);
        }
    }

private:
    QElapsedTimer timer_;
    double cpuStart_;
};

void printRatio(const char* what, const std::string& measured, const std::string& base, double target)
{
    if (!best.count(measured) || !best.count(base))
        return;
    const double wall = best[measured].wallMs / best[base].wallMs;
    const double cpu = best[measured].cpuMs / best[base].cpuMs;
    std::printf("%s: %s / %s = %.2f wall, %.2f CPU (target <= %.2f) %s\n", what, measured.c_str(), base.c_str(), wall,
                cpu, target, wall <= target ? "OK" : "MISSED");
}

Setup& setup()
{
    static Setup s;
    return s;
}

void ArchiveAdd(benchmark::State& state)
{
    Setup& s = setup();
    const QString target = s.program.state.ProgramFolder + QStringLiteral("surowe.naj");
    for (auto _ : state) {
        QFile::remove(target);
        QFile(target).open(QIODevice::WriteOnly);
        s.program.survey.close();
        const Stopwatch watch;
        ZlbArchive archive;
        archive.OpenArchive(target);
        archive.AddFile(s.database);
        archive.CloseArchive();
        watch.record("ArchiveAdd");
        s.program.survey.open(s.database, schema::databasePassword());
    }
}

// zlib in memory on the calling thread, one stream at the archive's default level.
void SingleThreadDeflate(benchmark::State& state)
{
    Setup& s = setup();
    s.program.survey.close();
    QFile file(s.database);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    s.program.survey.open(s.database, schema::databasePassword());
    std::vector<Bytef> out(compressBound(static_cast<uLong>(bytes.size())));
    for (auto _ : state) {
        const Stopwatch watch;
        uLongf length = static_cast<uLongf>(out.size());
        compress2(out.data(), &length, reinterpret_cast<const Bytef*>(bytes.constData()),
                  static_cast<uLong>(bytes.size()), Z_DEFAULT_COMPRESSION);
        watch.record("SingleThreadDeflate");
    }
}

// How many times the single-thread deflate's throughput a save reaches; a save deflates on every core.
void printSpeedUp(const std::string& measured)
{
    if (!best.count(measured) || !best.count("SingleThreadDeflate"))
        return;
    std::printf("%s vs SingleThreadDeflate: %.2fx the throughput (wall), CPU %.2fx\n", measured.c_str(),
                best["SingleThreadDeflate"].wallMs / best[measured].wallMs,
                best["SingleThreadDeflate"].cpuMs / best[measured].cpuMs);
}

void SaveDataFile(benchmark::State& state)
{
    Setup& s = setup();
    for (auto _ : state) {
        const Stopwatch watch;
        datafiles::WriteDataFile(s.program, s.dataFile);
        watch.record("SaveDataFile");
    }
}

// The soundness check a save runs before it packs the database.
void QuickCheck(benchmark::State& state)
{
    Setup& s = setup();
    for (auto _ : state)
        benchmark::DoNotOptimize(datafiles::WorkingDataDamage(s.program));
}

void SaveToCurrentDataFile(benchmark::State& state)
{
    Setup& s = setup();
    s.program.state.CurrentDataFile = s.dataFile;
    for (auto _ : state) {
        const Stopwatch watch;
        datafiles::SaveToCurrentDataFile(s.program);
        watch.record("SaveToCurrentDataFile");
    }
}

void ArchiveExtract(benchmark::State& state)
{
    Setup& s = setup();
    const QString folder = s.program.state.ProgramFolder + QStringLiteral("rozpakowane");
    for (auto _ : state) {
        QDir(folder).removeRecursively();
        const Stopwatch watch;
        ZlbArchive archive;
        archive.OpenArchive(s.dataFile);
        archive.ExtractAll(folder);
        archive.CloseArchive();
        watch.record("ArchiveExtract");
    }
}

// What the sqlite3 shell needs to replace the working tables with those of the extracted copy.
void Sqlite3ShellCopy(benchmark::State& state)
{
    Setup& s = setup();
    const QString copy = s.program.state.ProgramFolder + QStringLiteral("rozpakowane/ankieta.mdb");
    if (!QFileInfo::exists(copy) || QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty()) {
        state.SkipWithError("sqlite3 shell or the extracted copy missing (run ArchiveExtract first)");
        return;
    }
    QString script = QStringLiteral("ATTACH '%1' AS zrodlo;\nBEGIN;\n").arg(copy);
    for (const QString& table : s.program.survey.userTables()) {
        if (table == u"wersja")
            continue;
        script += QStringLiteral("DELETE FROM main.\"%1\";\nINSERT INTO main.\"%1\" SELECT * FROM zrodlo.\"%1\";\n").arg(table);
    }
    script += QStringLiteral("COMMIT;\n");
    for (auto _ : state) {
        s.program.survey.close();
        QProcess shell;
        shell.start(QStringLiteral("sqlite3"), {s.database});
        shell.write(script.toUtf8());
        shell.closeWriteChannel();
        shell.waitForFinished(-1);
        s.program.survey.open(s.database, schema::databasePassword());
    }
}

void LoadDataFile(benchmark::State& state)
{
    Setup& s = setup();
    datafiles::NoProgress progress;
    for (auto _ : state) {
        const Stopwatch watch;
        datafiles::LoadDataFile(s.program, s.dataFile, progress);
        watch.record("LoadDataFile");
    }
}

} // namespace

BENCHMARK(SingleThreadDeflate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(ArchiveAdd)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(SaveDataFile)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(SaveToCurrentDataFile)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(QuickCheck)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(ArchiveExtract)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Sqlite3ShellCopy)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(LoadDataFile)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Saving checks the database (quick check) and the written file; all that may cost at most a fifth more
    // than the archive's own add of the same database.
    printRatio("save", "SaveDataFile", "ArchiveAdd", 1.2);
    printRatio("save", "SaveToCurrentDataFile", "ArchiveAdd", 1.2);
    for (const char* measured : {"ArchiveAdd", "SaveDataFile", "SaveToCurrentDataFile"})
        printSpeedUp(measured);
    // A load unpacks the member, checks it and copies its tables into the working data: at most 2.5 times what
    // unpacking alone takes.
    printRatio("load", "LoadDataFile", "ArchiveExtract", 2.5);
    return 0;
}
