// Publication lists of 1,000, 10,000 and 50,000 entries: opening one in the list editor (load, sort,
// fill the grid, fit the columns) and its parts, the sort of 50,000 titles, saving a publication
// list and a degree-rights list beside the sqlite3 shell doing the same deletion and inserts in one
// transaction, and `vestrum-cli list show` beside the shell reading the same rows.
#include "base/clock.h"
#include "program/program.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "gui/lists/list_editor.h"
#include "gui/common/list_grid_view.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include "bench_support.h"

#include <map>
#include <memory>

using namespace vestrum;

namespace {

constexpr int kPublicationKind = 3; // 8.1.a, grupa 1
constexpr int kDegreeKind = 1;      // doctoral degree rights, rodzaj 'dr'

const char* const kJournals[] = {"Acta Physica Polonica A", "Żywność. Nauka. Technologia. Jakość",
                                 "Przegląd Elektrotechniczny", "Journal of Alloys and Compounds",
                                 "Ochrona Środowiska", "Kwartalnik Historii Nauki i Techniki"};

lists::ListGrid publicationRows(int count)
{
    lists::ListGrid grid(lists::ListKindInfoOf(kPublicationKind).headers());
    std::vector<QStringList> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const QString journal = QString::fromUtf8(kJournals[(i * 7) % 6]);
        rows.push_back({journal,
                        QStringLiteral("Wpływ mikrostruktury na właściwości mechaniczne i odporność korozyjną "
                                       "stopów łożyskowych — część %1")
                            .arg((i * 7919) % count),
                        QStringLiteral("Kowalski J., Żuraw A., Ślęzak M., Grzegorczyk-Wójcik E. (%1)").arg(i % 97),
                        QStringLiteral("2008, %1, %2-%3").arg(100 + i % 30).arg(i % 500).arg(i % 500 + 12),
                        journal, QStringLiteral("%1,00").arg(6 + i % 25)});
    }
    grid.setRows(std::move(rows));
    return grid;
}

lists::ListGrid degreeRows(int count)
{
    lists::ListGrid grid(lists::ListKindInfoOf(kDegreeKind).headers());
    std::vector<QStringList> rows;
    rows.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        rows.push_back({QStringLiteral("doktor nauk %1").arg(i), QStringLiteral("fizyka;chemia;")});
    grid.setRows(std::move(rows));
    return grid;
}

QByteArray sqlText(const QString& text)
{
    return "'" + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")).toUtf8() + "'";
}

QByteArray publicationScript(const lists::ListGrid& grid)
{
    QByteArray sql = "BEGIN;\nDELETE FROM dane_wykaz_publikacji WHERE grupa=1;\n";
    for (const QStringList& r : grid.rows()) {
        sql += "INSERT INTO dane_wykaz_publikacji (grupa,Czasopismo,Tytul,Autorzy,Rok_tom_str,Czasopismo_MEiN,"
               "Liczba_punktow,lista) VALUES (1," + sqlText(r[0]) + "," + sqlText(r[1]) + "," + sqlText(r[2]) + "," +
               sqlText(r[3]) + "," + sqlText(r[4]) + "," + QString(r[5]).replace(QLatin1Char(','), QLatin1Char('.')).toUtf8() +
               ",'2009');\n";
    }
    sql += "COMMIT;\n";
    return sql;
}

QByteArray degreeScript(const lists::ListGrid& grid)
{
    QByteArray sql = "BEGIN;\nDELETE FROM dane_wykaz_uprawnien WHERE trim(rodzaj)='dr';\n";
    for (const QStringList& r : grid.rows())
        sql += "INSERT INTO dane_wykaz_uprawnien (rodzaj,nazwa_stopnia,zakres) VALUES ('dr'," + sqlText(r[0]) + "," +
               sqlText(r[1]) + ");\n";
    sql += "COMMIT;\n";
    return sql;
}

// A survey holding a list already.
struct Survey {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("ankieta.mdb")); }
    Survey(int kind, const lists::ListGrid& grid)
    {
        schema::createSurveyDatabase(path());
        db::Connection c;
        c.open(path(), schema::databasePassword());
        lists::SaveList(c, kind, grid);
    }
};

// One survey per size of publication list, made once.
const Survey& publicationSurvey(int rows)
{
    static std::map<int, std::unique_ptr<Survey>> surveys;
    std::unique_ptr<Survey>& survey = surveys[rows];
    if (!survey)
        survey = std::make_unique<Survey>(kPublicationKind, publicationRows(rows));
    return *survey;
}

class Silent final : public Messages {
public:
    MessageResponse present(const MessageRequest&) override { return {MessageAnswer::Yes, false}; }
};

void BM_OpenPublicationList(benchmark::State& state)
{
    const Survey& survey = publicationSurvey(static_cast<int>(state.range(0)));
    Silent silent;
    SystemClock clock;
    Program program(silent, clock);
    program.survey.open(survey.path(), schema::databasePassword());
    program.state.Windows[static_cast<size_t>(RememberedWindow::Wykazy)] = {800, 1200, 0, 0, false};
    ListEditor editor(program);
    for (auto _ : state) {
        editor.prepare(kPublicationKind); // LoadList, sort by the first column, grid filled
        editor.show();                    // user font applied, columns fitted
        state.PauseTiming();
        editor.hide();
        QApplication::processEvents(); // what the event loop does after the window is up
        state.ResumeTiming();
    }
    state.counters["rows"] = editor.list().rowCount();
}
BENCHMARK(BM_OpenPublicationList)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadPublicationList(benchmark::State& state)
{
    const Survey& survey = publicationSurvey(static_cast<int>(state.range(0)));
    db::Connection c;
    c.open(survey.path(), schema::databasePassword());
    for (auto _ : state)
        benchmark::DoNotOptimize(lists::LoadList(c, kPublicationKind));
}
BENCHMARK(BM_LoadPublicationList)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FillAndFitGrid(benchmark::State& state)
{
    const lists::ListGrid grid = publicationRows(static_cast<int>(state.range(0)));
    ListGridView widget;
    widget.resize(1200, 700);
    for (auto _ : state) {
        widget.setList(grid);
        FitGridColumns(&widget);
    }
}
BENCHMARK(BM_FillAndFitGrid)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);

