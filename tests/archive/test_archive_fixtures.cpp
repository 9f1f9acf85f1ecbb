// Replays the small archives in tests/fixtures/archive (the fuzzer's seed corpus too) through opening and
// extracting, each with the outcome listed in expected.txt. None may write outside its target folder.
#include "archive/zlb_archive.h"

#include "archive/archive_test_util.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

using namespace vestrum;
using namespace archive_test;

namespace {

const QString kFixtures = QStringLiteral(VESTRUM_FIXTURES "/archive");

QStringList filesUnder(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

TEST(ArchiveFixturesTest, EveryFixtureGivesItsListedOutcome)
{
    QFile manifest(kFixtures + QStringLiteral("/expected.txt"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    QTextStream lines(&manifest);
    QSet<QString> listed;
    int cases = 0;
    while (!lines.atEnd()) {
        const QString line = lines.readLine();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = line.split(QLatin1Char('\t'));
        ASSERT_EQ(f.size(), 4) << line.toStdString();
        listed.insert(f[0]);
        ++cases;
        SCOPED_TRACE(line.toStdString());

        QTemporaryDir work;
        const QString archivePath = work.filePath(QStringLiteral("archiwum.naj"));
        ASSERT_TRUE(QFile::copy(kFixtures + QLatin1Char('/') + f[0], archivePath));
        ZlbArchive archive;
        archive.SetExtractWithPath(f[1] == QLatin1String("1"));
        archive.SetCheckCRC(f[2] == QLatin1String("1"));
        const QString outcome = errorOf([&] {
            archive.OpenArchive(archivePath);
            archive.ExtractAll(work.filePath(QStringLiteral("out")));
        });
        EXPECT_EQ(outcome.isEmpty() ? QStringLiteral("OK") : outcome, f[3]);

        for (const QString& written : filesUnder(work.path()))
            EXPECT_TRUE(written == QLatin1String("archiwum.naj") || written.startsWith(QLatin1String("out/")))
                << written.toStdString();
        EXPECT_TRUE(QDir(work.path()).entryList({QStringLiteral(".vestrum-tmp-*")}, QDir::Files | QDir::Hidden).isEmpty());
        if (f[3] == QLatin1String("OK") && archive.IsOpen()) {
            EXPECT_EQ(filesUnder(work.filePath(QStringLiteral("out"))).size(), archive.FileCount());
        }
    }
    EXPECT_GT(cases, 10);

    for (const QString& name : QDir(kFixtures).entryList({QStringLiteral("*.naj")}, QDir::Files))
        EXPECT_TRUE(listed.contains(name)) << name.toStdString() << " has no line in expected.txt";
}

TEST(ArchiveFixturesTest, ExtractedNamesAndFoldersComeFromTheCodePage)
{
    QTemporaryDir work;
    ZlbArchive archive;
    ASSERT_TRUE(archive.OpenArchive(kFixtures + QStringLiteral("/ok_mixed_plain_directory.naj")));
    EXPECT_EQ(archive.Trailer().DirectoryCompressed, 0);
    archive.ExtractAll(work.path());
    EXPECT_EQ(filesUnder(work.path()),
              QStringList({QStringLiteral("pusty.txt"), QStringLiteral("szum.bin"), QStringLiteral("zażółć.txt")}));

    ASSERT_TRUE(archive.OpenArchive(kFixtures + QStringLiteral("/ok_paths.naj")));
    archive.ExtractAll(work.filePath(QStringLiteral("bez")));
    archive.SetExtractWithPath(true);
    archive.ExtractAll(work.filePath(QStringLiteral("z")));
    // "\dane\\kopie\": the doubled backslash and the trailing one fall away.
    EXPECT_EQ(filesUnder(work.filePath(QStringLiteral("bez"))),
              QStringList({QStringLiteral("ankieta.mdb"), QStringLiteral("lista.xml")}));
    EXPECT_EQ(filesUnder(work.filePath(QStringLiteral("z"))),
              QStringList({QStringLiteral("dane/kopie/ankieta.mdb"), QStringLiteral("lista.xml")}));

    // Without ExtractWithPath a stored folder that climbs out does no harm: only the name is used.
    ASSERT_TRUE(archive.OpenArchive(kFixtures + QStringLiteral("/bad_path_climbs_out.naj")));
    archive.SetExtractWithPath(false);
    archive.ExtractAll(work.filePath(QStringLiteral("bez2")));
    EXPECT_EQ(filesUnder(work.filePath(QStringLiteral("bez2"))), QStringList({QStringLiteral("zly.txt")}));
}

} // namespace
