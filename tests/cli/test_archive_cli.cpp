#include "cli/archive_cli.h"

#include "archive/archive_test_util.h"
#include "support/staged_files.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

using namespace archive_test;
using vestrum::testing::killWhenStaged;
using vestrum::testing::stagedIn;

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

    // The archive does not exist yet: it is made with both members at once.
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

namespace {

// The names of an archive's members, or an empty list when it cannot be read.
QStringList membersOf(const QString& archive)
{
    const CliRun r = run({QStringLiteral("list"), archive});
    QStringList names;
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names << line.section(QLatin1Char('\t'), 1, 1);
    return names;
}

bool passesCheck(const QString& archive)
{
    return run({QStringLiteral("check"), archive}).status == 0;
}

// Runs the command in a child process, which never returns into the test runner.
pid_t runInChild(const QStringList& args, int startSignal = -1)
{
    const pid_t child = ::fork();
    if (child == 0) {
        char go = 0;
        if (startSignal >= 0 && ::read(startSignal, &go, 1) != 1)
            ::_exit(3);
        ::_exit(run(args).status);
    }
    return child;
}

} // namespace

// Two commands making the same new data file at once: the second waits for the first and adds to the file it
// made, so neither member is lost.
TEST(ArchiveCliTest, TwoAddsMakingTheSameNewFileKeepBothMembers)
{
    QTemporaryDir dir;
    const QStringList sources = {dir.filePath(QStringLiteral("a.bin")), dir.filePath(QStringLiteral("b.bin"))};
    writeFile(sources[0], noise(2 * 1024 * 1024, 1));
    writeFile(sources[1], noise(2 * 1024 * 1024, 2));
    for (int round = 0; round < 5; ++round) {
        const QString target = dir.filePath(QStringLiteral("nowy%1.naj").arg(round));
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        const pid_t first = runInChild({QStringLiteral("add"), target, sources[0]}, go[0]);
        const pid_t second = runInChild({QStringLiteral("add"), target, sources[1]}, go[0]);
        ASSERT_EQ(::write(go[1], "gg", 2), 2);
        for (const pid_t child : {first, second}) {
            int status = -1;
            ::waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        QStringList members = membersOf(target);
        members.sort();
        EXPECT_EQ(members, QStringList({QStringLiteral("a.bin"), QStringLiteral("b.bin")})) << "round " << round;
        EXPECT_TRUE(passesCheck(target));
        ::close(go[0]);
        ::close(go[1]);
    }
}

// One add is one change. Killed while it writes any of its three members, it leaves the old file whole, or the
// new one with all three; a new file is there whole or not at all (never empty); the next writer clears what
// the killed ones staged.
TEST(ArchiveCliTest, AKilledAddLeavesTheOldFileOrTheNewOneWithEveryMember)
{
    QTemporaryDir dir;
    constexpr qint64 kMember = 3 * 1024 * 1024;
    QStringList sources;
    for (int i = 0; i < 3; ++i) {
        sources << dir.filePath(QStringLiteral("czesc%1.bin").arg(i));
        writeFile(sources.last(), noise(static_cast<int>(kMember), 10u + static_cast<unsigned>(i)));
    }
    writeFile(dir.filePath(QStringLiteral("ankieta.mdb")), sampleText(50));
    const QString original = dir.filePath(QStringLiteral("wzor.naj"));
    ASSERT_EQ(run({QStringLiteral("add"), original, dir.filePath(QStringLiteral("ankieta.mdb"))}).status, 0);
    const QByteArray oldBytes = readFile(original);
    const QStringList all
        = {QStringLiteral("ankieta.mdb"), QStringLiteral("czesc0.bin"), QStringLiteral("czesc1.bin"), QStringLiteral("czesc2.bin")};

    int killed = 0;
    // Half-way through the first, the second and the third member.
    for (const int halves : {1, 3, 5}) {
        const QString folder = dir.filePath(QStringLiteral("runda%1").arg(halves));
        QDir().mkpath(folder);
        const QString existing = QDir(folder).filePath(QStringLiteral("stary.naj"));
        const QString fresh = QDir(folder).filePath(QStringLiteral("nowy.naj"));
        ASSERT_TRUE(QFile::copy(original, existing));

        const pid_t adding = runInChild(QStringList{QStringLiteral("add"), existing} + sources);
        killed += killWhenStaged(adding, folder, oldBytes.size() + halves * kMember / 2) ? 1 : 0;
        if (readFile(existing) != oldBytes) {
            EXPECT_EQ(membersOf(existing), all) << "killed at " << halves;
            EXPECT_TRUE(passesCheck(existing));
        }

        const pid_t making = runInChild(QStringList{QStringLiteral("add"), fresh} + sources);
        killed += killWhenStaged(making, folder, halves * kMember / 2) ? 1 : 0;
        if (QFileInfo::exists(fresh)) {
            EXPECT_EQ(membersOf(fresh), all.mid(1)) << "killed at " << halves;
            EXPECT_TRUE(passesCheck(fresh));
        }

        ASSERT_EQ(run({QStringLiteral("add"), QDir(folder).filePath(QStringLiteral("inny.naj")), sources[0]}).status, 0);
        EXPECT_EQ(stagedIn(folder), QStringList()) << "killed at " << halves;
    }
    EXPECT_GE(killed, 4) << "too few adds were caught part-way";
}
