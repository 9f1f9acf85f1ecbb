#include "archive/zlb_archive.h"
#include "archive/block_deflate.h"
#include "archive/staged_files.h"

#include "archive/archive_test_util.h"
#include "base/codepage.h"
#include "support/archive_reader.h"

#include <QDir>
#include <QFileInfo>
#include <QDateTime>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include <sys/resource.h>

using namespace vestrum;
using namespace archive_test;
using vestrum::testing::ReadArchiveIndependently;
using vestrum::testing::UncompressWhole;

namespace {

const QString kCorrupt = QStringLiteral("Skompresowany zbiór jest uszkodzony");
const QString kNotOpen = QStringLiteral("Nie otwarto żadnego zbioru skompresowanego");

QByteArray inflateAll(const QByteArray& packed, qsizetype expected)
{
    QByteArray out(expected, '\0');
    uLongf length = static_cast<uLongf>(expected);
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(packed.constData()),
                   static_cast<uLong>(packed.size())) != Z_OK)
        return QByteArray();
    out.resize(static_cast<qsizetype>(length));
    return out;
}

quint32 crcOf(const QByteArray& bytes)
{
    return static_cast<quint32>(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), static_cast<uInt>(bytes.size())));
}

class ZlbArchiveTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    // A new archive the way the program makes one: an empty file, then members added one by one.
    QString newArchive(const QStringList& members, ZlbArchive& archive)
    {
        const QString file = path(QStringLiteral("dane.naj"));
        writeFile(file, QByteArray());
        archive.OpenArchive(file);
        for (const QString& m : members) {
            archive.AddFile(m);
            EXPECT_EQ(archive.LastFailure(), QString());
        }
        return file;
    }

    QStringList tempLeftovers() const
    {
        return QDir(dir.path()).entryList({QStringLiteral(".vestrum-tmp-*")}, QDir::Files | QDir::Hidden);
    }
};

// Test subclass that plays a crash after the new archive is written and flushed, before it replaces the old one.
class CrashingArchive : public ZlbArchive {
public:
    QString tempSeen;
    QByteArray tempBytes;

protected:
    void BeforeReplace(const QString& tempFileName) override
    {
        tempSeen = tempFileName;
        tempBytes = readFile(tempFileName);
        throw Error(QStringLiteral("awaria"));
    }
};

TEST_F(ZlbArchiveTest, EmptyFileOpensAndFirstMemberGivesTheExactLayout)
{
    const QByteArray text = sampleText(200);
    writeFile(path(QStringLiteral("src/ankieta.mdb")), text);
    ZlbArchive archive;
    const QString file = newArchive({}, archive);
    EXPECT_EQ(archive.FileCount(), 0);

    archive.AddFile(path(QStringLiteral("src/ankieta.mdb")));
    ASSERT_EQ(archive.LastFailure(), QString());
    ASSERT_EQ(archive.FileCount(), 1);

    const QByteArray bytes = readFile(file);
    ASSERT_GT(bytes.size(), 36);
    const char* t = bytes.constData() + bytes.size() - 36;
    const auto stored = qFromLittleEndian<quint32>(t + 16); // DirectoryOffset
    EXPECT_EQ(qFromLittleEndian<quint32>(t), crcOf(bytes.left(bytes.size() - 36)));
    EXPECT_EQ(qFromLittleEndian<qint32>(t + 4), 1);
    EXPECT_EQ(qFromLittleEndian<qint32>(t + 8), 1);
    EXPECT_EQ(qFromLittleEndian<qint32>(t + 12), bytes.size() - 36 - qint64(stored));
    EXPECT_EQ(t[20], 1);
    EXPECT_EQ(QByteArray(t + 21, 15), QByteArray(15, '\0'));

    const QByteArray record = inflateAll(bytes.mid(stored, bytes.size() - 36 - stored), 532);
    ASSERT_EQ(record.size(), 532);
    const char* r = record.constData();
    EXPECT_EQ(QByteArray(r, 12), QByteArray("\x0b" "ankieta.mdb"));
    EXPECT_EQ(QByteArray(r + 12, 244), QByteArray(244, '\0'));
    EXPECT_EQ(QByteArray(r + 256, 256), QByteArray(256, '\0')) << "folders are not kept with SavePaths off";
    EXPECT_EQ(qFromLittleEndian<quint32>(r + 512), quint32(text.size()));
    EXPECT_EQ(qFromLittleEndian<quint32>(r + 516), stored);
    EXPECT_EQ(qFromLittleEndian<quint32>(r + 520), 0u);
    EXPECT_EQ(qFromLittleEndian<quint32>(r + 524), crcOf(text));
    EXPECT_EQ(r[528], 0);
    EXPECT_EQ(r[529], 2) << "fcDefault";
    EXPECT_EQ(inflateAll(bytes.left(stored), text.size()), text);
}

