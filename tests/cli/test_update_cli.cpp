#include "cli/update_cli.h"

#include "support/temp_survey.h"
#include "update/signing.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

using vestrum::testing::TestKey;

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

struct UpdateCli : ::testing::Test {
    QTemporaryDir programFolder;
    QTemporaryDir work;
    TestKey key;

    QString path(const QString& name) const { return work.filePath(name); }
    void write(const QString& file, const QByteArray& bytes) const
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    QByteArray read(const QString& file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    CliRun run(const QStringList& args, const vestrum::update::PublicKeys& builtIn = {}) const
    {
        CliRun r;
        QTextStream out(&r.out), err(&r.err);
        r.status = vestrum::runUpdateCommandIn(programFolder.path(), builtIn, args, out, err);
        return r;
    }
    // Debian's minisign, run to its end.
    int minisign(const QStringList& args, QString* output = nullptr) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("minisign"), args);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000))
            return -1;
        if (output)
            *output = QString::fromUtf8(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

} // namespace

// What `update sign` writes, Debian's minisign accepts, and the other way round; `verify` prints the comment.
TEST_F(UpdateCli, SignaturesPassBetweenVestrumAndMinisign)
{
    write(path(QStringLiteral("klucz.key")), key.secretKeyFile());
    write(path(QStringLiteral("klucz.pub")), key.publicKeyFile());
    write(path(QStringLiteral("program.zlb")), QByteArray(100000, 'p'));
    CliRun r = run({ QStringLiteral("sign"), QStringLiteral("--key"), path(QStringLiteral("klucz.key")),
        path(QStringLiteral("program.zlb")), QStringLiteral("--version"), QStringLiteral("2.2.1.3") });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QString said;
    ASSERT_EQ(minisign({ QStringLiteral("-V"), QStringLiteral("-p"), path(QStringLiteral("klucz.pub")),
                           QStringLiteral("-m"), path(QStringLiteral("program.zlb")) },
                  &said),
        0)
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("Trusted comment: plik:program.zlb wersja:2.2.1.3")));

    r = run({ QStringLiteral("verify"), path(QStringLiteral("program.zlb")), QStringLiteral("--klucz-publiczny"),
        path(QStringLiteral("klucz.pub")) });
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("plik:program.zlb wersja:2.2.1.3\n"));
    // The built-in keys serve when no key file is given.
    EXPECT_EQ(run({ QStringLiteral("verify"), path(QStringLiteral("program.zlb")) }, { key.publicKey() }).status, 0);

    // A key made by minisign itself without a password (its comment still says "encrypted"), and a signature
    // made by minisign with it.
    ASSERT_EQ(minisign({ QStringLiteral("-G"), QStringLiteral("-W"), QStringLiteral("-p"),
                  path(QStringLiteral("m.pub")), QStringLiteral("-s"), path(QStringLiteral("m.key")) }),
        0);
    write(path(QStringLiteral("ankieta_version.conf")), "[Vestrum]\n");
    ASSERT_EQ(minisign({ QStringLiteral("-S"), QStringLiteral("-s"), path(QStringLiteral("m.key")),
                  QStringLiteral("-m"), path(QStringLiteral("ankieta_version.conf")), QStringLiteral("-t"),
                  QStringLiteral("plik:ankieta_version.conf") }),
        0);
    r = run({ QStringLiteral("verify"), path(QStringLiteral("ankieta_version.conf")),
        QStringLiteral("--klucz-publiczny"), path(QStringLiteral("m.pub")) });
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("plik:ankieta_version.conf\n"));
    // minisign's legacy kind (the file signed whole, not its hash) is not taken.
    write(path(QStringLiteral("stary.conf")), "[Vestrum]\n");
    ASSERT_EQ(minisign({ QStringLiteral("-S"), QStringLiteral("-l"), QStringLiteral("-s"),
                  path(QStringLiteral("m.key")), QStringLiteral("-m"), path(QStringLiteral("stary.conf")),
                  QStringLiteral("-t"), QStringLiteral("plik:stary.conf") }),
        0);
    r = run({ QStringLiteral("verify"), path(QStringLiteral("stary.conf")), QStringLiteral("--klucz-publiczny"),
        path(QStringLiteral("m.pub")) });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("podpis jest nieprawidłowy"))) << r.err.toStdString();

    r = run({ QStringLiteral("sign"), QStringLiteral("--key"), path(QStringLiteral("m.key")),
        path(QStringLiteral("ankieta_version.conf")) });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(minisign({ QStringLiteral("-V"), QStringLiteral("-p"), path(QStringLiteral("m.pub")),
                  QStringLiteral("-m"), path(QStringLiteral("ankieta_version.conf")) }),
        0);
}

// The comment names the file and the version after it, so a file name that holds the version word itself is
// still its own.
TEST_F(UpdateCli, AFileNameHoldingTheVersionWordIsSignedAndVerifiedWhole)
{
    write(path(QStringLiteral("klucz.key")), key.secretKeyFile());
    const QString file = path(QStringLiteral("raport wersja:1.0.0.0.zlb"));
    write(file, "raport");
    ASSERT_EQ(run({ QStringLiteral("sign"), QStringLiteral("--key"), path(QStringLiteral("klucz.key")), file,
                      QStringLiteral("--version"), QStringLiteral("2.2.2.0") })
                  .status,
        0);
    const CliRun r = run({ QStringLiteral("verify"), file }, { key.publicKey() });
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("plik:raport wersja:1.0.0.0.zlb wersja:2.2.2.0\n"));
}

