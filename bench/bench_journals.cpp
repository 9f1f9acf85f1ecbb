// Journal identification against the full shipped list (29,037 journals): the automatic
// identification of 10,000 imported publications (the list read and its lookup built included),
// identification by every key and suggestions for titles the list does not hold, reading the list
// at start-up, and the searches of the journal search window. After the timings come the figures
// behind the similarity floor of the suggestions.
#include "bench_support.h"

#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/list_grid.h"
#include "../tests/support/journal_variants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
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

// The journals of the list, read once.
const std::vector<lists::ListedJournal>& listedJournals()
{
    static const std::vector<lists::ListedJournal> journals = [] {
        lists::JournalList list(shippedList().connection);
        list.open();
        std::vector<lists::ListedJournal> all;
        for (int i = 0; i < list.matcher().size(); ++i)
            all.push_back(list.matcher().journal(i));
        return all;
    }();
    return journals;
}

// A listed title as people misspell it: one letter dropped, or two neighbours swapped.
QString misspelt(const QString& name, QRandomGenerator& random)
{
    QString typed = name;
    const qsizetype at = random.bounded(static_cast<int>(std::max<qsizetype>(typed.size() - 1, 1)));
    if (random.bounded(2) == 0 || typed.size() < 2)
        typed.remove(at, 1);
    else
        std::swap(typed[at], typed[at + 1]);
    return typed;
}

QString withoutOneWord(const QString& name, QRandomGenerator& random)
{
    QStringList words = name.split(u' ', Qt::SkipEmptyParts);
    if (words.size() < 3)
        return QString();
    words.removeAt(1 + random.bounded(static_cast<int>(words.size() - 1)));
    return words.join(u' ');
}

// 10,000 distinct titles that are not on the list: misspelt listed titles and made-up Polish ones.
QStringList unmatchedTitles()
{
    const std::vector<lists::ListedJournal>& journals = listedJournals();
    QRandomGenerator random(32);
    QSet<QString> seen;
    QStringList titles;
    while (titles.size() < kPublications) {
        const QString title = titles.size() % 2 == 0
            ? misspelt(journals[random.bounded(static_cast<int>(journals.size()))].name, random)
            : QStringLiteral("Zeszyty %1").arg(words(random, 2 + random.bounded(3)));
        if (!seen.contains(title.toLower())) {
            seen.insert(title.toLower());
            titles << title;
        }
    }
    return titles;
}