TEST_F(ZlbArchiveTest, DamagedOrMissingFilesLeaveTheComponentClosed)
{
    ZlbArchive archive;
    EXPECT_FALSE(archive.OpenArchive(QString()));
    EXPECT_EQ(errorOf([&] { archive.FileCount(); }), kNotOpen);
    EXPECT_EQ(errorOf([&] { archive.OpenArchive(path(QStringLiteral("brak.naj"))); }),
              QStringLiteral("Nie można odnaleźć wskazanego zbioru"));
    EXPECT_FALSE(archive.IsOpen());

    writeFile(path(QStringLiteral("krotki.naj")), QByteArray(35, '\0'));
    EXPECT_EQ(errorOf([&] { archive.OpenArchive(path(QStringLiteral("krotki.naj"))); }), kCorrupt);

    writeFile(path(QStringLiteral("a.txt")), sampleText(50));
    writeFile(path(QStringLiteral("b.bin")), noise(700, 7));
    const QString file = newArchive({path(QStringLiteral("a.txt")), path(QStringLiteral("b.bin"))}, archive);
    archive.CloseArchive();
    const QByteArray good = readFile(file);
    // Every byte before the trailer is covered by its CRC: member data, directory, both.
    for (qsizetype at : {qsizetype(0), qsizetype(good.size() / 2), good.size() - 37}) {
        QByteArray bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x40);
        writeFile(file, bad);
        EXPECT_EQ(errorOf([&] { archive.OpenArchive(file); }), kCorrupt) << "byte " << at;
        EXPECT_FALSE(archive.IsOpen());
        EXPECT_EQ(archive.Trailer().Count, 0);
    }

    writeFile(file, good);
    archive.OnArchiveOpened = [] { throw std::runtime_error("handler failed"); };
    EXPECT_EQ(errorOf([&] { archive.OpenArchive(file); }),
              QStringLiteral("Nie można odczytać listy zbiorów znajdujących się w archiwum"));
    EXPECT_FALSE(archive.IsOpen());
    archive.OnArchiveOpened = nullptr;
    ASSERT_TRUE(archive.OpenArchive(file));
    EXPECT_EQ(errorOf([&] { archive.GetFileEntry(2); }), QStringLiteral("Index out of bounds"));
    EXPECT_EQ(errorOf([&] { archive.GetFileEntry(-1); }), QStringLiteral("Index out of bounds"));
}

TEST_F(ZlbArchiveTest, MembersThatDoNotShrinkAreStoredAsTheyAre)
{
    const QByteArray random = noise(200000, 3);
    const QByteArray text = sampleText(3000);
    writeFile(path(QStringLiteral("szum.bin")), random);
    writeFile(path(QStringLiteral("pusty.txt")), QByteArray());
    writeFile(path(QStringLiteral("tekst.txt")), text);
    writeFile(path(QStringLiteral("maks.txt")), text);

    ZlbArchive archive;
    const QString file = newArchive({path(QStringLiteral("szum.bin")), path(QStringLiteral("pusty.txt"))}, archive);
    archive.SetCompressionLevel(fcNone);
    archive.AddFile(path(QStringLiteral("tekst.txt")));
    archive.SetCompressionLevel(fcMaximum);
    archive.AddFile(path(QStringLiteral("maks.txt")));
    ASSERT_EQ(archive.FileCount(), 4);

    for (int i : {0, 1, 2}) {
        const TArchiveEntry e = archive.GetFileEntry(i);
        EXPECT_EQ(e.Stored, 1) << i;
        EXPECT_EQ(e.Level, 0) << i;
        EXPECT_EQ(e.StoredSize, e.UnpackedSize) << i;
    }
    const TArchiveEntry maximum = archive.GetFileEntry(3);
    EXPECT_EQ(maximum.Stored, 0);
    EXPECT_EQ(maximum.Level, fcMaximum);
    EXPECT_LT(maximum.StoredSize, maximum.UnpackedSize);
    // Stored blocks really are the bytes, back to back after the others.
    const TArchiveEntry noiseEntry = archive.GetFileEntry(0);
    EXPECT_EQ(readFile(file).mid(noiseEntry.DataOffset, noiseEntry.StoredSize), random);
    EXPECT_EQ(archive.GetFileEntry(1).DataOffset, noiseEntry.StoredSize);

    archive.SetCheckCRC(true);
    archive.ExtractAll(path(QStringLiteral("out")));
    EXPECT_EQ(readFile(path(QStringLiteral("out/szum.bin"))), random);
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("out/pusty.txt"))));
    EXPECT_EQ(readFile(path(QStringLiteral("out/pusty.txt"))), QByteArray());
    EXPECT_EQ(readFile(path(QStringLiteral("out/tekst.txt"))), text);
    EXPECT_EQ(readFile(path(QStringLiteral("out/maks.txt"))), text);
}

TEST_F(ZlbArchiveTest, MemberKeysIgnoreCaseAndFoldersOnlyCountWithSavePaths)
{
    writeFile(path(QStringLiteral("jeden/Dane.txt")), "pierwszy");
    writeFile(path(QStringLiteral("dwa/dane.TXT")), "drugi");
    writeFile(path(QStringLiteral("dwa/zażółć.txt")), "polskie litery");

    ZlbArchive archive;
    const QString file = newArchive({path(QStringLiteral("jeden/Dane.txt"))}, archive);
    const QByteArray before = readFile(file);
    EXPECT_EQ(errorOf([&] { archive.AddFile(path(QStringLiteral("dwa/dane.TXT"))); }),
              QStringLiteral("Plik już istnieje"));
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(archive.FindFile(QStringLiteral("DANE.txt")), 0);

    // Names are kept in Windows-1250 and come back as they were.
    archive.AddFile(path(QStringLiteral("dwa/zażółć.txt")));
    ASSERT_EQ(archive.FileCount(), 2);
    EXPECT_EQ(archive.GetFileEntry(1).FileName, codepage::toWindows1250(QStringLiteral("zażółć.txt")));
    EXPECT_EQ(archive.GetFileEntry(1).FileName.size(), 10);
    EXPECT_EQ(archive.FindFile(QStringLiteral("ZAŻÓŁĆ.TXT")), 1);

    archive.SetSavePaths(true);
    archive.AddFile(path(QStringLiteral("dwa/dane.TXT")));
    ASSERT_EQ(archive.LastFailure(), QString());
    ASSERT_EQ(archive.FileCount(), 3);
    const TArchiveEntry withFolder = archive.GetFileEntry(2);
    QString expectedFolder = QFileInfo(path(QStringLiteral("dwa/x"))).absolutePath() + QLatin1Char('/');
    expectedFolder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    EXPECT_EQ(withFolder.filePath(), expectedFolder);
    EXPECT_EQ(archive.FindFile(path(QStringLiteral("DWA/DANE.txt"))), 2);
    EXPECT_EQ(archive.FindFile(QStringLiteral("C:") + expectedFolder + QStringLiteral("dane.txt")), 2)
        << "a drive is not part of the key";

    archive.SetExtractWithPath(true);
    archive.ExtractAll(path(QStringLiteral("out")));
    EXPECT_EQ(readFile(path(QStringLiteral("out/Dane.txt"))), "pierwszy");
    EXPECT_EQ(readFile(path(QStringLiteral("out")) + QString(expectedFolder).replace(QLatin1Char('\\'), QLatin1Char('/'))
                       + QStringLiteral("dane.TXT")),
              "drugi");

    // A character outside the Basic Multilingual Plane is one character the code page lacks: one "?".
    writeFile(path(QStringLiteral("trzy/nuty\U0001D11E.txt")), "muzyka");
    archive.AddFile(path(QStringLiteral("trzy/nuty\U0001D11E.txt")));
    ASSERT_EQ(archive.LastFailure(), QString());
    ASSERT_EQ(archive.FileCount(), 4);
    EXPECT_EQ(archive.GetFileEntry(3).FileName, QByteArray("nuty?.txt"));
}

