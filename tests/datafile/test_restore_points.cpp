#include "datafile/restore_points.h"
#include "support/legacy_data_file.h"

#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

[[maybe_unused]] void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

QDateTime at(int y, int m, int d, int h, int min, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s));
}

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
}

QString unitName(db::Connection& c)
{
    return c.scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString();
}

datafiles::NoProgress quiet;

} // namespace

TEST(RestorePoints, NameAndLineCarryTheMinute)
{
    EXPECT_EQ(restorepoints::RestorePointName(at(2008, 3, 5, 9, 7, 59)), QStringLiteral("a_2008_03_05-09_07.nar"));
    EXPECT_EQ(restorepoints::RestorePointLine(QStringLiteral("a_2008_03_05-09_07.nar")),
              QStringLiteral("dzień: 2008/03/05  godzina: 09:07"));
    EXPECT_EQ(restorepoints::DateOfRestorePoint(QStringLiteral("a_2008_03_05-09_07.nar")), QDate(2008, 3, 5));
    EXPECT_FALSE(restorepoints::DateOfRestorePoint(QStringLiteral("kopia.nar")).isValid());
    EXPECT_FALSE(restorepoints::DateOfRestorePoint(QStringLiteral("a_2008_02_30-09_07.nar")).isValid());
}

TEST(RestorePoints, MadeInAFolderThatDidNotExistAndNeverReplacedWithinTheMinute)
{
    TestProgram t;
    const QString folder = t.program.state.archiveFolder();
    ASSERT_FALSE(QFileInfo::exists(folder));
    t.survey().execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, 'pierwszy stan')"));

    t.clock.set(at(2008, 3, 5, 9, 7, 5));
    QString first;
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program, &first));
    EXPECT_EQ(first, folder + QStringLiteral("a_2008_03_05-09_07.nar"));
    EXPECT_TRUE(t.survey().isOpen());

    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa='drugi stan'"));
    t.clock.set(at(2008, 3, 5, 9, 7, 55));
    QString second;
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program, &second));
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program));

    // Both earlier points stay; the list shows them in the order they were made, all at 09:07 and told apart.
    const QList<restorepoints::RestorePointEntry> entries = restorepoints::RestorePointEntries(folder);
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].path, first);
    EXPECT_EQ(entries[1].path, second);
    EXPECT_EQ(QFileInfo(entries[2].path).fileName(), QStringLiteral("a_2008_03_05-09_07_03.nar"));
    EXPECT_EQ(entries[0].line, QStringLiteral("dzień: 2008/03/05  godzina: 09:07"));
    EXPECT_EQ(entries[1].line, QStringLiteral("dzień: 2008/03/05  godzina: 09:07 (2)"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3) << "no staging file left";

    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa='trzeci stan'"));
    restorepoints::RestoreData(t.program, first, quiet);
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("pierwszy stan"));
    restorepoints::RestoreData(t.program, second, quiet);
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("drugi stan"));
}

TEST(RestorePoints, AFileThatAppearsUnderTheNameIsNeverReplaced)
{
    TestProgram t;
    t.survey().execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, 'stan')"));
    const QString folder = t.program.state.archiveFolder();
    QDir().mkpath(folder);
    QStringList candidates = restorepoints::RestorePointCandidates(folder, t.clock.now());
    ASSERT_EQ(candidates.size(), 99);
    for (const QString& taken : candidates.mid(0, 98)) {
        QFile f(taken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("cudzy");
    }
    QString made;
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program, &made));
    EXPECT_EQ(made, candidates.last());
    for (const QString& taken : candidates.mid(0, 98))
        EXPECT_EQ(QFileInfo(taken).size(), 5);
    // Every name of the minute taken: no point, nothing replaced, nothing left behind.
    EXPECT_FALSE(restorepoints::MakeRestorePoint(t.program));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 99);
}

TEST(RestorePoints, FailedPointReportsFalseAndKeepsTheEarlierOne)
{
    TestProgram t;
    t.survey().execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, 'zachowany')"));
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program));
    const QString point = t.program.state.archiveFolder() + QStringLiteral("a_2008_03_05-09_07.nar");
    const qint64 size = QFileInfo(point).size();

    t.survey().close();
    QFile::rename(t.program.state.DatabasePath, t.program.state.DatabasePath + QStringLiteral(".x"));
    touch(t.program.state.DatabasePath);
    EXPECT_FALSE(restorepoints::MakeRestorePoint(t.program));
    EXPECT_EQ(QFileInfo(point).size(), size);
}

