#include "update/external_updater.h"

#include "archive/staged_files.h"
#include "update/update_fixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

using namespace vestrum::update;
namespace vt = vestrum::testing;
using vt::readFile;
using vt::writeFile;

namespace {

const QByteArray kNewProgram = "#!/bin/sh\necho uruchomiony > \"$(dirname \"$0\")/slad\"\n";

struct UpdaterFolder : ::testing::Test {
    QTemporaryDir dir;
    vt::TestKey key;
    SignatureVerifier verifier { { key.publicKey() } };
    QString path(const QString& name) const { return dir.filePath(name); }
    QString backup() const { return path(QStringLiteral("archiwum/program/2.2.1.2.nar")); }

    UpdaterFolder()
    {
        writeFile(path(QStringLiteral("vestrum")), "stary program");
        putPackage(QStringLiteral("program.zlb"), vt::archiveOf({ { QStringLiteral("vestrum"), kNewProgram } }));
    }
    // A package in tmp/ with its signature, as the program hands it over.
    void putPackage(const QString& name, const QByteArray& bytes, const vt::TestKey* signer = nullptr)
    {
        writeFile(path(QStringLiteral("tmp/") + name), bytes);
        writeFile(path(QStringLiteral("tmp/") + name + QStringLiteral(".minisig")),
            (signer ? *signer : key).signFor(bytes, name, QStringLiteral("2.2.1.3")));
    }
    ProgramReplacement replace(const QString& package, const SignatureVerifier& with)
    {
        return ReplaceProgram(path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/") + package), backup(), with);
    }
    ProgramReplacement replace(const QString& package) { return replace(package, verifier); }
};

} // namespace

TEST_F(UpdaterFolder, ReplacesTheExecutableAndKeepsTheOldOneAsABackup)
{
    writeFile(backup(), "starsza kopia");
    EXPECT_EQ(replace(QStringLiteral("program.zlb")), ProgramReplacement::Replaced);
    EXPECT_TRUE(readFile(path(QStringLiteral("vestrum"))).startsWith("#!/bin/sh"));
    const auto mode0755 = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    EXPECT_EQ(
        QFile::permissions(path(QStringLiteral("vestrum"))) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
        mode0755);
    EXPECT_EQ(readFile(backup()), "starsza kopia");
    vestrum::ZlbArchive kept;
    ASSERT_TRUE(kept.OpenArchive(path(QStringLiteral("archiwum/program/2.2.1.2_2.nar"))));
    EXPECT_GE(kept.FindFile(QStringLiteral("vestrum")), 0);
    // Nothing of the work is left in the program folder.
    EXPECT_EQ(QDir(dir.path()).entryList({ vestrum::tempfiles::prefix() + u'*' }, QDir::Dirs | QDir::Hidden).size(), 0);
}

TEST_F(UpdaterFolder, RefusedPackageOrPathsLeaveTheOldProgram)
{
    QByteArray damaged = readFile(path(QStringLiteral("tmp/program.zlb")));
    ASSERT_GT(damaged.size(), 10);
    damaged[10] = static_cast<char>(damaged[10] ^ 0x20);
    putPackage(QStringLiteral("zly.zlb"), damaged);
    putPackage(
        QStringLiteral("inny.zlb"), vt::archiveOf({ { QStringLiteral("a"), "1" }, { QStringLiteral("b"), "2" } }));
    EXPECT_EQ(replace(QStringLiteral("zly.zlb")), ProgramReplacement::PackageRefused);
    EXPECT_EQ(replace(QStringLiteral("inny.zlb")), ProgramReplacement::PackageRefused);
    EXPECT_EQ(replace(QStringLiteral("brak.zlb")), ProgramReplacement::PackageRefused);
    QTemporaryDir elsewhere;
    EXPECT_EQ(ReplaceProgram(path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/program.zlb")),
                  elsewhere.filePath(QStringLiteral("x.nar")), verifier),
        ProgramReplacement::BadArguments);
    EXPECT_EQ(readFile(path(QStringLiteral("vestrum"))), "stary program");
    EXPECT_FALSE(QFileInfo::exists(backup()));
}

// The updater checks the package again with its own keys: an unsigned executable, a stranger's signature, a
// signature for another package (its comment edited to this one's name or not) or a changed byte replace nothing, not even the backup is written.
TEST_F(UpdaterFolder, UnsignedOrForeignExecutableReplacesNothing)
{
    const QByteArray package = readFile(path(QStringLiteral("tmp/program.zlb")));
    vt::TestKey stranger;
    putPackage(QStringLiteral("obcy.zlb"), package, &stranger);
    writeFile(path(QStringLiteral("tmp/bez.zlb")), package);
    putPackage(QStringLiteral("inny.zlb"), package);
    writeFile(path(QStringLiteral("tmp/przemianowany.zlb")), package);
    writeFile(
        path(QStringLiteral("tmp/przemianowany.zlb.minisig")), readFile(path(QStringLiteral("tmp/inny.zlb.minisig"))));
    // Renamed, and the signature's comment edited to the new name.
    writeFile(path(QStringLiteral("tmp/poprawiony.zlb")), package);
    writeFile(path(QStringLiteral("tmp/poprawiony.zlb.minisig")),
        vt::withTrustedComment(
            readFile(path(QStringLiteral("tmp/inny.zlb.minisig"))), "plik:poprawiony.zlb wersja:2.2.1.3"));
    QByteArray changed = package;
    changed[changed.size() - 1] = static_cast<char>(changed[changed.size() - 1] ^ 0x01);
    writeFile(path(QStringLiteral("tmp/program.zlb")), changed);
    for (const char* name : { "obcy.zlb", "bez.zlb", "przemianowany.zlb", "poprawiony.zlb", "program.zlb" })
        EXPECT_EQ(replace(QString::fromLatin1(name)), ProgramReplacement::SignatureRefused) << name;
    // A build without a key trusts nothing.
    EXPECT_EQ(replace(QStringLiteral("inny.zlb"), SignatureVerifier({})), ProgramReplacement::SignatureRefused);
    EXPECT_EQ(readFile(path(QStringLiteral("vestrum"))), "stary program");
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("archiwum"))));
}

