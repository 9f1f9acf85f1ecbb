// Engine speed: 10,000 publication rows inserted in one transaction, beside the sqlite3 shell doing
// the same inserts. (Start-up is timed on the real program by bench_startup.)
#include "gui/common/plain_messages.h"
#include "gui/main/main_window.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include "bench_support.h"

#include <cstdio>

using namespace vestrum;

namespace {

constexpr int kRows = 10000;

QString title(int i)
{
    return QStringLiteral("Wpływ mikrostruktury na właściwości stopu nr %1").arg(i);
}

void insertThroughEngine(db::Connection& connection)
{
    db::Transaction transaction(connection);
    db::Table table(connection, QStringLiteral("dane_wykaz_publikacji"), db::Table::Mode::ReadWrite);
    for (int i = 0; i < kRows; ++i) {
        table.append();
        table.setInteger(QStringLiteral("grupa"), 1 + i % 4);
        table.setUnicode(QStringLiteral("Czasopismo"), QStringLiteral("Acta Physica Polonica"));
        table.setUnicode(QStringLiteral("Tytul"), title(i));
        table.setUnicode(QStringLiteral("Autorzy"), QStringLiteral("Kowalski J., Żuraw A."));
        table.setUnicode(QStringLiteral("Rok_tom_str"), QStringLiteral("2008, 114, 1-10"));
        table.setUnicode(QStringLiteral("Czasopismo_MEiN"), QStringLiteral("Acta Physica Polonica A"));
        table.setFloat(QStringLiteral("Liczba_punktow"), 15.0);
        table.setUnicode(QStringLiteral("lista"), QStringLiteral("2009"));
        table.post();
    }
    transaction.commit();
}

QByteArray shellScript()
{
    QByteArray sql = "BEGIN;\n";
    for (int i = 0; i < kRows; ++i) {
        sql += "INSERT INTO dane_wykaz_publikacji (grupa,Czasopismo,Tytul,Autorzy,Rok_tom_str,Czasopismo_MEiN,"
               "Liczba_punktow,lista) VALUES (" + QByteArray::number(1 + i % 4) + ",'Acta Physica Polonica','" +
               title(i).toUtf8() + "','Kowalski J., Żuraw A.','2008, 114, 1-10','Acta Physica Polonica A',15.0,'2009');\n";
    }
    sql += "COMMIT;\n";
    return sql;
}

void BM_EngineInsert10k(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ankieta.mdb"));
        schema::createSurveyDatabase(path);
        db::Connection connection;
        connection.open(path, schema::databasePassword());
        state.ResumeTiming();
        insertThroughEngine(connection);
    }
}
BENCHMARK(BM_EngineInsert10k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShellInsert10k(benchmark::State& state)
{
    const QByteArray script = shellScript();
    double cpuMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ankieta.mdb"));
        schema::createSurveyDatabase(path);
        QFile file(dir.filePath(QStringLiteral("insert.sql")));
        file.open(QIODevice::WriteOnly);
        file.write(script);
        file.close();
        state.ResumeTiming();
        const double before = ChildCpuMs();
        QProcess shell;
        shell.setStandardInputFile(file.fileName());
        shell.start(QStringLiteral("sqlite3"), {path});
        shell.waitForFinished(-1);
        if (shell.exitCode() != 0)
            state.SkipWithError("sqlite3 shell failed");
        cpuMs += ChildCpuMs() - before;
    }
    state.counters[kCpuCounter] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ShellInsert10k)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv, [](const TargetReporter& r) {
        r.printRatio("engine insert of 10,000 rows vs sqlite3 shell", "BM_EngineInsert10k", "BM_ShellInsert10k", 1.5);
    });
}