TEST(RestorePoints, WeeklyPointIsDueAfterMoreThanSevenDays)
{
    const QDate newest(2008, 3, 1);
    EXPECT_FALSE(restorepoints::WeeklyRestorePointDue(at(2008, 3, 8, 23, 59), newest));
    EXPECT_TRUE(restorepoints::WeeklyRestorePointDue(at(2008, 3, 9, 0, 0), newest));
    EXPECT_TRUE(restorepoints::WeeklyRestorePointDue(at(2008, 3, 9, 18, 30), newest));
    // Across the change to summer time (30 March 2008) the rule still counts calendar days.
    EXPECT_TRUE(restorepoints::WeeklyRestorePointDue(at(2008, 4, 2, 0, 30), QDate(2008, 3, 25)));
    // A point dated in the future counts by the same distance.
    EXPECT_FALSE(restorepoints::WeeklyRestorePointDue(at(2008, 3, 1, 12, 0), QDate(2008, 3, 9)));
    EXPECT_TRUE(restorepoints::WeeklyRestorePointDue(at(2008, 3, 1, 12, 0), QDate(2008, 3, 10)));
}

TEST(RestorePoints, WeeklyPointReadsTheNewestDateFromTheNames)
{
    TestProgram t;
    const QString folder = t.program.state.archiveFolder();
    // At exit the connections are already closed.
    t.survey().close();

    t.clock.set(at(2008, 3, 9, 8, 0));
    EXPECT_TRUE(restorepoints::WeeklyRestorePoint(t.program)); // nothing there yet: the span from 1980
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("a_2008_03_09-08_00.nar")));
    EXPECT_FALSE(t.survey().isOpen());

    QDir(folder).removeRecursively();
    touch(folder + QStringLiteral("a_2008_03_01-23_59.nar"));
    touch(folder + QStringLiteral("a_2008_02_20-10_00.nar"));
    touch(folder + QStringLiteral("kopia_z_pendrive.nar")); // no date in it: ignored
    t.clock.set(at(2008, 3, 8, 23, 59));
    EXPECT_FALSE(restorepoints::WeeklyRestorePoint(t.program));
    t.clock.set(at(2008, 3, 9, 0, 1));
    EXPECT_TRUE(restorepoints::WeeklyRestorePoint(t.program));
    EXPECT_EQ(restorepoints::NewestRestorePointDate(folder), QDate(2008, 3, 9));
}

TEST(RestorePoints, ListShowsPointsInTheOrderTheyWereMade)
{
    QTemporaryDir dir;
    EXPECT_TRUE(restorepoints::RestorePointEntries(dir.filePath(QStringLiteral("brak"))).isEmpty());
    EXPECT_TRUE(restorepoints::RestorePointEntries(dir.path()).isEmpty());

    touch(dir.filePath(QStringLiteral("a_2008_03_06-00_00.nar")));
    touch(dir.filePath(QStringLiteral("a_2008_03_05-23_59.nar")));
    touch(dir.filePath(QStringLiteral("a_2007_12_31-10_15.nar")));
    touch(dir.filePath(QStringLiteral("notatka.txt")));
    const auto entries = restorepoints::RestorePointEntries(dir.path());
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].line, QStringLiteral("dzień: 2007/12/31  godzina: 10:15"));
    EXPECT_EQ(entries[1].line, QStringLiteral("dzień: 2008/03/05  godzina: 23:59"));
    EXPECT_EQ(entries[2].line, QStringLiteral("dzień: 2008/03/06  godzina: 00:00"));
    EXPECT_EQ(entries[2].path, dir.filePath(QStringLiteral("a_2008_03_06-00_00.nar")));
}

TEST(RestorePoints, RestoringAfterStartingDataBringsBackEveryListAndField)
{
    TestProgram t;
    db::Connection& c = t.survey();
    c.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (5, 'pełna')"));
    c.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Zatr_BR_prof_N, Przych_inne) VALUES (3, 1250.5)"));
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer) VALUES (1, 'P.1')"));
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program));
    const QString point = t.program.state.archiveFolder() + QStringLiteral("a_2008_03_05-09_07.nar");

    const QString startingFile = t.path(QStringLiteral("start.naj"));
    datafiles::WriteDataFile(t.program, startingFile);
    t.program.state.StartingDataMode = true;
    datafiles::LoadDataFile(t.program, startingFile, quiet);
    ASSERT_TRUE(c.scalar(QStringLiteral("SELECT Przych_inne FROM dane_szczegolowe")).isNull());
    ASSERT_EQ(c.scalar(QStringLiteral("SELECT count(*) FROM dane_wykaz_patentow")).toInt(), 0);

    EXPECT_EQ(restorepoints::RestoreData(t.program, point, quiet), datafiles::LoadOutcome::Loaded);
    EXPECT_FALSE(t.program.state.StartingDataMode);
    EXPECT_FALSE(t.program.state.DataSaved);
    EXPECT_TRUE(t.program.state.CurrentDataFile.isEmpty()) << "restored data belong to no data file";
    EXPECT_DOUBLE_EQ(c.scalar(QStringLiteral("SELECT Przych_inne FROM dane_szczegolowe")).toDouble(), 1250.5);
    EXPECT_EQ(c.scalar(QStringLiteral("SELECT count(*) FROM dane_wykaz_patentow")).toInt(), 1);
}