// `sign` refuses an encrypted key, a key inside the program folder and a key file that is none, writing nothing.
TEST_F(UpdateCli, SignRefusesKeysItMustNotUse)
{
    write(path(QStringLiteral("plik.zlb")), "dane");
    write(path(QStringLiteral("z.key")), key.encryptedSecretKeyFile());
    const QString insideProgram = QDir(programFolder.path()).filePath(QStringLiteral("dane/klucz.key"));
    QDir().mkpath(QFileInfo(insideProgram).absolutePath());
    write(insideProgram, key.secretKeyFile());
    write(path(QStringLiteral("publiczny.key")), key.publicKeyFile());
    // The user's own data folder, where an installed program keeps the survey: its backups would carry the key.
    vestrum::testing::PrivateUserDataHome userHome;
    const QString insideUserData = userHome.folder() + QStringLiteral("archiwum/klucz.key");
    QDir().mkpath(QFileInfo(insideUserData).absolutePath());
    write(insideUserData, key.secretKeyFile());
    QByteArray damaged = key.secretKeyFile();
    damaged[160] = damaged[160] == 'A' ? 'B' : 'A';
    write(path(QStringLiteral("uszkodzony.key")), damaged);

    const QList<QPair<QString, QString>> cases {
        { path(QStringLiteral("z.key")), QStringLiteral("zaszyfrowany hasłem") },
        { insideProgram, QStringLiteral("leży w folderze programu") },
        { insideUserData, QStringLiteral("leży w folderze programu lub jego danych") },
        { path(QStringLiteral("publiczny.key")), QStringLiteral("nie jest kluczem tajnym") },
        { path(QStringLiteral("uszkodzony.key")), QStringLiteral("uszkodzony") },
        { path(QStringLiteral("brak.key")), QStringLiteral("Nie można odczytać") },
    };
    for (const auto& [keyFile, said] : cases) {
        const CliRun r
            = run({ QStringLiteral("sign"), QStringLiteral("--key"), keyFile, path(QStringLiteral("plik.zlb")) });
        EXPECT_EQ(r.status, 1) << keyFile.toStdString();
        EXPECT_TRUE(r.err.contains(said)) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("plik.zlb.minisig"))));
    }
}

TEST_F(UpdateCli, VerifyRefusesWhatIsNotThisFileSigned)
{
    write(path(QStringLiteral("klucz.key")), key.secretKeyFile());
    write(path(QStringLiteral("klucz.pub")), key.publicKeyFile());
    write(path(QStringLiteral("dane.zlb")), "nowa baza");
    ASSERT_EQ(run({ QStringLiteral("sign"), QStringLiteral("--key"), path(QStringLiteral("klucz.key")),
                      path(QStringLiteral("dane.zlb")), QStringLiteral("--version=2.2.2.0") })
                  .status,
        0);
    const QStringList withKey { QStringLiteral("--klucz-publiczny"), path(QStringLiteral("klucz.pub")) };
    // Another file under the signed one's name and signature.
    write(path(QStringLiteral("inne.zlb")), "nowa baza");
    write(path(QStringLiteral("inne.zlb.minisig")), read(path(QStringLiteral("dane.zlb.minisig"))));
    CliRun r = run(QStringList { QStringLiteral("verify"), path(QStringLiteral("inne.zlb")) } + withKey);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("podpisano inny plik lub inną wersję (plik:dane.zlb wersja:2.2.2.0)")))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    // ... with the signature's comment edited to name it.
    write(path(QStringLiteral("inne.zlb.minisig")),
        vestrum::testing::withTrustedComment(read(path(QStringLiteral("dane.zlb.minisig"))), "plik:inne.zlb wersja:2.2.2.0"));
    r = run(QStringList { QStringLiteral("verify"), path(QStringLiteral("inne.zlb")) } + withKey);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("podpis jest nieprawidłowy"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    // Another key, no key at all, a changed file.
    EXPECT_EQ(run({ QStringLiteral("verify"), path(QStringLiteral("dane.zlb")) }, { TestKey().publicKey() }).status, 1);
    r = run({ QStringLiteral("verify"), path(QStringLiteral("dane.zlb")) });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("nie ma wbudowanego klucza")));
    write(path(QStringLiteral("dane.zlb")), "nowa bazA");
    EXPECT_EQ(run(QStringList { QStringLiteral("verify"), path(QStringLiteral("dane.zlb")) } + withKey).status, 1);

    // Wrong command lines.
    for (const QStringList& args : QList<QStringList> { {}, { QStringLiteral("verify") },
             { QStringLiteral("verify"), QStringLiteral("a"), QStringLiteral("b") },
             { QStringLiteral("verify"), QStringLiteral("a"), QStringLiteral("--klucz") },
             { QStringLiteral("sign"), path(QStringLiteral("dane.zlb")) },
             { QStringLiteral("sign"), QStringLiteral("--key"), path(QStringLiteral("klucz.key")),
                 path(QStringLiteral("dane.zlb")), QStringLiteral("--version"), QStringLiteral("2.2") },
             { QStringLiteral("podpisz") } })
        EXPECT_EQ(run(args).status, 2) << args.join(u' ').toStdString();
}