TEST_F(ZlbArchiveTest, ReplacingTheFirstOfThreeMovesTheOthersUnchanged)
{
    const QByteArray second = sampleText(400);
    const QByteArray third = noise(5000, 11);
    writeFile(path(QStringLiteral("a.txt")), "krótki");
    writeFile(path(QStringLiteral("b.txt")), second);
    writeFile(path(QStringLiteral("c.bin")), third);
    ZlbArchive archive;
    const QString file = newArchive(
        {path(QStringLiteral("a.txt")), path(QStringLiteral("b.txt")), path(QStringLiteral("c.bin"))}, archive);
    const TArchiveEntry oldA = archive.GetFileEntry(0), oldB = archive.GetFileEntry(1), oldC = archive.GetFileEntry(2);
    const QByteArray oldBytes = readFile(file);

    const QByteArray larger = sampleText(5000);
    writeFile(path(QStringLiteral("nowe/a.txt")), larger);
    EXPECT_EQ(errorOf([&] { archive.UpdateFile(path(QStringLiteral("nowe/a.txt")), 1); }),
              QStringLiteral("W pliku skompresowanym nie istnieje taki zbiór"));
    EXPECT_EQ(errorOf([&] { archive.UpdateFile(path(QStringLiteral("nowe/brak.txt")), -1); }),
              QStringLiteral("W pliku skompresowanym nie istnieje taki zbiór"));
    archive.UpdateFile(path(QStringLiteral("nowe/a.txt")), 0);
    ASSERT_EQ(archive.LastFailure(), QString());
    ASSERT_EQ(archive.FileCount(), 3);

    const TArchiveEntry a = archive.GetFileEntry(0), b = archive.GetFileEntry(1), c = archive.GetFileEntry(2);
    const qint64 growth = qint64(a.StoredSize) - oldA.StoredSize;
    EXPECT_GT(growth, 0);
    EXPECT_EQ(a.DataOffset, 0u);
    EXPECT_EQ(a.UnpackedSize, quint32(larger.size()));
    EXPECT_EQ(a.CRC, crcOf(larger));
    EXPECT_EQ(qint64(b.DataOffset), oldB.DataOffset + growth);
    EXPECT_EQ(qint64(c.DataOffset), oldC.DataOffset + growth);
    const QByteArray bytes = readFile(file);
    EXPECT_EQ(bytes.mid(b.DataOffset, b.StoredSize), oldBytes.mid(oldB.DataOffset, oldB.StoredSize));
    EXPECT_EQ(bytes.mid(c.DataOffset, c.StoredSize), oldBytes.mid(oldC.DataOffset, oldC.StoredSize));
    EXPECT_EQ(b.CRC, oldB.CRC);
    EXPECT_EQ(c.Stored, 1);

    archive.SetCheckCRC(true);
    archive.ExtractAll(path(QStringLiteral("out")));
    EXPECT_EQ(readFile(path(QStringLiteral("out/a.txt"))), larger);
    EXPECT_EQ(readFile(path(QStringLiteral("out/b.txt"))), second);
    EXPECT_EQ(readFile(path(QStringLiteral("out/c.bin"))), third);
}

TEST_F(ZlbArchiveTest, CrashBeforeTheRenameLeavesTheOldArchiveWhole)
{
    writeFile(path(QStringLiteral("a.txt")), sampleText(100));
    writeFile(path(QStringLiteral("b.txt")), sampleText(300));
    CrashingArchive archive;
    const QString file = path(QStringLiteral("dane.naj"));
    {
        ZlbArchive first;
        newArchive({path(QStringLiteral("a.txt"))}, first);
    }
    const QByteArray before = readFile(file);
    ASSERT_TRUE(archive.OpenArchive(file));

    archive.AddFile(path(QStringLiteral("b.txt")));
    EXPECT_EQ(archive.LastFailure(), QStringLiteral("awaria")) << "the failure is kept, not thrown";
    EXPECT_EQ(archive.FindFile(QStringLiteral("b.txt")), -1);
    EXPECT_EQ(archive.FileCount(), 1) << "the directory in memory still describes the file on disk";
    // The new archive was complete and lay beside the old one, so the rename would have been one step.
    EXPECT_EQ(QFileInfo(archive.tempSeen).absolutePath(), QFileInfo(file).absolutePath());
    EXPECT_TRUE(tempfiles::isTemporaryName(QFileInfo(archive.tempSeen).fileName()));
    EXPECT_GT(archive.tempBytes.size(), before.size());
    EXPECT_TRUE(tempLeftovers().isEmpty());

    EXPECT_EQ(readFile(file), before);
    ZlbArchive reopened;
    ASSERT_TRUE(reopened.OpenArchive(file));
    EXPECT_EQ(reopened.FileCount(), 1);
    reopened.SetCheckCRC(true);
    reopened.ExtractAll(path(QStringLiteral("out")));
    EXPECT_EQ(readFile(path(QStringLiteral("out/a.txt"))), sampleText(100));

    // What was built is a whole archive: had the rename happened, it would open with both members.
    writeFile(path(QStringLiteral("zbudowany.naj")), archive.tempBytes);
    ASSERT_TRUE(reopened.OpenArchive(path(QStringLiteral("zbudowany.naj"))));
    EXPECT_EQ(reopened.FileCount(), 2);
}

