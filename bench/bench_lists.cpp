// A publication list of 10,000 entries: opening it in the list editor (load, sort, fill the grid,
// fit the columns), saving it, the sqlite3 shell doing the same deletion and inserts in one
// transaction, and the sort alone.
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

#include <cstdio>

using namespace vestrum;

namespace {

constexpr int kRows = 10000;
constexpr int kKind = 3; // 8.1.a, grupa 1

const char* const kJournals[] = {"Acta Physica Polonica A", "Żywność. Nauka. Technologia. Jakość",
                                 "Przegląd Elektrotechniczny", "Journal of Alloys and Compounds",
                                 "Ochrona Środowiska", "Kwartalnik Historii Nauki i Techniki"};

lists::ListGrid publicationRows()
{
    lists::ListGrid grid(lists::ListKindInfoOf(kKind).headers());
    std::vector<QStringList> rows;
    rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        const QString journal = QString::fromUtf8(kJournals[(i * 7) % 6]);
        rows.push_back({journal,
                        QStringLiteral("Wpływ mikrostruktury na właściwości mechaniczne i odporność korozyjną "
                                       "stopów łożyskowych — część %1")
                            .arg((i * 7919) % kRows),
                        QStringLiteral("Kowalski J., Żuraw A., Ślęzak M., Grzegorczyk-Wójcik E. (%1)").arg(i % 97),
                        QStringLiteral("2008, %1, %2-%3").arg(100 + i % 30).arg(i % 500).arg(i % 500 + 12),
                        journal, QStringLiteral("%1,00").arg(6 + i % 25)});
    }
    grid.setRows(std::move(rows));
    return grid;
}

QByteArray sqlText(const QString& text) { return "'" + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")).toUtf8() + "'"; }

QByteArray shellScript(const lists::ListGrid& grid)
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

// A survey holding the 10,000 publications already.
struct Survey {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("ankieta.mdb")); }
    Survey(const lists::ListGrid& grid)
    {
        schema::createSurveyDatabase(path());
        db::Connection c;
        c.open(path(), schema::databasePassword());
        lists::SaveList(c, kKind, grid);
    }
};

class Silent final : public Messages {
public:
    MessageResponse present(const MessageRequest&) override { return {MessageAnswer::Yes, false}; }
};

void BM_OpenPublicationList(benchmark::State& state)
{
    const Survey survey(publicationRows());
    Silent silent;
    SystemClock clock;
    Program program(silent, clock);
    program.survey.open(survey.path(), schema::databasePassword());
    program.state.Windows[static_cast<size_t>(RememberedWindow::Wykazy)] = {800, 1200, 0, 0, false};
    ListEditor editor(program);
    for (auto _ : state) {
        editor.prepare(kKind); // LoadList, sort by the first column, grid filled
        editor.show();         // user font applied, columns fitted
        state.PauseTiming();
        editor.hide();
        state.ResumeTiming();
    }
    state.counters["rows"] = editor.list().rowCount();
}
BENCHMARK(BM_OpenPublicationList)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadPublicationList(benchmark::State& state)
{
    const Survey survey(publicationRows());
    db::Connection c;
    c.open(survey.path(), schema::databasePassword());
    for (auto _ : state)
        benchmark::DoNotOptimize(lists::LoadList(c, kKind));
}
BENCHMARK(BM_LoadPublicationList)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FillAndFitGrid(benchmark::State& state)
{
    const lists::ListGrid grid = publicationRows();
    ListGridView widget;
    widget.resize(1200, 700);
    for (auto _ : state) {
        widget.setHeaders(grid.headers());
        widget.setDataRows(grid.rows());
        FitGridColumns(&widget);
    }
}
BENCHMARK(BM_FillAndFitGrid)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FillGrid(benchmark::State& state)
{
    const lists::ListGrid grid = publicationRows();
    ListGridView widget;
    widget.resize(1200, 700);
    for (auto _ : state) {
        widget.setHeaders(grid.headers());
        widget.setDataRows(grid.rows());
    }
}
BENCHMARK(BM_FillGrid)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SavePublicationList(benchmark::State& state)
{
    const lists::ListGrid grid = publicationRows();
    for (auto _ : state) {
        state.PauseTiming();
        Survey survey(grid); // the save replaces 10,000 stored rows
        db::Connection c;
        c.open(survey.path(), schema::databasePassword());
        state.ResumeTiming();
        if (lists::SaveList(c, kKind, grid) != kRows)
            state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_SavePublicationList)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShellSavePublicationList(benchmark::State& state)
{
    const lists::ListGrid grid = publicationRows();
    const QByteArray script = shellScript(grid);
    for (auto _ : state) {
        state.PauseTiming();
        Survey survey(grid);
        QFile file(survey.dir.filePath(QStringLiteral("save.sql")));
        file.open(QIODevice::WriteOnly);
        file.write(script);
        file.close();
        state.ResumeTiming();
        QProcess shell;
        shell.setStandardInputFile(file.fileName());
        shell.start(QStringLiteral("sqlite3"), {survey.path()});
        shell.waitForFinished(-1);
        if (shell.exitCode() != 0)
            state.SkipWithError("sqlite3 shell failed");
    }
}
BENCHMARK(BM_ShellSavePublicationList)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Sort10k(benchmark::State& state)
{
    const lists::ListGrid grid = publicationRows();
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    for (auto _ : state) {
        state.PauseTiming();
        lists::ListGrid copy = grid;
        state.ResumeTiming();
        copy.sortBy(1, polish);
    }
}
BENCHMARK(BM_Sort10k)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv,
                               "Targets: open (load, sort, fill, fit) < 500 ms; save <= 1.5x the sqlite3 shell; sort of 10,000 rows "
                               "< 50 ms.");
}
