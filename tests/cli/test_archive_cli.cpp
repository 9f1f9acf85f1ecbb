#include "cli/archive_cli.h"

#include "files/archive_test_util.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>
#include <zlib.h>

using namespace archive_test;

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
    r.status = vestrum::archive::runArchiveCommand(args, out, err);
    return r;
}

TEST(ArchiveCliTest, AddListUpdateExtractAndCheck)
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("nowy.naj"));
    const QByteArray text = sampleText(100);
    const QByteArray random = noise(300, 9);
    writeFile(dir.filePath(QStringLiteral("ankieta.mdb")), text);
    writeFile(dir.filePath(QStringLiteral("szum.bin")), random);

    // The archive does not exist yet: it is made as an empty file first.
    CliRun r = run({QStringLiteral("add"), archive, dir.filePath(QStringLiteral("ankieta.mdb")), QStringLiteral("--level"),
                    QStringLiteral("maximum"), dir.filePath(QStringLiteral("szum.bin"))});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    r = run({QStringLiteral("list"), archive});
    ASSERT_EQ(r.status, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    const QStringList first = lines[0].split(QLatin1Char('\t'));
    ASSERT_EQ(first.size(), 8);
    EXPECT_EQ(first[0], QStringLiteral("0"));
    EXPECT_EQ(first[1], QStringLiteral("ankieta.mdb"));
    EXPECT_EQ(first[2], QString::number(text.size()));
    EXPECT_EQ(first[4], QStringLiteral("0"));
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(text.constData()), static_cast<uInt>(text.size()));
    EXPECT_EQ(first[5], QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')));
    EXPECT_EQ(first.mid(6), QStringList({QStringLiteral("0"), QStringLiteral("3")}));
    EXPECT_EQ(lines[1], QStringLiteral("1\tszum.bin\t300\t300\t%1\t%2\t1\t0")
                            .arg(first[3])
                            .arg(crc32(0, reinterpret_cast<const Bytef*>(random.constData()), 300), 8, 16,
                                 QLatin1Char('0')));

    writeFile(dir.filePath(QStringLiteral("nowe/szum.bin")), "zamiennik");
    r = run({QStringLiteral("update"), archive, QStringLiteral("1"), dir.filePath(QStringLiteral("nowe/szum.bin"))});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    r = run({QStringLiteral("check"), archive});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("OK\n"));

    r = run({QStringLiteral("extract"), archive, dir.filePath(QStringLiteral("out")), QStringLiteral("--check-crc")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out/ankieta.mdb"))), text);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out/szum.bin"))), "zamiennik");
}

TEST(ArchiveCliTest, FailuresPrintThePolishMessageAndUsageErrorsExitWithTwo)
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("dane.naj"));
    writeFile(dir.filePath(QStringLiteral("a.txt")), "a");
    ASSERT_EQ(run({QStringLiteral("add"), archive, dir.filePath(QStringLiteral("a.txt"))}).status, 0);

    CliRun r = run({QStringLiteral("add"), archive, dir.filePath(QStringLiteral("a.txt"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("Plik już istnieje\n"));

    // A file that is not there is told before anything is written: no archive is made for it.
    const QString missing = dir.filePath(QStringLiteral("brak.txt"));
    const QString fresh = dir.filePath(QStringLiteral("nowy.naj"));
    for (const QString& target : {archive, fresh}) {
        r = run({QStringLiteral("add"), target, dir.filePath(QStringLiteral("a.txt")), missing});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, QStringLiteral("Nie znaleziono pliku %1\n").arg(missing));
    }
    EXPECT_FALSE(QFileInfo::exists(fresh));
    r = run({QStringLiteral("list"), archive});
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 1) << "the archive keeps its one member";

    r = run({QStringLiteral("update"), archive, QStringLiteral("5"), dir.filePath(QStringLiteral("a.txt"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("W pliku skompresowanym nie istnieje taki zbiór\n"));

    r = run({QStringLiteral("list"), dir.filePath(QStringLiteral("brak.naj"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("Nie można odnaleźć wskazanego zbioru\n"));

    r = run({QStringLiteral("check"), QStringLiteral(VESTRUM_FIXTURES "/archive/bad_member_crc.naj")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(r.err, QStringLiteral("Plik (0) jest uszkodzony\n"));

    r = run({QStringLiteral("check"), QStringLiteral(VESTRUM_FIXTURES "/archive/bad_flipped.naj")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("Skompresowany zbiór jest uszkodzony\n"));

    for (const QStringList& wrong : {QStringList(), QStringList({QStringLiteral("pack"), archive}),
                                     QStringList({QStringLiteral("list")}),
                                     QStringList({QStringLiteral("add"), archive}),
                                     QStringList({QStringLiteral("add"), archive, QStringLiteral("a"), QStringLiteral("--level"), QStringLiteral("ultra")}),
                                     QStringList({QStringLiteral("update"), archive, QStringLiteral("x"), QStringLiteral("a")}),
                                     QStringList({QStringLiteral("list"), archive, QStringLiteral("--check-crc")})}) {
        r = run(wrong);
        EXPECT_EQ(r.status, 2) << wrong.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("vestrum-cli archive"))) << "usage is shown";
    }
}

} // namespace
