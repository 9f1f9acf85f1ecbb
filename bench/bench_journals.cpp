// Journal identification against the full shipped list (29,037 journals): the automatic
// identification of 10,000 imported publications (the list read and its lookup built included),
// reading the list at start-up, and the searches of the journal search window.
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"
#include "lists/journal_identification.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace vestrum;

namespace {

constexpr int kPublications = 10000;

struct ShippedList {
    QTemporaryDir dir;
    db::Connection connection;

    ShippedList()
    {
        const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        journals::createJournalListDatabase(path);
        connection.open(path, schema::databasePassword());
    }
};

ShippedList& shippedList()
{
    static ShippedList list;
    return list;
}

// Publication rows as an import brings them: half typed as listed but in another letter case,
// a quarter only the beginning of a listed name, a quarter journals that are not on the list.
std::vector<QStringList> publications(lists::JournalList& list)
{
    std::vector<QStringList> rows;
    rows.reserve(kPublications);
    for (int i = 0; i < kPublications; ++i) {
        const QString listed = list.journal((i * 7919) % list.count()).name;
        QString typed;
        switch (i % 4) {
        case 0:
        case 1:
            typed = i % 2 == 0 ? listed.toUpper() : listed.toLower();
            break;
        case 2:
            typed = listed.left(std::max<qsizetype>(1, listed.size() / 2));
            break;
        default:
            typed = QStringLiteral("Zeszyty Naukowe Wydziału nr %1").arg(i);
        }
        rows.push_back({typed, QStringLiteral("Tytuł %1").arg(i), QStringLiteral("Kowalski J."),
                        QStringLiteral("2008, 1, 1-10"), QString(), QString()});
    }
    return rows;
}

// Identification as an import runs it: the list read and its lookup built once, then every row.
void BM_IdentifyPublications(benchmark::State& state)
{
    std::vector<QStringList> source;
    {
        lists::JournalList list(shippedList().connection);
        list.open();
        source = publications(list);
    }
    int identified = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<QStringList> rows = source;
        state.ResumeTiming();
        lists::JournalList list(shippedList().connection);
        list.open();
        identified = 0;
        for (QStringList& row : rows) {
            lists::identifyRow(list, row);
            identified += row.at(lists::kListedJournalColumn).isEmpty() ? 0 : 1;
        }
        benchmark::DoNotOptimize(rows);
    }
    state.counters["identified"] = identified;
    state.SetItemsProcessed(state.iterations() * kPublications);
}
BENCHMARK(BM_IdentifyPublications)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_OpenJournalList(benchmark::State& state)
{
    lists::JournalList list(shippedList().connection);
    for (auto _ : state) {
        list.open();
        benchmark::DoNotOptimize(list.count());
    }
    state.counters["journals"] = list.totalCount();
}
BENCHMARK(BM_OpenJournalList)->Unit(benchmark::kMillisecond);

void BM_SearchWindowQueries(benchmark::State& state)
{
    lists::JournalList list(shippedList().connection);
    list.open();
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.findByBeginning(QStringLiteral("Acta")));
        benchmark::DoNotOptimize(list.findFragment(QStringLiteral("łódz")));
        benchmark::DoNotOptimize(list.findNext(QStringLiteral("łódz")));
    }
}
BENCHMARK(BM_SearchWindowQueries)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
