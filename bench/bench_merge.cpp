// Merging another unit's data file whose lists hold 20,000 rows into a survey with 20,000 rows of its own, half
// of the other's rows being ours again in other letter case. Target: under 2 s for the whole "połącz dane"
// (unpacking, checks, duplicate search, appending). The counter "x_target" is the time over the target.

#include "bench_support.h"
#include "datafile/merge.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "archive/zlb_archive.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <optional>

using namespace vestrum;

namespace {

constexpr int kListRows = 20000;
constexpr double kTargetSeconds = 2.0;

// Rows `first` to `first + count - 1` of a survey's lists, the same for the same numbers: publications,
// patents and projects in turn. `upper` writes the texts in capitals.
void fillLists(db::Connection& c, int first, int count, bool upper)
{
    db::Transaction transaction(c);
    for (int n = first; n < first + count; ++n) {
        QRandomGenerator random(static_cast<quint32>(n));
        auto text = [&](int words_) {
            const QString t = words(random, words_);
            return upper ? t.toUpper() : t;
        };
        switch (n % 3) {
        case 0:
            c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Czasopismo, Tytul, Autorzy, Rok_tom_str, "
                                     "Liczba_punktow) VALUES (?,?,?,?,?,?)"),
                      {1 + n % 4, text(4), text(14), text(6), QStringLiteral("2008, %1").arg(n), double(n % 25)});
            break;
        case 1:
            c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer, data, tytul, nazwiska_tworcow) "
                                     "VALUES (?,?,?,?,?)"),
                      {1 + n % 5, QStringLiteral("P.%1").arg(n), QStringLiteral("12/03/2008"), text(10), text(5)});
            break;
        default:
            c.execute(QStringLiteral("INSERT INTO dane_wykaz_projektow (rodzaj, symbol, tytul, kierownik, naklady) "
                                     "VALUES (?,?,?,?,?)"),
                      {1 + n % 3, QStringLiteral("N%1").arg(n), text(9), text(2), QStringLiteral("%1,00").arg(n)});
            break;
        }
    }
    transaction.commit();
}

struct Setup {
    QTemporaryDir dir;
    db::Connection working;
    QString otherFile;

    Setup()
    {
        const QString ours = dir.filePath(QStringLiteral("ankieta.mdb"));
        schema::createSurveyDatabase(ours);
        working.open(ours, schema::databasePassword());
        fillLists(working, 0, kListRows, false);

        // The other unit: the second half of our rows in capitals, then as many rows of its own.
        QTemporaryDir staging;
        const QString theirs = staging.filePath(QStringLiteral("ankieta.mdb"));
        schema::createSurveyDatabase(theirs);
        {
            db::Connection other;
            other.open(theirs, schema::databasePassword());
            fillLists(other, kListRows / 2, kListRows, true);
        }
        otherFile = dir.filePath(QStringLiteral("inna.naj"));
        QFile(otherFile).open(QIODevice::WriteOnly);
        ZlbArchive archive;
        archive.OpenArchive(otherFile);
        archive.AddFile(theirs);
        archive.CloseArchive();
    }
};

void MergeDataFile(benchmark::State& state)
{
    static Setup s;
    datafiles::NoProgress quiet;
    double seconds = 0;
    int added = 0;
    for (auto _ : state) {
        // The merge commits into an outer transaction that is rolled back, so every run starts alike.
        std::optional<db::Transaction> outer(std::in_place, s.working);
        QElapsedTimer timer;
        timer.start();
        added = 0;
        for (const merge::StepOutcome& o : merge::MergeDataFile(s.working, s.otherFile, merge::AllItems(), quiet))
            added += o.rowsAdded;
        seconds += static_cast<double>(timer.nsecsElapsed()) / 1e9;
        state.PauseTiming();
        outer.reset();
        state.ResumeTiming();
    }
    state.counters["rows_added"] = added;
    state.counters["x_target"] = seconds / static_cast<double>(state.iterations()) / kTargetSeconds;
}

} // namespace

BENCHMARK(MergeDataFile)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::puts("target: MergeDataFile under 2000 ms (x_target < 1)");
    return 0;
}
