// The real `vestrum-cli` given a FIFO or a device where a file belongs: every command refuses it at once
// instead of waiting for a writer that never comes, and a symbolic link to a file is a file.
#include "support/fifo.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

struct CliRun {
    int status = -1;
    QString err;
    bool finished = false;
};

CliRun cli(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(VESTRUM_CLI), args);
    process.closeWriteChannel();
    CliRun run;
    run.finished = process.waitForFinished(20000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

TEST(SpecialFilesCli, EveryCommandRefusesAFifoOrADeviceAtOnce)
{
    QTemporaryDir dir;
    vestrum::testing::Fifo fifo(dir.filePath(QStringLiteral("potok.naj")));
    ASSERT_TRUE(fifo.made());
    vestrum::testing::TempSurvey survey;
    const QString text = dir.filePath(QStringLiteral("lista.csv"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("a;b\n");
    file.close();
    const QString device = QStringLiteral("/dev/null");

    const QString kind = QStringLiteral("19");
    for (const QString& special : { fifo.path(), device }) {
        const QList<QStringList> commands {
            { S("archive"), S("check"), special },
            { S("archive"), S("list"), special },
            { S("archive"), S("add"), special, text },
            { S("archive"), S("update"), special, S("0"), text },
            { S("archive"), S("add"), dir.filePath(S("nowy.naj")), special },
            { S("list"), S("import-text"), survey.path(), kind, special, S("--separator=;"), S("--map=1") },
            { S("list"), S("import"), survey.path(), kind, special },
            { S("list"), S("show"), special, kind },
            { S("survey"), S("show"), special },
        };
        for (const QStringList& args : commands) {
            const CliRun run = cli(args);
            ASSERT_TRUE(run.finished) << args.join(u' ').toStdString() << " kept waiting";
            EXPECT_EQ(run.status, 1) << args.join(u' ').toStdString();
            EXPECT_EQ(run.err, S("Plik %1 nie jest zwykłym plikiem.\n").arg(special)) << args.join(u' ').toStdString();
        }
    }
    EXPECT_FALSE(fifo.rescued()) << "a command opened the FIFO";
    EXPECT_FALSE(QFile::exists(dir.filePath(S("nowy.naj"))));

    // A link to a regular file is that file.
    const QString link = dir.filePath(QStringLiteral("dowiazanie.csv"));
    ASSERT_TRUE(QFile::link(text, link));
    const CliRun linked = cli({ S("list"), S("import-text"), survey.path(), kind, link, S("--separator=;"), S("--map=1,2") });
    EXPECT_EQ(linked.status, 0) << linked.err.toStdString();
}
