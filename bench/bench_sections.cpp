// LoadAllSections on a survey whose lists hold 50,000 rows in all, beside the time the sqlite3
// shell takes for the same count statements (the list-button captions and licence bands).
#include "base/clock.h"
#include "program/messages.h"
#include "program/program.h"
#include "storage/engine.h"
#include "survey/reference_tables.h"
#include "base/core_resources.h"
#include "storage/schema.h"
#include "survey/section_data.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>

using namespace vestrum;

namespace {

constexpr int kListRows = 50000;
constexpr int kFirstKind = 1;
constexpr int kLastKind = 48;

class NoMessages final : public Messages {
public:
    MessageResponse present(const MessageRequest&) override { return {}; }
};

QTemporaryDir* gFolder = nullptr;

QString surveyPath() { return gFolder->filePath(QStringLiteral("ankieta.mdb")); }

// Spreads the rows over every list with a button, writing the discriminator and one text.
void fillLists()
{
    schema::createSurveyDatabase(surveyPath());
    db::Connection connection;
    connection.open(surveyPath(), schema::databasePassword());
    db::Transaction transaction(connection);
    std::vector<int> kinds;
    for (int kind = kFirstKind; kind <= kLastKind; ++kind)
        if (!ListCountQuery(kind).sql.isEmpty())
            kinds.push_back(kind);
    const int perKind = kListRows / static_cast<int>(kinds.size());
    int written = 0;
    for (size_t k = 0; k < kinds.size(); ++k) {
        const CountQuery query = ListCountQuery(kinds[k]);
        const bool rights = query.sql.contains(QLatin1String("trim(rodzaj"));
        const QString table =
            rights ? QStringLiteral("dane_wykaz_uprawnien") : query.sql.section(QLatin1Char('"'), 1, 1);
        const QString field = rights ? QStringLiteral("rodzaj") : query.sql.section(QLatin1Char('"'), 3, 3);
        const QVariant value = query.parameters.isEmpty() ? QVariant() : query.parameters.last();
        const int rows = k + 1 == kinds.size() ? kListRows - written : perKind;
        db::Table t(connection, table, db::Table::Mode::ReadWrite);
        const QString text = t.fields().front().name == field ? t.fields()[1].name : t.fields().front().name;
        for (int i = 0; i < rows; ++i) {
            t.append();
            if (!field.isEmpty())
                t.setValue(field, value);
            if (table == QLatin1String("dane_wykaz_uprawnien"))
                t.setString(QStringLiteral("zakres"), QStringLiteral("fizyka;chemia;"));
            else if (table == QLatin1String("dane_wykaz_licencji"))
                t.setFloat(QStringLiteral("oplata"), 1000.0 * i);
            else
                t.setUnicode(text, QStringLiteral("Pozycja wykazu nr %1 – zażółć").arg(i));
            t.post();
        }
        written += rows;
    }
    transaction.commit();
}

void BM_LoadAllSections(benchmark::State& state)
{
    NoMessages messages;
    SystemClock clock;
    Program program(messages, clock);
    program.survey.open(surveyPath(), schema::databasePassword());
    for (auto _ : state) {
        auto pages = LoadAllSections(program);
        benchmark::DoNotOptimize(pages);
    }
}
BENCHMARK(BM_LoadAllSections)->Unit(benchmark::kMillisecond);

QString literal(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (!text.isEmpty() && text.front().unicode() < 0x20) {
            QStringList codes;
            for (QChar c : text)
                codes << QString::number(c.unicode());
            return QStringLiteral("char(%1)").arg(codes.join(QLatin1Char(',')));
        }
        return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
    }
    return value.toString();
}

// The same count statements through the sqlite3 shell: the sum of its "Run Time: real" lines.
void shellCounts()
{
    QString script = QStringLiteral(".timer on\n");
    int statements = 0;
    for (int kind = kFirstKind; kind <= kLastKind; ++kind) {
        const CountQuery query = ListCountQuery(kind);
        if (query.sql.isEmpty())
            continue;
        QString sql = query.sql;
        for (const QVariant& p : query.parameters)
            sql.replace(sql.indexOf(QLatin1Char('?')), 1, literal(p));
        script += sql + QStringLiteral(";\n");
        ++statements;
    }
    for (const QString& sql : LicenceCountQueries()) {
        script += sql + QStringLiteral(";\n");
        ++statements;
    }
    QProcess shell;
    QElapsedTimer wall;
    wall.start();
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), surveyPath()});
    if (!shell.waitForStarted()) {
        std::printf("sqlite3 shell not available\n");
        return;
    }
    shell.write(script.toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(60000);
    const qint64 wallMs = wall.elapsed();
    const QString output = QString::fromUtf8(shell.readAllStandardOutput());
    static const QRegularExpression realTime(QStringLiteral("Run Time: real ([0-9.]+)"));
    double seconds = 0;
    for (auto it = realTime.globalMatch(output); it.hasNext();)
        seconds += it.next().captured(1).toDouble();
    std::printf("sqlite3 shell, the same %d count statements: %.2f ms of statement time (%lld ms with start-up)\n",
                statements, seconds * 1000.0, static_cast<long long>(wallMs));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    initCoreResources();
    QTemporaryDir folder;
    gFolder = &folder;
    fillLists();
    std::printf("survey with %d list rows in %s\n", kListRows, qPrintable(surveyPath()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    shellCounts();
    return 0;
}
