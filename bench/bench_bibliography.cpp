// Publications from a reference manager's file: 10,000 BibTeX entries (macros, accents, nested braces)
// read, their journals identified against the shipped list and every row checked; and the probable
// duplicate check over the 20,000 publications of a large survey.
#include "bench_support.h"

#include "import/bibliography.h"
#include "import/import_rules.h"
#include "lists/journal_identification.h"
#include "lists/publication_duplicates.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QTemporaryDir>

using namespace vestrum;

namespace {

constexpr int kEntries = 10000;
constexpr int kPublications = 20000;

struct ShippedList {
    QTemporaryDir dir;
    db::Connection connection;
    lists::JournalList list { connection };

    ShippedList()
    {
        const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        journals::createJournalListDatabase(path);
        connection.open(path, schema::databasePassword());
        list.open();
    }
};

QByteArray bibtexFile()
{
    QRandomGenerator random(46);
    QString text = QStringLiteral("@string{kh = {Kwartalnik Historyczny}}\n");
    const char* const journals[] = { "kh", "{Acta Physica Polonica B}", "{Przegl{\\k{a}}d Elektrotechniczny}",
        "{Journal of Unlisted Things}" };
    for (int i = 0; i < kEntries; ++i) {
        text += QStringLiteral("@article{e%1,\n  author = {Kowalski, Jan Maria and Zi{\\k{e}}ba, {\\L}ukasz and "
                               "Nowak-Wi{\\'s}niewska, Anna},\n  title = {%2 {\\'z}r{\\'o}d{\\l}a {Nested {braces}}},\n"
                               "  journal = %3,\n  year = %4, volume = {%5}, number = {%6}, pages = {%7--%8}\n}\n")
                    .arg(i)
                    .arg(words(random, 6), QString::fromLatin1(journals[i % 4]))
                    .arg(2000 + i % 20)
                    .arg(i % 90)
                    .arg(i % 12)
                    .arg(i % 300)
                    .arg(i % 300 + 15);
    }
    return text.toUtf8();
}

void BM_BibTeXReadIdentifyAndCheck10k(benchmark::State& state)
{
    static ShippedList shipped;
    const QByteArray file = bibtexFile();
    for (auto _ : state) {
        const importing::Bibliography bibliography = importing::ReadBibliography(file);
        const importing::BibliographyRows rows = importing::BibliographyToRows(3, bibliography, &shipped.list);
        std::vector<QStringList> handOver;
        const auto findings = importing::CheckRows(3, rows.rows, importing::CheckContext { 2020, {} }, &handOver);
        benchmark::DoNotOptimize(findings);
        state.counters["rows"] = static_cast<double>(rows.rows.size());
    }
}
BENCHMARK(BM_BibTeXReadIdentifyAndCheck10k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DuplicateCheck20k(benchmark::State& state)
{
    QRandomGenerator random(7);
    lists::PublicationLists survey;
    for (int i = 0; i < kPublications; ++i) {
        const int kind = i % 2 == 0 ? 3 + i % 4 : 8 + i % 4;
        const QString title = words(random, 7);
        survey[kind].push_back(kind <= 6
                ? QStringList { QStringLiteral("Kwartalnik Historyczny"), title, QStringLiteral("Nowak A."),
                      QStringLiteral("%1, %2(3), 1-20").arg(2000 + i % 20).arg(i % 50), QString(),
                      QStringLiteral("70,00") }
                : QStringList { QStringLiteral("PWN"), title, words(random, 3), QStringLiteral("Nowak A."),
                      QStringLiteral("Warszawa, %1").arg(2000 + i % 20), QStringLiteral("24") });
    }
    for (auto _ : state) {
        const auto found = lists::FindProbableDuplicates(survey);
        state.counters["duplicates"] = static_cast<double>(found.size());
    }
}
BENCHMARK(BM_DuplicateCheck20k)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return RunBenchmarksWithTargets(argc, argv, [](const TargetReporter& times) {
        times.printUnder("10,000 BibTeX entries read, identified and checked",
            "BM_BibTeXReadIdentifyAndCheck10k/iterations:3", 1000);
        times.printUnder("duplicate check over 20,000 publications", "BM_DuplicateCheck20k/iterations:5", 200);
        std::printf("ratios to target (below 1 meets it): reading %.2f, duplicates %.2f\n",
            times.realMs("BM_BibTeXReadIdentifyAndCheck10k/iterations:3") / 1000.0,
            times.realMs("BM_DuplicateCheck20k/iterations:5") / 200.0);
    });
}