// A release signed with the old key carries an updater that knows the next key: it goes in after the program.
// Should it not go in, the old program comes back, so program and updater never disagree.
TEST_F(UpdaterFolder, ProgramPackageCarriesTheUpdaterForTheNextKey)
{
    writeFile(path(QStringLiteral("aktualizuj")), "stary aktualizator");
    putPackage(QStringLiteral("program.zlb"),
        vt::archiveOf({ { QStringLiteral("aktualizuj"), "#!/bin/sh\n# zna nowy klucz\n" },
            { QStringLiteral("vestrum"), kNewProgram } }));
    QDir().mkpath(path(QStringLiteral("aktualizuj.blokada/x")));
    {
        // The updater's place is taken by a folder: it cannot go in, and the program stays as it was.
        QFile::rename(path(QStringLiteral("aktualizuj")), path(QStringLiteral("aktualizuj.stary")));
        QDir().rename(path(QStringLiteral("aktualizuj.blokada")), path(QStringLiteral("aktualizuj")));
        EXPECT_EQ(replace(QStringLiteral("program.zlb")), ProgramReplacement::WriteFailed);
        EXPECT_EQ(readFile(path(QStringLiteral("vestrum"))), "stary program");
        QDir(path(QStringLiteral("aktualizuj"))).removeRecursively();
        QFile::rename(path(QStringLiteral("aktualizuj.stary")), path(QStringLiteral("aktualizuj")));
    }
    EXPECT_EQ(replace(QStringLiteral("program.zlb")), ProgramReplacement::Replaced);
    EXPECT_EQ(readFile(path(QStringLiteral("vestrum"))), kNewProgram);
    EXPECT_EQ(readFile(path(QStringLiteral("aktualizuj"))), "#!/bin/sh\n# zna nowy klucz\n");
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("aktualizuj"))).isExecutable());

    // The next release is signed with the new key only: an updater that knew only the old one refuses it.
    vt::TestKey next;
    putPackage(QStringLiteral("program2.zlb"), vt::archiveOf({ { QStringLiteral("vestrum"), "program 3" } }), &next);
    EXPECT_EQ(replace(QStringLiteral("program2.zlb")), ProgramReplacement::SignatureRefused);
    EXPECT_EQ(replace(QStringLiteral("program2.zlb"), SignatureVerifier({ key.publicKey(), next.publicKey() })),
        ProgramReplacement::Replaced);
}

// The whole updater in this process, with the test's key: it waits for the lock, replaces the executable and
// starts the new one, which leaves its trace.
TEST_F(UpdaterFolder, TheUpdaterReplacesAndStartsTheProgram)
{
    QTemporaryDir lockFolder; // a private runtime folder: no running copy of the program holds this lock
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(lockFolder.path()));
    const int code = RunExternalUpdater({ path(QStringLiteral("aktualizuj")), path(QStringLiteral("vestrum")),
                                            path(QStringLiteral("tmp/program.zlb")), backup() },
        10000, { key.publicKey() });
    qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(code, 0);
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(path(QStringLiteral("slad"))) && timer.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_EQ(readFile(path(QStringLiteral("slad"))), "uruchomiony\n");
    EXPECT_TRUE(QFileInfo::exists(backup()));
}

// The real program "aktualizuj" knows only the keys built into it, never the test's: it replaces nothing and
// starts the old program again.
TEST_F(UpdaterFolder, TheUpdaterProgramStartsTheOldProgramWhenItCannotTrustThePackage)
{
    writeFile(path(QStringLiteral("vestrum")), "#!/bin/sh\necho stary > \"$(dirname \"$0\")/slad\"\n");
    QFile::setPermissions(path(QStringLiteral("vestrum")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QTemporaryDir lockFolder;
    QProcess updater;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), lockFolder.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), lockFolder.path());
    updater.setProcessEnvironment(environment);
    updater.start(QStringLiteral(VESTRUM_AKTUALIZUJ),
        { path(QStringLiteral("vestrum")), path(QStringLiteral("tmp/program.zlb")), backup() });
    ASSERT_TRUE(updater.waitForFinished(10000));
    EXPECT_EQ(updater.exitCode(), static_cast<int>(ProgramReplacement::SignatureRefused));
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(path(QStringLiteral("slad"))) && timer.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_EQ(readFile(path(QStringLiteral("slad"))), "stary\n");
    EXPECT_FALSE(QFileInfo::exists(backup()));
}