TEST_F(ZlbArchiveTest, FailedRebuildsAreSwallowedAndChangeNothing)
{
    writeFile(path(QStringLiteral("a.txt")), sampleText(100));
    ZlbArchive archive;
    const QString file = newArchive({path(QStringLiteral("a.txt"))}, archive);
    const QByteArray before = readFile(file);

    const QString missing = path(QStringLiteral("brak.txt"));
    archive.AddFile(missing);
    EXPECT_EQ(archive.LastFailure(), QStringLiteral("nie można otworyć pliku (%1)").arg(missing));
    EXPECT_EQ(archive.FindFile(QStringLiteral("brak.txt")), -1);
    archive.UpdateFile(path(QStringLiteral("a.txt")) + QStringLiteral("/../a.txt"), 0); // not a readable file
    EXPECT_NE(archive.LastFailure(), QString());
    EXPECT_EQ(readFile(file), before);
    EXPECT_TRUE(tempLeftovers().isEmpty());

    // Someone else rewrote the archive after it was opened: its member bytes no longer match our directory.
    writeFile(path(QStringLiteral("b.txt")), "b");
    writeFile(file, before + QByteArray("x"));
    archive.AddFile(path(QStringLiteral("b.txt")));
    EXPECT_NE(archive.LastFailure(), QString());
    EXPECT_EQ(readFile(file), before + QByteArray("x"));

    // Rewritten with the same size, only its time tells: the stale directory must not be used either.
    writeFile(file, before);
    ZlbArchive reopened;
    reopened.OpenArchive(file);
    ASSERT_EQ(reopened.FileCount(), 1);
    QByteArray sameSize = before;
    sameSize[0] = static_cast<char>(sameSize[0] ^ 0x5a);
    writeFile(file, sameSize);
    QFile touched(file);
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
    ASSERT_TRUE(touched.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    touched.close();
    reopened.AddFile(path(QStringLiteral("b.txt")));
    EXPECT_NE(reopened.LastFailure(), QString());
    EXPECT_EQ(readFile(file), sameSize);

    EXPECT_EQ(errorOf([] {
                  ZlbArchive closed;
                  closed.AddFile(QStringLiteral("a.txt"));
              }),
              kNotOpen);
}

TEST_F(ZlbArchiveTest, ExtractingAsksBeforeReplacingAndReportsEveryFile)
{
    writeFile(path(QStringLiteral("a.txt")), "nowe a");
    writeFile(path(QStringLiteral("b.txt")), "nowe b");
    ZlbArchive archive;
    newArchive({path(QStringLiteral("a.txt")), path(QStringLiteral("b.txt"))}, archive);
    const QString out = path(QStringLiteral("out"));
    writeFile(out + QStringLiteral("/a.txt"), "stare a");
    writeFile(out + QStringLiteral("/b.txt"), "stare b");

    QStringList asked, extracted;
    archive.OnReplaceFile = [&](const QString& name, bool& replace) {
        asked << name;
        EXPECT_FALSE(replace);
        replace = name.endsWith(QLatin1String("b.txt"));
    };
    archive.OnFileExtracted = [&](const QString& name) { extracted << name; };
    archive.ExtractAll(out);
    EXPECT_EQ(asked, QStringList({out + QStringLiteral("/a.txt"), out + QStringLiteral("/b.txt")}));
    EXPECT_EQ(extracted, QStringList({out + QStringLiteral("/b.txt")}));
    EXPECT_EQ(readFile(out + QStringLiteral("/a.txt")), "stare a");
    EXPECT_EQ(readFile(out + QStringLiteral("/b.txt")), "nowe b");

    archive.OnReplaceFile = nullptr;
    archive.ExtractAll(out);
    EXPECT_EQ(readFile(out + QStringLiteral("/a.txt")), "nowe a") << "no handler: overwritten";
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({QStringLiteral("a.txt"), QStringLiteral("b.txt")}));

    writeFile(path(QStringLiteral("plik")), "to nie katalog");
    EXPECT_EQ(errorOf([&] { archive.ExtractAll(path(QStringLiteral("plik"))); }),
              QStringLiteral("Docelowa kartoteka nie może zostać utworzona"));
}

TEST_F(ZlbArchiveTest, CorruptMemberNeverReplacesAGoodFile)
{
    // A member whose CRC does not match: with CheckCRC on it is refused and the file on disk stays as it was.
    QFile::copy(QStringLiteral(VESTRUM_FIXTURES "/archive/bad_member_crc.naj"), path(QStringLiteral("zly.naj")));
    writeFile(path(QStringLiteral("out/a.txt")), "dobry");
    ZlbArchive archive;
    ASSERT_TRUE(archive.OpenArchive(path(QStringLiteral("zly.naj"))));
    archive.SetCheckCRC(true);
    EXPECT_EQ(errorOf([&] { archive.ExtractAll(path(QStringLiteral("out"))); }),
              QStringLiteral("Plik (0) jest uszkodzony"));
    EXPECT_EQ(readFile(path(QStringLiteral("out/a.txt"))), "dobry");
    EXPECT_EQ(QDir(path(QStringLiteral("out"))).entryList(QDir::Files), QStringList({QStringLiteral("a.txt")}));

    archive.SetCheckCRC(false);
    archive.ExtractAll(path(QStringLiteral("out")));
    EXPECT_NE(readFile(path(QStringLiteral("out/a.txt"))), "dobry") << "inflates cleanly, so it is written";
}

