#include "update/external_updater.h"

#include "files/temp_files.h"
#include "update/update_fixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

using namespace vestrum::update;
namespace vt = vestrum::testing;
using vt::readFile;
using vt::writeFile;

namespace {

struct UpdaterFolder : ::testing::Test {
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    UpdaterFolder()
    {
        writeFile(path(QStringLiteral("vestrum")), "stary program");
        writeFile(path(QStringLiteral("tmp/program.zlb")),
            vt::archiveOf(
                { { QStringLiteral("vestrum"), "#!/bin/sh\necho uruchomiony > \"$(dirname \"$0\")/slad\"\n" } }));
    }
};

} // namespace

TEST_F(UpdaterFolder, ReplacesTheExecutableAndKeepsTheOldOneAsABackup)
{
    writeFile(path(QStringLiteral("archiwum/program/2.2.1.2.nar")), "starsza kopia");
    EXPECT_EQ(ReplaceProgram(path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/program.zlb")),
                  path(QStringLiteral("archiwum/program/2.2.1.2.nar"))),
        ProgramReplacement::Replaced);
    EXPECT_TRUE(readFile(path(QStringLiteral("vestrum"))).startsWith("#!/bin/sh"));
    const auto mode0755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    EXPECT_EQ(
        QFile::permissions(path(QStringLiteral("vestrum"))) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
        mode0755);
    EXPECT_EQ(readFile(path(QStringLiteral("archiwum/program/2.2.1.2.nar"))), "starsza kopia");
    vestrum::ZlbArchive backup;
    ASSERT_TRUE(backup.OpenArchive(path(QStringLiteral("archiwum/program/2.2.1.2_2.nar"))));
    EXPECT_GE(backup.FindFile(QStringLiteral("vestrum")), 0);
    // Nothing of the work is left in the program folder.
    EXPECT_EQ(QDir(dir.path()).entryList({ vestrum::tempfiles::prefix() + u'*' }, QDir::Dirs | QDir::Hidden).size(), 0);
}

TEST_F(UpdaterFolder, RefusedPackageOrPathsLeaveTheOldProgram)
{
    QByteArray damaged = readFile(path(QStringLiteral("tmp/program.zlb")));
    ASSERT_GT(damaged.size(), 10);
    damaged[10] = static_cast<char>(damaged[10] ^ 0x20);
    writeFile(path(QStringLiteral("tmp/zly.zlb")), damaged);
    writeFile(path(QStringLiteral("tmp/inny.zlb")),
        vt::archiveOf({ { QStringLiteral("a"), "1" }, { QStringLiteral("b"), "2" } }));
    const QString backup = path(QStringLiteral("archiwum/program/2.2.1.2.nar"));
    EXPECT_EQ(ReplaceProgram(path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/zly.zlb")), backup),
        ProgramReplacement::PackageRefused);
    EXPECT_EQ(ReplaceProgram(path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/inny.zlb")), backup),
        ProgramReplacement::PackageRefused);
    EXPECT_EQ(ReplaceProgram(path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/brak.zlb")), backup),
        ProgramReplacement::PackageRefused);
    QTemporaryDir elsewhere;
    EXPECT_EQ(ReplaceProgram(path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/program.zlb")),
                  elsewhere.filePath(QStringLiteral("x.nar"))),
        ProgramReplacement::BadArguments);
    EXPECT_EQ(readFile(path(QStringLiteral("vestrum"))), "stary program");
    EXPECT_FALSE(QFileInfo::exists(backup));
}

// The real program: it replaces the executable and starts the new one, which leaves its trace.
TEST_F(UpdaterFolder, TheUpdaterProgramReplacesAndStartsTheProgram)
{
    QTemporaryDir lockFolder; // a private temporary folder: no running copy of the program holds this lock
    QProcess updater;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), lockFolder.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), lockFolder.path());
    updater.setProcessEnvironment(environment);
    updater.start(QStringLiteral(VESTRUM_AKTUALIZUJ),
        { path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/program.zlb")),
            path(QStringLiteral("archiwum/program/2.2.1.2.nar")) });
    ASSERT_TRUE(updater.waitForFinished(10000));
    EXPECT_EQ(updater.exitCode(), 0);
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(path(QStringLiteral("slad"))) && timer.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_EQ(readFile(path(QStringLiteral("slad"))), "uruchomiony\n");
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("archiwum/program/2.2.1.2.nar"))));
}
