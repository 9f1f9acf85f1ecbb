#include "cli/merge_cli.h"
#include "cli/survey_cli.h"
#include "datafile/merge.h"
#include "datafile/survey_file.h"
#include "support/legacy_data_file.h"

#include <QTextStream>

#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun run(const QStringList& args)
{
    CliRun r;
    QTextStream out(&r.out), err(&r.err);
    r.status = runSurveyCommand(args, out, err);
    return r;
}

QString dataFile(const QString& target, const QString& version, const QStringList& heads)
{
    TempSurvey survey;
    survey.connection.execute(QStringLiteral("UPDATE wersja SET wersja = ?"), {version});
    for (const QString& head : heads)
        survey.connection.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko) VALUES (?)"), {head});
    survey.connection.close();
    archiveDatabase(survey.path(), target);
    return target;
}

int headsIn(const QString& path)
{
    QTemporaryDir scratch;
    db::Connection c;
    OpenSurveyFile(c, path, scratch);
    return c.scalar(QStringLiteral("SELECT count(*) FROM dane_kierownictwo")).toInt();
}

} // namespace

TEST(SurveyMergeCli, MergesTheChosenItemsIntoADataFileAndPrintsEachStep)
{
    QTemporaryDir dir;
    const QString ours = dataFile(dir.filePath(QStringLiteral("nasz.naj")), QStringLiteral("2.2.1.0"),
                                  {QStringLiteral("Nowak Jan")});
    const QString theirs = dataFile(dir.filePath(QStringLiteral("inny.naj")), QStringLiteral("2.2.1.0"),
                                    {QStringLiteral("NOWAK JAN"), QStringLiteral("Bąk Ewa")});

    const CliRun r = run({QStringLiteral("merge"), ours, theirs, QStringLiteral("--items"), QStringLiteral("2,4")});

    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("kierownictwo\t1\nzatrudnienie ogolem\t-\n"));
    EXPECT_EQ(headsIn(ours), 2);
    EXPECT_EQ(headsIn(theirs), 2);
}

TEST(SurveyMergeCli, RefusalGoesToStderrAndLeavesTheFileAlone)
{
    QTemporaryDir dir;
    const QString ours = dataFile(dir.filePath(QStringLiteral("nasz.naj")), QStringLiteral("2.2.1.0"), {});
    const QString older = dataFile(dir.filePath(QStringLiteral("stary.naj")), QStringLiteral("2.1.0.0"),
                                   {QStringLiteral("Bąk Ewa")});
    writeLegacyDataFile(dir.filePath(QStringLiteral("2005.naj")));
    const QByteArray before = fileHash(ours);

    CliRun r = run({QStringLiteral("merge"), ours, older, QStringLiteral("--all")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, merge::OtherVersionMessage() + u'\n');
    EXPECT_TRUE(r.out.isEmpty());

    r = run({QStringLiteral("merge"), ours, dir.filePath(QStringLiteral("2005.naj"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, merge::NotCurrentDataFileMessage() + u'\n');
    EXPECT_EQ(fileHash(ours), before);

    EXPECT_EQ(run({QStringLiteral("merge"), ours, older, QStringLiteral("--items"), QStringLiteral("0,24")}).status, 2);
    EXPECT_EQ(run({QStringLiteral("merge"), ours}).status, 2);
}

TEST(SurveyMergeCli, ANumberThatCannotBeMergedIsRefusedAndTheFileKept)
{
    QTemporaryDir dir;
    auto withStaff = [](const QString& target) {
        TempSurvey survey;
        survey.connection.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Zatr_poza_BR) VALUES (2000000000)"));
        survey.connection.close();
        archiveDatabase(survey.path(), target);
        return target;
    };
    const QString ours = withStaff(dir.filePath(QStringLiteral("nasz.naj")));
    const QString theirs = withStaff(dir.filePath(QStringLiteral("inny.naj")));
    const QByteArray before = fileHash(ours);

    const CliRun r = run({QStringLiteral("merge"), ours, theirs, QStringLiteral("--items"), QStringLiteral("4")});

    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(merge::NotMergeableMessage(QStringLiteral("dane_szczegolowe"),
                                                            QStringLiteral("Zatr_poza_BR"), 1, theirs) + u'\n'))
        << r.err.toStdString();
    EXPECT_EQ(fileHash(ours), before);
}