TEST_F(ZlbArchiveTest, ProgressFollowsEveryPhase)
{
    writeFile(path(QStringLiteral("duzy.bin")), noise(10000, 5));
    writeFile(path(QStringLiteral("tekst.txt")), sampleText(60000)); // several 64 KiB compressor buffers
    const QString file = path(QStringLiteral("dane.naj"));
    writeFile(file, QByteArray());

    std::vector<std::pair<QString, int>> events;
    {
        ZlbArchive archive;
        archive.OnProgress = [&](const QString& msg, int percentage) { events.emplace_back(msg, percentage); };
        archive.OpenArchive(file);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), std::make_pair(file, 0));

        events.clear();
        archive.AddFile(path(QStringLiteral("tekst.txt")));
        const QString adding = QStringLiteral("Aktualizacja ") + path(QStringLiteral("tekst.txt"));
        int last = -1, count = 0;
        for (const auto& [msg, percentage] : events) {
            if (msg != adding)
                continue;
            EXPECT_GE(percentage, last);
            EXPECT_LE(percentage, 100);
            last = percentage;
            ++count;
        }
        EXPECT_GT(count, 0);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), std::make_pair(file, 0)) << "reopened at the end";

        archive.AddFile(path(QStringLiteral("duzy.bin")));
        events.clear();
        archive.OpenArchive(file);
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events.front(), std::make_pair(QString(), 0)) << "closing comes first";
        EXPECT_EQ(events[1], std::make_pair(QStringLiteral("Rozpakowywanie rejestrów kompresji"), 100));
        EXPECT_EQ(events.back(), std::make_pair(file, 0));

        events.clear();
        archive.ExtractAll(path(QStringLiteral("out")));
        const QString msg = QStringLiteral("Rozpakowywanie duzy.bin");
        std::vector<std::pair<QString, int>> member;
        for (const auto& e : events)
            if (e.first == msg)
                member.push_back(e);
        // 10,000 bytes: 4,096, 8,192 and the last 1,808.
        EXPECT_EQ(member, (std::vector<std::pair<QString, int>>{{msg, 41}, {msg, 82}, {msg, 100}}));
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), std::make_pair(file, 0));
        // Members of a megabyte and more are written on a second thread; the bytes must not care.
        EXPECT_EQ(readFile(path(QStringLiteral("out/tekst.txt"))), sampleText(60000));

        archive.CloseArchive();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), std::make_pair(QString(), 0));
        ASSERT_TRUE(archive.OpenArchive(file));
        events.clear();
    }
    EXPECT_TRUE(events.empty()) << "no progress while the component is destroyed";
}

// Survey-like bytes: lines of text that repeat at every distance, with stretches of noise between them.
QByteArray mixedBytes(qsizetype size)
{
    QByteArray bytes;
    for (unsigned part = 0; bytes.size() < size; ++part)
        bytes += sampleText(60 + int(part % 7) * 20) + noise(700, part);
    return bytes.left(size);
}

struct BlockRun {
    blockdeflate::Outcome outcome;
    QByteArray stream;
};

BlockRun deflateInBlocks(const QByteArray& input, int level, qint64 blockSize, int threads = 3)
{
    BlockRun run;
    qint64 at = 0;
    run.outcome = blockdeflate::DeflateInBlocks(
        input.size(), level, threads,
        [&](char* into, qint64 size) {
            std::memcpy(into, input.constData() + at, static_cast<size_t>(size));
            at += size;
        },
        [&](const char* data, qint64 size) {
            run.stream.append(data, size);
            return true;
        },
        {}, blockSize);
    return run;
}

TEST(BlockDeflateTest, InflatesToTheInputAroundEveryBlockBoundaryAtEveryLevel)
{
    // Blocks shorter than deflate's 32 KiB reach, and longer.
    for (const qint64 block : {qint64(4096), qint64(40000)}) {
        std::vector<qsizetype> sizes{0, 1};
        for (qint64 k = 1; k <= 3; ++k)
            for (qint64 d : {-1, 0, 1})
                sizes.push_back(static_cast<qsizetype>(k * block + d));
        sizes.push_back(static_cast<qsizetype>(12 * block + 17));
        for (const qsizetype size : sizes) {
            const QByteArray input = mixedBytes(size);
            for (const int level : {Z_NO_COMPRESSION, Z_BEST_SPEED, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION}) {
                SCOPED_TRACE(::testing::Message() << "block " << block << ", size " << size << ", level " << level);
                const BlockRun run = deflateInBlocks(input, level, block);
                ASSERT_TRUE(run.outcome.complete);
                EXPECT_EQ(run.outcome.packedSize, run.stream.size());
                EXPECT_EQ(run.outcome.crc, crcOf(input));
                EXPECT_EQ(UncompressWhole(run.stream, input.size()), input);
            }
        }
    }
}

TEST(BlockDeflateTest, NoiseComesOutWholeALittleLongerThanItWentIn)
{
    const QByteArray random = noise(300000, 12);
    const BlockRun stored = deflateInBlocks(random, Z_DEFAULT_COMPRESSION, 65536);
    EXPECT_EQ(UncompressWhole(stored.stream, random.size()), random);
    EXPECT_GE(stored.stream.size(), random.size());
}