// The sort of a header press on the title column, every title different.
void BM_SortTitles(benchmark::State& state)
{
    const lists::ListGrid grid = publicationRows(static_cast<int>(state.range(0)));
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    for (auto _ : state) {
        state.PauseTiming();
        lists::ListGrid copy = grid;
        state.ResumeTiming();
        copy.sortBy(1, polish);
    }
}
BENCHMARK(BM_SortTitles)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);

// Saving replaces as many stored rows as it writes.
void saveBenchmark(benchmark::State& state, int kind, const lists::ListGrid& grid)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto survey = std::make_unique<Survey>(kind, grid);
        db::Connection c;
        c.open(survey->path(), schema::databasePassword());
        state.ResumeTiming();
        if (lists::SaveList(c, kind, grid) < grid.rowCount())
            state.SkipWithError("rows missing");
        state.PauseTiming();
        c.close();
        survey.reset();
        state.ResumeTiming();
    }
}

void shellSaveBenchmark(benchmark::State& state, int kind, const lists::ListGrid& grid, const QByteArray& script)
{
    double cpuMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto survey = std::make_unique<Survey>(kind, grid);
        QFile file(survey->dir.filePath(QStringLiteral("save.sql")));
        file.open(QIODevice::WriteOnly);
        file.write(script);
        file.close();
        state.ResumeTiming();
        const double before = ChildCpuMs();
        QProcess shell;
        shell.setStandardInputFile(file.fileName());
        shell.start(QStringLiteral("sqlite3"), {survey->path()});
        shell.waitForFinished(-1);
        if (shell.exitCode() != 0)
            state.SkipWithError("sqlite3 shell failed");
        cpuMs += ChildCpuMs() - before;
        state.PauseTiming();
        survey.reset();
        state.ResumeTiming();
    }
    state.counters[kCpuCounter] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
}

void BM_SavePublicationList(benchmark::State& state)
{
    saveBenchmark(state, kPublicationKind, publicationRows(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_SavePublicationList)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShellSavePublicationList(benchmark::State& state)
{
    const lists::ListGrid grid = publicationRows(static_cast<int>(state.range(0)));
    shellSaveBenchmark(state, kPublicationKind, grid, publicationScript(grid));
}
BENCHMARK(BM_ShellSavePublicationList)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveDegreeRights(benchmark::State& state)
{
    saveBenchmark(state, kDegreeKind, degreeRows(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_SaveDegreeRights)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShellSaveDegreeRights(benchmark::State& state)
{
    const lists::ListGrid grid = degreeRows(static_cast<int>(state.range(0)));
    shellSaveBenchmark(state, kDegreeKind, grid, degreeScript(grid));
}
BENCHMARK(BM_ShellSaveDegreeRights)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(5);

// A process from start to end, its output thrown away; its CPU time is added to `cpuMs`.
void runProcess(benchmark::State& state, const QString& program, const QStringList& arguments, double& cpuMs)
{
    const double before = ChildCpuMs();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        state.SkipWithError("the process failed");
    cpuMs += ChildCpuMs() - before;
}

void BM_CliListShow(benchmark::State& state)
{
    const Survey& survey = publicationSurvey(static_cast<int>(state.range(0)));
    double cpuMs = 0;
    for (auto _ : state)
        runProcess(state, QStringLiteral(VESTRUM_CLI),
                   {QStringLiteral("list"), QStringLiteral("show"), survey.path(), QString::number(kPublicationKind)},
                   cpuMs);
    state.counters[kCpuCounter] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CliListShow)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_ShellListShow(benchmark::State& state)
{
    const Survey& survey = publicationSurvey(static_cast<int>(state.range(0)));
    double cpuMs = 0;
    for (auto _ : state)
        runProcess(state, QStringLiteral("sqlite3"),
                   {QStringLiteral("-separator"), QStringLiteral("\t"), survey.path(),
                    QStringLiteral("SELECT Czasopismo,Tytul,Autorzy,Rok_tom_str,Czasopismo_MEiN,Liczba_punktow "
                                   "FROM dane_wykaz_publikacji WHERE grupa=1")},
                   cpuMs);
    state.counters[kCpuCounter] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ShellListShow)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv, [](const TargetReporter& r) {
        r.printUnder("open a 50,000-row publication list", "BM_OpenPublicationList/50000", 300);
        r.printUnder("open a 10,000-row publication list", "BM_OpenPublicationList/10000", 80);
        r.printUnder("sort 50,000 titles", "BM_SortTitles/50000", 120);
        r.printRatio("vestrum-cli list show, 50,000 rows, vs sqlite3", "BM_CliListShow/50000", "BM_ShellListShow/50000",
                     1.6);
        for (const char* rows : {"1000", "10000", "50000"})
            r.printRatio((std::string("save publications, ") + rows + " rows, vs sqlite3").c_str(),
                         std::string("BM_SavePublicationList/") + rows,
                         std::string("BM_ShellSavePublicationList/") + rows, 1.2);
        for (const char* rows : {"1000", "10000", "20000"})
            r.printRatio((std::string("save degree rights, ") + rows + " rows, vs sqlite3").c_str(),
                         std::string("BM_SaveDegreeRights/") + rows, std::string("BM_ShellSaveDegreeRights/") + rows,
                         1.2);
    });
}
