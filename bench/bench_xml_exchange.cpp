// A publication list of 20,000 entries in the XML list format: reading the file (the import's
// parse), reading it with the journal identification an import of publications runs, and writing it.
#include "base/error.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_grid.h"
#include "lists/xml_exchange.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>

using namespace vestrum;

namespace {

constexpr int kRows = 20000;
constexpr int kKind = 3;
constexpr double kReadTargetSeconds = 0.5;

const char* const kJournals[]
    = { "Acta Physica Polonica A", "Żywność. Nauka. Technologia. Jakość", "Przegląd Elektrotechniczny",
          "Journal of Alloys and Compounds", "Ochrona Środowiska", "Kwartalnik Historii Nauki i Techniki" };

lists::ListGrid publicationRows()
{
    lists::ListGrid grid(lists::ListKindInfoOf(kKind).headers());
    std::vector<QStringList> rows;
    rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        const QString journal = QString::fromUtf8(kJournals[(i * 7) % 6]);
        rows.push_back({ journal,
            QStringLiteral("Wpływ mikrostruktury na właściwości mechaniczne\nstopów łożyskowych — część %1").arg(i),
            QStringLiteral("Kowalski J., Żuraw A., Ślęzak M., Grzegorczyk-Wójcik E. (%1)").arg(i % 97),
            QStringLiteral("2008, %1, %2-%3").arg(100 + i % 30).arg(i % 500).arg(i % 500 + 12),
            i % 2 ? journal : QString(), QStringLiteral("%1,00").arg(6 + i % 25) });
    }
    grid.setRows(std::move(rows));
    return grid;
}

struct Fixture {
    QTemporaryDir dir;
    lists::ListGrid grid = publicationRows();
    QString file = dir.filePath(QStringLiteral("publikacje.xml"));
    db::Connection journals;

    Fixture()
    {
        lists::writeListXml(file, grid);
        const QString list = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        journals::createJournalListDatabase(list);
        journals.open(list, schema::databasePassword());
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_ReadListFile(benchmark::State& state)
{
    Fixture& f = fixture();
    QElapsedTimer timer;
    qint64 nanoseconds = 0;
    for (auto _ : state) {
        timer.start();
        const auto rows = lists::readListXml(f.file, f.grid.columnCount());
        nanoseconds += timer.nsecsElapsed();
        if (rows.size() != kRows)
            state.SkipWithError("rows lost");
    }
    const double seconds = static_cast<double>(nanoseconds) / 1e9 / static_cast<double>(state.iterations());
    state.counters["ratio_to_target"] = seconds / kReadTargetSeconds;
    state.counters["file_MB"] = static_cast<double>(QFile(f.file).size()) / 1e6;
}
BENCHMARK(BM_ReadListFile)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ReadAndIdentify(benchmark::State& state)
{
    Fixture& f = fixture();
    lists::JournalList list(f.journals);
    list.open();
    for (auto _ : state) {
        auto rows = lists::readListXml(f.file, f.grid.columnCount());
        lists::identifyImportedJournals(list, rows);
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_ReadAndIdentify)->Unit(benchmark::kMillisecond)->Iterations(5);

// A record whose column element carries 40,000 attributes (the flood that once held the parser for
// seconds): the reader refuses it from the raw bytes, so its time is that of reading the file.
void BM_RefuseAttributeFlood(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString flood = f.dir.filePath(QStringLiteral("zalew.xml"));
    {
        QByteArray tag = "<kolumna_1";
        for (int i = 0; i < 40000; ++i)
            tag += " a" + QByteArray::number(i) + "=\"1\"";
        QFile out(flood);
        if (!out.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the flood");
            return;
        }
        out.write("<?xml version=\"1.0\"?>\r\n<eksport>\r\n<rekord>\r\n" + tag + ">x</kolumna_1>\r\n</rekord>\r\n</eksport>\r\n");
    }
    for (auto _ : state) {
        try {
            lists::readListXml(flood, 1);
            state.SkipWithError("the flood was read");
        } catch (const Error&) {
        }
    }
    state.counters["file_MB"] = static_cast<double>(QFile(flood).size()) / 1e6;
}
BENCHMARK(BM_RefuseAttributeFlood)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_WriteListFile(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString out = f.dir.filePath(QStringLiteral("eksport.xml"));
    for (auto _ : state)
        lists::writeListXml(out, f.grid);
}
BENCHMARK(BM_WriteListFile)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::puts("Target: reading a 20,000-row list file < 500 ms (ratio_to_target < 1).");
    return 0;
}
