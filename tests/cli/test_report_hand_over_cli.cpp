// `vestrum-cli report` is printed by the report program beside vestrum-cli; these tests start the real
// executables, since what they hold is which program runs, what it loads and what comes back from it.
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    process.closeWriteChannel();
    CliRun result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QByteArray startOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(5) : QByteArray();
}

// The shared libraries the dynamic loader maps when `program` starts.
QString librariesOf(const QString& program)
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {program});
    ldd.waitForFinished(20000);
    return QString::fromUtf8(ldd.readAllStandardOutput());
}

} // namespace

TEST(ReportHandOver, TheReportProgramsOutcomeIsTheCommands)
{
    vestrum::testing::TempSurvey survey;
    survey.connection.close();
    const QString pdf = survey.dir.filePath(QStringLiteral("raport.pdf"));

    const CliRun written = run(QStringLiteral(VESTRUM_CLI), {S("report"), survey.path(), S("-o"), pdf});
    EXPECT_EQ(written.status, 0) << written.err.toStdString();
    EXPECT_EQ(startOf(pdf), QByteArray("%PDF-"));

    const CliRun wrongLine = run(QStringLiteral(VESTRUM_CLI), {S("report"), survey.path()});
    EXPECT_EQ(wrongLine.status, 2);
    EXPECT_TRUE(wrongLine.err.contains(S("Użycie: vestrum-cli report ZBIÓR -o PLIK.pdf"))) << wrongLine.err.toStdString();

    const QString missing = survey.dir.filePath(QStringLiteral("brak.naj"));
    const QString notWritten = survey.dir.filePath(QStringLiteral("nie.pdf"));
    const CliRun unreadable = run(QStringLiteral(VESTRUM_CLI), {S("report"), missing, S("-o"), notWritten});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_TRUE(unreadable.err.contains(missing)) << unreadable.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(notWritten));
}

// An installed vestrum-cli is started through a link in /usr/bin; the report program is found beside the
// real executable, and a missing one is told, not taken for a finished report.
TEST(ReportHandOver, FoundBesideTheRealExecutableAndMissedAloud)
{
    vestrum::testing::TempSurvey survey;
    survey.connection.close();
    QTemporaryDir bin;
    const QString link = bin.filePath(QStringLiteral("vestrum-cli"));
    ASSERT_TRUE(QFile::link(QStringLiteral(VESTRUM_CLI), link));
    const QString pdf = survey.dir.filePath(QStringLiteral("raport.pdf"));
    const CliRun throughLink = run(link, {S("report"), survey.path(), S("-o"), pdf});
    EXPECT_EQ(throughLink.status, 0) << throughLink.err.toStdString();
    EXPECT_EQ(startOf(pdf), QByteArray("%PDF-"));

    QTemporaryDir alone;
    const QString copy = alone.filePath(QStringLiteral("vestrum-cli"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VESTRUM_CLI), copy));
    const QString notWritten = survey.dir.filePath(QStringLiteral("nie.pdf"));
    const CliRun withoutIt = run(copy, {S("report"), survey.path(), S("-o"), notWritten});
    EXPECT_EQ(withoutIt.status, 1);
    EXPECT_TRUE(withoutIt.err.startsWith(S("Nie można uruchomić programu raportu ") + alone.filePath(S("vestrum-cli-report"))))
        << withoutIt.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(notWritten));

    // The other commands still run from the lone copy.
    EXPECT_EQ(run(copy, {S("list"), S("show"), survey.path(), S("3")}).status, 0);
}

TEST(ReportHandOver, OnlyTheReportProgramLoadsPrinting)
{
    const QString cli = librariesOf(QStringLiteral(VESTRUM_CLI));
    const QString report = librariesOf(QFileInfo(QStringLiteral(VESTRUM_CLI)).absolutePath() + S("/vestrum-cli-report"));
    ASSERT_TRUE(cli.contains(S("libQt6Core"))) << cli.toStdString();
    for (const QString& printing : {S("libQt6Gui"), S("libqpdf"), S("libfreetype"), S("libfontconfig")})
        EXPECT_FALSE(cli.contains(printing)) << printing.toStdString();
    for (const QString& printing : {S("libQt6Gui"), S("libqpdf")})
        EXPECT_TRUE(report.contains(printing)) << printing.toStdString();
}