TEST(BlockDeflateTest, AWriterThatHasEnoughOrAReadThatFailsStopsEveryThread)
{
    const QByteArray input = mixedBytes(600000);
    int writes = 0;
    qint64 at = 0;
    const auto read = [&](char* into, qint64 size) {
        std::memcpy(into, input.constData() + at, static_cast<size_t>(size));
        at += size;
    };
    const blockdeflate::Outcome stopped = blockdeflate::DeflateInBlocks(
        input.size(), Z_DEFAULT_COMPRESSION, 2, read, [&](const char*, qint64) { return ++writes < 3; }, {}, 4096);
    EXPECT_FALSE(stopped.complete);
    EXPECT_EQ(writes, 3) << "nothing is written after the writer said stop";

    int reads = 0;
    EXPECT_THROW(blockdeflate::DeflateInBlocks(
                     input.size(), Z_DEFAULT_COMPRESSION, 2,
                     [&](char*, qint64) {
                         if (++reads == 4)
                             throw std::runtime_error("odczyt");
                     },
                     [](const char*, qint64) { return true; }, {}, 4096),
                 std::runtime_error);
}

// The block check reading a stream and its original from memory, as the archive reads them from files.
bool blockCheck(const QByteArray& stream, const QByteArray& original, const blockdeflate::Layout& layout,
                std::uint32_t* crc = nullptr)
{
    const auto reader = [](const QByteArray& bytes) {
        return [&bytes](qint64 offset, char* into, qint64 size) {
            if (offset < 0 || offset + size > bytes.size())
                throw std::runtime_error("poza plikiem");
            std::memcpy(into, bytes.constData() + offset, static_cast<size_t>(size));
        };
    };
    std::uint32_t found = 0;
    const bool sound = blockdeflate::InflatesTo(reader(stream), stream.size(), reader(original), original.size(),
                                                layout, 3, found);
    if (crc)
        *crc = found;
    return sound;
}

TEST(BlockDeflateTest, TheBlockCheckPassesEveryStreamItWasMadeFrom)
{
    for (const qint64 block : {qint64(4096), qint64(40000)}) {
        for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(block - 1), qsizetype(block),
                                     qsizetype(block + 1), qsizetype(9 * block + 17)}) {
            const QByteArray input = size % 2 ? noise(int(size), 5) : mixedBytes(size);
            for (const int level : {Z_NO_COMPRESSION, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION}) {
                SCOPED_TRACE(::testing::Message() << "block " << block << ", size " << size << ", level " << level);
                const BlockRun run = deflateInBlocks(input, level, block);
                ASSERT_EQ(run.outcome.layout.blockSize, block);
                std::uint32_t crc = 1;
                EXPECT_TRUE(blockCheck(run.stream, input, run.outcome.layout, &crc));
                EXPECT_EQ(crc, crcOf(input));
            }
        }
    }
}

TEST(BlockDeflateTest, TheBlockCheckRefusesEveryFlawOfTheStreamTheOriginalOrTheLayout)
{
    const qint64 block = 20000;
    const QByteArray input = mixedBytes(6 * block + 300);
    const BlockRun run = deflateInBlocks(input, Z_DEFAULT_COMPRESSION, block);
    const blockdeflate::Layout& layout = run.outcome.layout;
    ASSERT_EQ(layout.ends.size(), 7u);
    ASSERT_TRUE(blockCheck(run.stream, input, layout));

    // One spoilt byte anywhere: the header, inside each block, the last byte of a block, the Adler-32.
    std::vector<qsizetype> spoilt{0, 1, run.stream.size() - 1, run.stream.size() - 4};
    qint64 begin = 2;
    for (const qint64 end : layout.ends) {
        spoilt.push_back(static_cast<qsizetype>((begin + end) / 2));
        spoilt.push_back(static_cast<qsizetype>(end - 1));
        begin = end;
    }
    for (const qsizetype at : spoilt) {
        QByteArray stream = run.stream;
        stream[at] = char(stream[at] ^ 0x21);
        EXPECT_FALSE(blockCheck(stream, input, layout)) << "byte " << at;
    }
    QByteArray changed = input;
    changed[qsizetype(3 * block + 5)] = '#';
    EXPECT_FALSE(blockCheck(run.stream, changed, layout)) << "the original changed since";
    EXPECT_FALSE(blockCheck(run.stream.left(run.stream.size() - 1), input, layout)) << "cut short";
    EXPECT_FALSE(blockCheck(run.stream + "x", input, layout)) << "bytes after the stream";

    blockdeflate::Layout shifted = layout;
    shifted.ends[2] += 1;
    EXPECT_FALSE(blockCheck(run.stream, input, shifted)) << "a block boundary one byte off";
    blockdeflate::Layout merged = layout;
    merged.ends.erase(merged.ends.begin() + 3);
    EXPECT_FALSE(blockCheck(run.stream, input, merged)) << "two blocks counted as one";
    blockdeflate::Layout other = layout;
    other.blockSize = block / 2;
    EXPECT_FALSE(blockCheck(run.stream, input, other)) << "another block size";

    // A first block that ends the stream: each block inflates to its own bytes, yet one inflate of the whole
    // stream would stop after the first. The check must see the stream as that inflate does.
    z_stream zs{};
    ASSERT_EQ(deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<char> first(static_cast<size_t>(2 * block));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData()));
    zs.avail_in = static_cast<uInt>(block);
    zs.next_out = reinterpret_cast<Bytef*>(first.data());
    zs.avail_out = static_cast<uInt>(first.size());
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    const qint64 firstLength = static_cast<qint64>(zs.total_out);
    deflateEnd(&zs);
    const QByteArray early = run.stream.left(2) + QByteArray(first.data(), qsizetype(firstLength))
        + run.stream.mid(qsizetype(layout.ends[0]));
    blockdeflate::Layout earlyLayout = layout;
    for (qint64& end : earlyLayout.ends)
        end += 2 + firstLength - layout.ends[0];
    EXPECT_FALSE(blockCheck(early, input, earlyLayout));

    // A last block that leaves the stream open (a full flush where the finish belongs): each block inflates to its
    // own bytes and the Adler-32 agrees, yet a reader of the whole stream finds it cut short.
    const qint64 lastBegin = 6 * block;
    const uInt window = 32768;
    zs = z_stream{};
    ASSERT_EQ(deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    ASSERT_EQ(deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(input.constData() + lastBegin - window), window),
              Z_OK);
    std::vector<char> last(static_cast<size_t>(block));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData() + lastBegin));
    zs.avail_in = static_cast<uInt>(input.size() - lastBegin);
    zs.next_out = reinterpret_cast<Bytef*>(last.data());
    zs.avail_out = static_cast<uInt>(last.size());
    ASSERT_EQ(deflate(&zs, Z_FULL_FLUSH), Z_OK);
    const qint64 lastLength = static_cast<qint64>(zs.total_out);
    deflateEnd(&zs);
    const QByteArray leftOpen = run.stream.left(qsizetype(layout.ends[5])) + QByteArray(last.data(), qsizetype(lastLength))
        + run.stream.right(4);
    blockdeflate::Layout openLayout = layout;
    openLayout.ends[6] = layout.ends[5] + lastLength;
    EXPECT_FALSE(blockCheck(leftOpen, input, openLayout)) << "the last block leaves the stream open";
}

