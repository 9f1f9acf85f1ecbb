// Every writer that replaces a file of the user's takes the steps that survive a power cut, in their order: the
// staged file written whole, synced, renamed over the old one, and its folder synced.

#include "archive/zlb_archive.h"
#include "datafile/save.h"
#include "import/journal_list_import.h"
#include "storage/journal_list.h"
#include "support/durable_steps.h"
#include "support/legacy_data_file.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Rows enough that the member is deflated in blocks on every core, as a real survey's is.
QByteArray manyLines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "wiersz " + QByteArray::number(i) + " " + QByteArray::number(i * 7919 % 104729) + "\n";
    return text;
}

journals::ListRecord journal(const char* name, double points)
{
    journals::ListRecord record;
    record.name = QString::fromUtf8(name);
    record.points = points;
    return record;
}

} // namespace

TEST(DurableSteps, EveryArchiveRebuildSyncsItsStagedFileBeforeTheRenameAndTheFolderAfter)
{
    QTemporaryDir dir;
    const QString archivePath = dir.filePath(QStringLiteral("zbior.naj"));
    writeFile(archivePath, {});
    writeFile(dir.filePath(QStringLiteral("maly.txt")), "krótki");
    writeFile(dir.filePath(QStringLiteral("duzy.txt")), manyLines(200000));

    DurableSteps steps;
    ZlbArchive archive;
    archive.OpenArchive(archivePath);
    archive.AddFiles({dir.filePath(QStringLiteral("maly.txt")), dir.filePath(QStringLiteral("duzy.txt"))});
    ASSERT_TRUE(archive.LastFailure().isEmpty()) << archive.LastFailure().toStdString();
    EXPECT_EQ(steps.faultsPlacing(archivePath), QStringList());

    steps.clear();
    writeFile(dir.filePath(QStringLiteral("maly.txt")), "dłuższy niż przedtem");
    archive.UpdateFile(dir.filePath(QStringLiteral("maly.txt")), archive.FindFile(QStringLiteral("maly.txt")));
    ASSERT_TRUE(archive.LastFailure().isEmpty()) << archive.LastFailure().toStdString();
    EXPECT_EQ(steps.faultsPlacing(archivePath), QStringList());
}

TEST(DurableSteps, SavingADataFileUnderANewNameAndOverItselfSyncsBeforeAndAfterEveryRename)
{
    TestProgram t;
    t.survey().execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, 'Instytut')"));
    const QString dataFile = t.path(QStringLiteral("dane2008.naj"));
    DurableSteps steps;

    // "Zapisz dane jako ...": staged beside the target, then renamed over it.
    datafiles::WriteDataFile(t.program, dataFile);
    EXPECT_EQ(steps.faultsPlacing(dataFile), QStringList());

    // "Zapisz dane": the data file rebuilt in place of its member.
    steps.clear();
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = 'Instytut Fizyki'"));
    datafiles::SaveToCurrentDataFile(t.program);
    EXPECT_EQ(steps.faultsPlacing(dataFile), QStringList());

    // "Zapisz dane jako ..." over a file already there.
    steps.clear();
    datafiles::WriteDataFile(t.program, dataFile);
    EXPECT_EQ(steps.faultsPlacing(dataFile), QStringList());
}

TEST(DurableSteps, AJournalListReplacedByItsPreviousOneAndThatKeptAreEachSyncedBeforeAndAfterTheirRenames)
{
    QTemporaryDir dir;
    const QString listPath = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    journals::writeJournalListDatabase(journals::previousListPath(listPath), {journal("Stary", 20)},
                                       QDate(2019, 7, 31), QStringLiteral("stary.csv"));
    journals::writeJournalListDatabase(listPath, {journal("Nowy", 40), journal("Drugi", 70)}, QDate(2025, 3, 4),
                                       QStringLiteral("nowy.csv"));

    DurableSteps steps;
    importing::RestorePreviousJournalList(listPath);
    EXPECT_EQ(steps.faultsPlacing(listPath), QStringList());
    EXPECT_EQ(steps.faultsPlacing(journals::previousListPath(listPath)), QStringList());
}

// `archive extract` over the user's own files: a replaced file is synced before its rename and its folder after,
// so a power cut leaves the old file or the new one whole; a new file in a scratch folder costs no wait.
TEST(DurableSteps, ExtractingOverAnExistingFileSyncsItAndANewFileIsLeftToTheSystem)
{
    QTemporaryDir dir;
    const QString archivePath = dir.filePath(QStringLiteral("zbior.naj"));
    writeFile(archivePath, {});
    writeFile(dir.filePath(QStringLiteral("dane.txt")), manyLines(2000));
    ZlbArchive archive;
    archive.OpenArchive(archivePath);
    archive.AddFiles({dir.filePath(QStringLiteral("dane.txt"))});

    const QString existing = dir.filePath(QStringLiteral("wynik/dane.txt"));
    QDir().mkpath(dir.filePath(QStringLiteral("wynik")));
    writeFile(existing, "stara treść");
    DurableSteps steps;
    archive.ExtractAll(dir.filePath(QStringLiteral("wynik")));
    EXPECT_EQ(steps.faultsPlacingOnly(existing), QStringList());

    steps.clear();
    const QString fresh = dir.filePath(QStringLiteral("nowy/dane.txt"));
    archive.ExtractAll(dir.filePath(QStringLiteral("nowy")));
    ASSERT_TRUE(QFileInfo::exists(fresh));
    EXPECT_EQ(steps.count(durable::Step::SyncFile), 0) << "a new file is not synced";
    EXPECT_EQ(steps.count(durable::Step::SyncFolder), 0);
}