// Suggestions for 10,000 distinct titles the list does not hold, the index of trigrams built included.
void BM_Suggest10kUnmatchedTitles(benchmark::State& state)
{
    const QStringList titles = unmatchedTitles();
    size_t offered = 0;
    for (auto _ : state) {
        const lists::JournalMatcher matcher(listedJournals());
        const auto suggestions = lists::suggestAll(matcher, titles);
        offered = std::count_if(suggestions.begin(), suggestions.end(), [](const auto& s) { return !s.empty(); });
    }
    state.counters["with_suggestions"] = static_cast<double>(offered);
}
BENCHMARK(BM_Suggest10kUnmatchedTitles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// `vestrum-cli list identify` as a user runs it on a survey of those 10,000 titles: a process from start to end, in
// a program folder whose journal list the program made at its first start, its output thrown away.
struct IdentifyFolder {
    QTemporaryDir dir;
    QString cli() const { return dir.filePath(QStringLiteral("vestrum-cli")); }
    QString survey() const { return dir.filePath(QStringLiteral("badana.mdb")); }

    IdentifyFolder()
    {
        QDir().mkpath(dir.filePath(QStringLiteral("dane")));
        QFile::copy(QStringLiteral(VESTRUM_CLI), cli());
        journals::createJournalListDatabase(dir.filePath(QStringLiteral("dane/lista_czasopism.mdb")));
        schema::createSurveyDatabase(survey());
        db::Connection connection;
        connection.open(survey(), schema::databasePassword());
        lists::ListGrid grid(lists::ListKindInfoOf(3).headers());
        std::vector<QStringList> rows;
        for (const QString& title : unmatchedTitles())
            rows.push_back({title, QStringLiteral("Tytuł"), QStringLiteral("Kowalski J."),
                            QStringLiteral("2008, 1, 1-10"), QString(), QString()});
        grid.setRows(std::move(rows));
        lists::SaveList(connection, 3, grid);
    }
};

void BM_CliIdentify10kUnmatchedTitles(benchmark::State& state)
{
    const IdentifyFolder folder;
    double cpuMs = 0;
    for (auto _ : state) {
        const double before = ChildCpuMs();
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(folder.cli(), {QStringLiteral("list"), QStringLiteral("identify"), folder.survey(),
                                     QStringLiteral("3")});
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            state.SkipWithError("vestrum-cli list identify failed");
        cpuMs += ChildCpuMs() - before;
    }
    state.counters[kCpuCounter] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CliIdentify10kUnmatchedTitles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Identification of 10,000 rows by every key: an ISSN, the title in another letter case, the title
// with "&" for "and", "The" and its dots and hyphens moved, and titles no key finds; the lookups
// built included.
void BM_Identify10kRowsByAllKeys(benchmark::State& state)
{
    const std::vector<lists::ListedJournal>& journals = listedJournals();
    std::vector<std::pair<QString, QString>> rows; // title, ISSN
    for (int i = 0; i < kPublications; ++i) {
        const lists::ListedJournal& j = journals[static_cast<size_t>((i * 7919) % journals.size())];
        switch (i % 4) {
        case 0:
            rows.emplace_back(QStringLiteral("Tytuł inny"), j.issn.isEmpty() ? j.eissn : QString(j.issn).remove(u'-'));
            break;
        case 1:
            rows.emplace_back(j.name.toUpper(), QString());
            break;
        case 2:
            rows.emplace_back(QStringLiteral("The ") + QString(j.name).replace(u' ', QStringLiteral(" - ")).replace(
                                                          QStringLiteral("and"), QStringLiteral("&")),
                              QString());
            break;
        default:
            rows.emplace_back(QStringLiteral("Zeszyty Naukowe Wydziału nr %1").arg(i), QString());
        }
    }
    int identified = 0;
    for (auto _ : state) {
        const lists::JournalMatcher matcher(journals);
        identified = 0;
        for (const auto& [title, issn] : rows)
            identified += matcher.match(title, issn).identified() ? 1 : 0;
    }
    state.counters["identified"] = identified;
}
BENCHMARK(BM_Identify10kRowsByAllKeys)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The figures behind JournalMatcher::kSimilarityFloor: how similar a listed title stays to its
// journal when misspelt or short of a word, how similar made-up titles come to any journal, and
// what share of each the floor keeps.
void printFloorFigures()
{
    const std::vector<lists::ListedJournal>& journals = listedJournals();
    const lists::JournalMatcher matcher(journals);
    QRandomGenerator random(7);
    std::vector<double> typo, dropped, madeUp;
    int typoFirst = 0;
    for (int n = 0; n < 2000; ++n) {
        const QString& name = journals[random.bounded(static_cast<int>(journals.size()))].name;
        const QString a = misspelt(name, random);
        typo.push_back(lists::JournalMatcher::similarity(a, name));
        const auto best = matcher.nearest(a, 1, 0.0);
        typoFirst += !best.empty() && matcher.journal(best.front().journal).name.compare(name, Qt::CaseInsensitive) == 0;
        const QString b = withoutOneWord(name, random);
        if (!b.isEmpty())
            dropped.push_back(lists::JournalMatcher::similarity(b, name));
        const auto chance = matcher.nearest(words(random, 2 + random.bounded(4)), 1, 0.0);
        madeUp.push_back(chance.empty() ? 0.0 : chance.front().similarity);
    }
    auto at = [](std::vector<double> v, double share) {
        std::sort(v.begin(), v.end());
        return v[static_cast<size_t>(share * (v.size() - 1))];
    };
    auto kept = [](const std::vector<double>& v) {
        return 100.0 * std::count_if(v.begin(), v.end(), [](double s) { return s >= lists::JournalMatcher::kSimilarityFloor; })
               / v.size();
    };
    std::printf("\nSimilarity floor %.2f (trigram similarity of the keys, shipped list):\n",
                lists::JournalMatcher::kSimilarityFloor);
    std::printf("  a listed title misspelt (%zu): 5th percentile %.2f, median %.2f; kept %.1f%%; its journal first %.1f%%\n",
                typo.size(), at(typo, 0.05), at(typo, 0.5), kept(typo), 100.0 * typoFirst / typo.size());
    std::printf("  a listed title short of a word (%zu): 5th percentile %.2f, median %.2f; kept %.1f%%\n",
                dropped.size(), at(dropped, 0.05), at(dropped, 0.5), kept(dropped));
    std::printf("  made-up Polish titles, nearest journal (%zu): median %.2f, 90th %.2f, 99th %.2f; offered %.1f%%\n",
                madeUp.size(), at(madeUp, 0.5), at(madeUp, 0.9), at(madeUp, 0.99), kept(madeUp));
}

// The shares of each kind of variant of the shipped list's titles whose journal is identified or
// suggested, and the variants given another journal (the same set the tests hold to its targets).
void printVariantShares()
{
    const lists::JournalMatcher matcher(listedJournals());
    std::map<testing::VariantKind, testing::VariantOutcome> outcomes;
    for (const testing::TitleVariant& variant : testing::JournalTitleVariants(matcher))
        testing::ScoreVariant(matcher, variant, outcomes[variant.kind]);
    std::printf("\nVariants of the shipped list's titles: identified + suggested of all (wrongly identified)\n");
    int wrong = 0;
    for (const auto& [kind, outcome] : outcomes) {
        const bool subtitle = kind == testing::VariantKind::SubtitleAdded || kind == testing::VariantKind::SubtitleRemoved;
        std::printf("  %-22s %4d: %5.1f%% + %5.1f%% = %5.1f%% (%d)%s\n", testing::VariantKindName(kind), outcome.variants,
                    100.0 * outcome.identified / outcome.variants, 100.0 * outcome.suggested / outcome.variants,
                    100.0 * outcome.share(), outcome.wrong,
                    subtitle ? (outcome.share() >= 0.95 ? "   target >= 95%: met" : "   target >= 95%: MISSED") : "");
        wrong += outcome.wrong;
    }
    std::printf("  wrongly identified in all: %d (target 0)\n", wrong);
}

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
    return RunBenchmarksWithTargets(argc, argv, [](const TargetReporter& times) {
        times.printUnder("suggestions for 10,000 unmatched titles", "BM_Suggest10kUnmatchedTitles", 1000);
        times.printUnder("identification of 10,000 rows by all keys", "BM_Identify10kRowsByAllKeys", 200);
        times.printRatioToSum("list identify of 10,000 unmatched titles / parts", "BM_CliIdentify10kUnmatchedTitles",
                              {"BM_Identify10kRowsByAllKeys", "BM_Suggest10kUnmatchedTitles"}, 1.5);
        printFloorFigures();
        printVariantShares();
    });
}