TEST_F(ZlbArchiveTest, LargeMembersAreDeflatedOnEveryCoreAndReadByEveryReader)
{
    // Just over the size from which blocks are used, and one byte either side of a block boundary.
    const qsizetype block = blockdeflate::kBlockSize;
    const std::vector<std::pair<QString, QByteArray>> sources{
        {QStringLiteral("prog.mdb"), mixedBytes(1024 * 1024 + 1)},
        {QStringLiteral("przed.mdb"), mixedBytes(5 * block - 1)},
        {QStringLiteral("rowno.mdb"), mixedBytes(5 * block)},
        {QStringLiteral("po.mdb"), mixedBytes(5 * block + 1)},
        {QStringLiteral("szum.bin"), noise(int(6 * block + 3), 21)},
        // Large enough to be read on every core as well.
        {QStringLiteral("duzy.mdb"), mixedBytes(9 * block + 7)},
    };
    const TFileCompressionLevel levels[] = {fcDefault, fcFastest, fcMaximum, fcDefault, fcDefault, fcDefault};
    ZlbArchive archive;
    const QString file = newArchive({}, archive);
    for (size_t i = 0; i < sources.size(); ++i) {
        writeFile(path(sources[i].first), sources[i].second);
        archive.SetCompressionLevel(levels[i]);
        archive.AddFile(path(sources[i].first));
        ASSERT_EQ(archive.LastFailure(), QString());
    }

    const std::map<QByteArray, QByteArray> members = ReadArchiveIndependently(readFile(file));
    ASSERT_EQ(members.size(), sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(sources[i].first.toStdString());
        EXPECT_EQ(members.at(sources[i].first.toLatin1()), sources[i].second);
        const TArchiveEntry entry = archive.GetFileEntry(static_cast<int>(i));
        const bool noisy = sources[i].first == QStringLiteral("szum.bin");
        EXPECT_EQ(entry.Stored, noisy ? 1 : 0) << "stored when not smaller";
        EXPECT_EQ(entry.Level, noisy ? fcNone : levels[i]);
    }
    archive.SetCheckCRC(true);
    archive.ExtractAll(path(QStringLiteral("out")));
    for (const auto& [name, bytes] : sources)
        EXPECT_EQ(readFile(path(QStringLiteral("out/") + name)), bytes) << name.toStdString();
}

// A limit on the size of the files this process writes: a write past it fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &before_);
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = before_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit before_{};
    void (*handler_)(int) = nullptr;
};

// The archive written anew with the CRC of member `number` recorded as `crc` (its directory as plain records).
void recordMemberCrc(const QString& file, const ZlbArchive& archive, int number, quint32 crc)
{
    const QByteArray bytes = readFile(file);
    TArchiveTrailer trailer = TArchiveTrailer::fromBytes(bytes.constData() + bytes.size() - TArchiveTrailer::Size);
    QByteArray rewritten = bytes.left(trailer.DirectoryOffset);
    for (int i = 0; i < archive.FileCount(); ++i) {
        TArchiveEntry entry = archive.GetFileEntry(i);
        if (i == number)
            entry.CRC = crc;
        char record[TArchiveEntry::Size];
        entry.toBytes(record);
        rewritten.append(record, TArchiveEntry::Size);
    }
    trailer.DirectoryCompressed = 0;
    trailer.DirectoryPackedSize = 0;
    trailer.CRC = crcOf(rewritten);
    writeFile(file, rewritten + trailer.toBytes());
}

TEST_F(ZlbArchiveTest, AMemberReadOnEveryCoreIsRefusedWholeWhenItsWritingOrItsCrcFails)
{
    // Large enough for its blocks to be inflated, checked and written by every core.
    const QByteArray big = mixedBytes(9 * blockdeflate::kBlockSize + 7);
    writeFile(path(QStringLiteral("duzy.mdb")), big);
    ZlbArchive archive;
    const QString file = newArchive({path(QStringLiteral("duzy.mdb"))}, archive);
    const QString out = path(QStringLiteral("out"));
    const QString target = out + QStringLiteral("/duzy.mdb");
    writeFile(target, "dobry");
    const auto leftAsItWas = [&] {
        EXPECT_EQ(readFile(target), "dobry");
        EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("duzy.mdb")}))
            << "no half-written file left beside it";
    };
    archive.SetCheckCRC(true);
    {
        const FileSizeLimit limit(2 * 1024 * 1024);
        EXPECT_EQ(errorOf([&] { archive.ExtractAll(out); }),
                  QStringLiteral("nie można otworyć pliku (%1)").arg(target));
    }
    leftAsItWas();

    // Every block inflates and passes the Adler-32; only the member's CRC, joined from the blocks', is wrong.
    recordMemberCrc(file, archive, 0, crcOf(big) ^ 0x40);
    ZlbArchive damaged;
    ASSERT_TRUE(damaged.OpenArchive(file));
    damaged.SetCheckCRC(true);
    EXPECT_EQ(errorOf([&] { damaged.ExtractAll(out); }), QStringLiteral("Plik (0) jest uszkodzony"));
    leftAsItWas();
    EXPECT_EQ(errorOf([&] { damaged.CheckMembers(); }), QStringLiteral("Plik (0) jest uszkodzony"));
    damaged.SetCheckCRC(false);
    damaged.ExtractAll(out);
    EXPECT_EQ(readFile(target), big) << "unchecked, the sound bytes are written";
}

