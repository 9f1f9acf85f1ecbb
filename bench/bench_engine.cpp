// Engine speed: 10,000 publication rows inserted in one transaction, beside the sqlite3 shell doing
// the same inserts; and the time from an empty program folder to the main window shown.
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
        QProcess shell;
        shell.setStandardInputFile(file.fileName());
        shell.start(QStringLiteral("sqlite3"), {path});
        shell.waitForFinished(-1);
        if (shell.exitCode() != 0)
            state.SkipWithError("sqlite3 shell failed");
    }
}
BENCHMARK(BM_ShellInsert10k)->Unit(benchmark::kMillisecond)->Iterations(5);

// From nothing to the main window shown on an empty survey (databases created on the way, as on a
// first start, and again with them already present).
void BM_StartToMainWindow(benchmark::State& state)
{
    QTemporaryDir dir;
    for (auto _ : state) {
        class Silent final : public Messages {
        public:
            MessageResponse present(const MessageRequest&) override { return {MessageAnswer::Yes, false}; }
        } silent;
        SystemClock clock;
        Program program(silent, clock);
        MainWindow window(program);
        window.startUp({}, dir.path());
        QApplication::processEvents();
        window.closeWithoutQuestions();
    }
}
BENCHMARK(BM_StartToMainWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv,
                               "Targets: engine insert <= 1.5x the sqlite3 shell; start to main window < 1000 ms "
                               "(the first iteration also creates both databases).");
}