// Checks the rebuilt archive as a save does, after spoiling one of its bytes or the source, when told to. The
// spoilt archive gets its own CRC made anew: a flaw only the member check can see, as a faulty deflate would make.
class CheckingArchive : public ZlbArchive {
public:
    qint64 spoilAt = -1;
    QString changeSource;
    int checks = 0;

protected:
    void BeforeReplace(const QString& tempFileName) override
    {
        if (spoilAt >= 0) {
            QByteArray bytes = readFile(tempFileName);
            bytes[spoilAt] = char(bytes[spoilAt] ^ 0x10);
            const qsizetype trailer = bytes.size() - TArchiveTrailer::Size;
            qToLittleEndian(crcOf(bytes.left(trailer)), bytes.data() + trailer);
            writeFile(tempFileName, bytes);
        }
        if (!changeSource.isEmpty()) {
            QFile f(changeSource);
            f.open(QIODevice::ReadWrite);
            f.seek(f.size() / 2);
            f.putChar('#');
        }
        ZlbArchive rebuilt;
        rebuilt.OpenArchive(tempFileName);
        ++checks;
        rebuilt.CheckMembersWrittenBy(*this);
    }
};

TEST_F(ZlbArchiveTest, ARebuiltArchiveIsComparedWithItsSourcesBeforeItReplacesTheOldOne)
{
    const QByteArray big = mixedBytes(3 * 1024 * 1024 + 7);
    writeFile(path(QStringLiteral("a.txt")), sampleText(100));
    writeFile(path(QStringLiteral("duzy.mdb")), big);
    CheckingArchive archive;
    const QString file = newArchive({path(QStringLiteral("a.txt")), path(QStringLiteral("duzy.mdb"))}, archive);
    EXPECT_EQ(archive.checks, 2);
    const QByteArray sound = readFile(file);
    const TArchiveEntry member = archive.GetFileEntry(1);
    ASSERT_EQ(member.Stored, 0);

    // A flaw in the small member, in the big one's header, its middle or its Adler-32: the old archive stays.
    const TArchiveEntry small = archive.GetFileEntry(0);
    for (const qint64 at : {qint64(small.DataOffset + small.StoredSize / 2), qint64(member.DataOffset),
                            qint64(member.DataOffset + member.StoredSize / 2),
                            qint64(member.DataOffset + member.StoredSize - 1)}) {
        archive.spoilAt = at;
        archive.UpdateFile(path(QStringLiteral("duzy.mdb")), 1);
        EXPECT_EQ(archive.LastFailure(), at < member.DataOffset ? QStringLiteral("Plik (0) jest uszkodzony")
                                                                 : QStringLiteral("Plik (1) jest uszkodzony"))
            << "byte " << at;
        EXPECT_EQ(readFile(file), sound);
    }
    archive.spoilAt = -1;
    archive.changeSource = path(QStringLiteral("duzy.mdb"));
    archive.UpdateFile(path(QStringLiteral("duzy.mdb")), 1);
    EXPECT_EQ(archive.LastFailure(), QStringLiteral("Plik (1) jest uszkodzony")) << "the source changed meanwhile";
    EXPECT_EQ(readFile(file), sound);

    archive.changeSource.clear();
    archive.UpdateFile(path(QStringLiteral("duzy.mdb")), 1);
    EXPECT_EQ(archive.LastFailure(), QString());
    EXPECT_EQ(ReadArchiveIndependently(readFile(file)).at("duzy.mdb"), readFile(path(QStringLiteral("duzy.mdb"))));
}

TEST_F(ZlbArchiveTest, AnAddStoppedHalfwayThroughItsBlocksLeavesTheOldArchiveWhole)
{
    writeFile(path(QStringLiteral("a.txt")), sampleText(100));
    writeFile(path(QStringLiteral("duzy.mdb")), mixedBytes(3 * 1024 * 1024));
    ZlbArchive archive;
    const QString file = newArchive({path(QStringLiteral("a.txt"))}, archive);
    const QByteArray before = readFile(file);

    archive.OnProgress = [&](const QString&, int percentage) {
        if (archive.ProgressPhase() == TProgressPhase::Adding && percentage >= 50)
            throw Error(QStringLiteral("przerwane"));
    };
    archive.AddFile(path(QStringLiteral("duzy.mdb")));
    EXPECT_EQ(archive.LastFailure(), QStringLiteral("przerwane"));
    EXPECT_EQ(readFile(file), before);
    EXPECT_TRUE(tempLeftovers().isEmpty());
    EXPECT_EQ(archive.FileCount(), 1);

    archive.OnProgress = nullptr;
    archive.AddFile(path(QStringLiteral("duzy.mdb")));
    EXPECT_EQ(archive.LastFailure(), QString()) << "the threads of the stopped add are gone and nothing hangs";
    EXPECT_EQ(ReadArchiveIndependently(readFile(file)).at("duzy.mdb"), mixedBytes(3 * 1024 * 1024));
}

} // namespace
