#include "update/update_fixture.h"

#include "program/data_home.h"
#include "program/settings.h"
#include "storage/journal_list.h"
#include "update/component_files.h"
#include "update/update_server.h"
#include "support/durable_steps.h"

#include <QElapsedTimer>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace vestrum;
using namespace vestrum::update;
namespace vt = vestrum::testing;
using vestrum::testing::readFile;
using vestrum::testing::UpdateFixture;
using vestrum::testing::writeFile;

namespace {

const QString kQuestion
    = QStringLiteral("Program 'Vestrum' wykrył istnienie bardziej aktualnych wersji programu lub jego składników.\n"
                     "Czy chcesz, aby zostały one teraz zainstalowane?");
const QString kNoConnection
    = QStringLiteral("Nie można sprawdzić czy istnieją aktualizacje programu.\nBłąd połączenia z serwerem Marvo.");
const QString kNothingNewer
    = QStringLiteral("Pobrany pakiet nie zawiera elementów nowszych od zainstalowanych na tym komputerze.");

const QString kDaneNewer = QStringLiteral("dane:2.2.2.0;typ:3;pakiet:dane.zlb;strona:;folder:dane;\r\n");
const QString kProgramNewer = QStringLiteral("program:2.2.1.3;typ:0;pakiet:program.zlb;strona:;folder:;\r\n");

QString refusal(const QString& name, const QString& reason)
{
    return QStringLiteral("Aktualizacja składnika %1 odrzucona: %2.").arg(name, reason);
}

void makeUpdaterProgram(const QString& folder)
{
    writeFile(folder + QStringLiteral("aktualizuj"), "#!/bin/sh\n");
    QFile::setPermissions(
        folder + QStringLiteral("aktualizuj"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

TEST(UpdateServerAddresses, PackagesJoinWithSlashAndArePercentEncoded)
{
    EXPECT_EQ(VersionFileAddress(QStringLiteral("https://www.example.com/")).toString(),
        QStringLiteral("https://www.example.com/download/ankieta_update/ankieta_version.conf"));
    EXPECT_EQ(PackageAddress(DownloadBase(QStringLiteral("http://127.0.0.1:8080")), QStringLiteral("pakiet ą#1.zlb"))
                  .toEncoded(),
        QByteArray("http://127.0.0.1:8080/download/ankieta_update/pakiet%20%C4%85%231.zlb"));
}

TEST_F(UpdateFixture, NothingNewerOffersNothing)
{
    serveVersionFile(
        QStringLiteral("program:2.2.1.2;t:0;p:program.zlb;s:;f:;\r\ndane:2.2.1.0;t:3;p:dane.zlb;s:;f:;\r\n"));
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_TRUE(messages.shown.isEmpty());
    ASSERT_EQ(updater.entries().size(), 2);
    EXPECT_TRUE(updater.entries()[0].upToDate);
    ASSERT_FALSE(updater.versionRows().isEmpty());
    EXPECT_EQ(updater.versionRows().first(), qMakePair(QStringLiteral("dane"), QStringLiteral("2.2.1.0")));
    EXPECT_FALSE(QFileInfo::exists(updater.tmpFolder()));
}

// A version file signed long ago, served again: it offers what is older than what is installed, which is no update.
TEST_F(UpdateFixture, AReplayedOlderVersionFileOffersNothing)
{
    putUserData(QStringLiteral("Instytut Badań"));
    makeUpdaterProgram(folder());
    updater.setArguments({ QStringLiteral("x") }); // nothing would be asked before installing
    serveVersionFile(QStringLiteral("program:2.2.1.1;t:0;p:program.zlb;s:;f:;\r\n"
                                    "dane:2.2.0.9;t:3;p:dane.zlb;s:;f:dane;\r\n"));
    servePackage("dane.zlb", vt::surveyPackage(QStringLiteral("2.2.0.9")), QStringLiteral("2.2.0.9"));
    servePackage(
        "program.zlb", vt::archiveOf({ { QStringLiteral("vestrum"), "stary program" } }), QStringLiteral("2.2.1.1"));
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    EXPECT_EQ(server.requested.size(), 2) << "only the version file and its signature";
    EXPECT_TRUE(host.started.isEmpty());
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
    EXPECT_EQ(userData(), QStringLiteral("Instytut Badań"));
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("archiwum")));
}

// "dane" before "program": the data are carried over before the program is handed to the external updater.
TEST_F(UpdateFixture, NewerSurveyDatabaseTakesTheUserDataBeforeTheHandOver)
{
    putUserData(QStringLiteral("Instytut Badań"));
    program.state.CurrentDataFile = folder() + QStringLiteral("moje.naj");
    SetDataSaved(program.state, false);
    makeUpdaterProgram(folder());
    serveVersionFile(kDaneNewer + kProgramNewer);
    servePackage("dane.zlb", vt::surveyPackage(QStringLiteral("2.2.2.0")), QStringLiteral("2.2.2.0"));
    servePackage(
        "program.zlb", vt::archiveOf({ { QStringLiteral("vestrum"), "nowy program" } }), QStringLiteral("2.2.1.3"));
    messages.answer(MessageAnswer::Yes); // message 22

    EXPECT_TRUE(updater.RunAtStart(server.address()));
    EXPECT_EQ(messages.shown, QStringList { kQuestion });
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
    EXPECT_EQ(userData(), QStringLiteral("Instytut Badań"));
    // The data stay tied to the user's file, not to the backup they came from.
    EXPECT_EQ(program.state.CurrentDataFile, folder() + QStringLiteral("moje.naj"));
    EXPECT_FALSE(program.state.DataSaved);

    const QString backup = folder() + QStringLiteral("archiwum/dane/2.2.1.0.nar");
    ZlbArchive old;
    ASSERT_TRUE(old.OpenArchive(backup));
    EXPECT_GE(old.FindFile(QStringLiteral("ankieta.mdb")), 0);
    EXPECT_EQ(QDir(folder() + QStringLiteral("archiwum")).entryList({ QStringLiteral("a_*.nar") }).size(), 1);

    ASSERT_EQ(host.started.size(), 1);
    EXPECT_EQ(host.started[0],
        (QStringList { folder() + QStringLiteral("aktualizuj"), folder() + QStringLiteral("vestrum"),
            folder() + QStringLiteral("tmp/program.zlb"), folder() + QStringLiteral("archiwum/program/2.2.1.2.nar") }));
    EXPECT_EQ(host.closeRequests, 1);
    EXPECT_TRUE(QFileInfo::exists(updater.resumeMarkerPath()));
}

// A data file on the command line is what a double click passes: it asks as a start without one does. Any other
// argument lets the update go on without asking.
TEST_F(UpdateFixture, OnlyAnArgumentOtherThanADataFileSkipsTheQuestion)
{
    serveVersionFile(kDaneNewer);
    servePackage("dane.zlb", vt::surveyPackage(QStringLiteral("2.2.2.0")), QStringLiteral("2.2.2.0"));
    updater.setArguments({ QStringLiteral("/home/ja/Dane 2008.NAJ") });
    messages.answer(MessageAnswer::No);
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_EQ(messages.shown, QStringList { kQuestion });
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));

    messages.shown.clear();
    updater.setArguments({ QStringLiteral("/cicho") });
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
    EXPECT_TRUE(updater.surveyDatabaseReplaced());
    EXPECT_FALSE(QFileInfo::exists(updater.tmpFolder()));
}

TEST_F(UpdateFixture, AnswerNoInstallsNothing)
{
    serveVersionFile(kDaneNewer);
    messages.answer(MessageAnswer::No);
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
    EXPECT_FALSE(server.requested.contains("/download/ankieta_update/dane.zlb"));
}

TEST_F(UpdateFixture, UnreachableOrFailingServerCostsOneMessageAndNoTime)
{
    for (int status : { 404, 500 }) {
        server.routes["/download/ankieta_update/ankieta_version.conf"]
            = { status, "[x]\ndane:9.9.9.9;t:3;p:d.zlb;s:;f:;" };
        messages.shown.clear();
        EXPECT_FALSE(updater.RunAtStart(server.address())) << status;
        EXPECT_EQ(messages.shown, QStringList { kNoConnection }) << status;
        ASSERT_FALSE(messages.requests.isEmpty()) << status;
        EXPECT_EQ(messages.requests.last().number, 20);
    }
    // A server that takes the connection and never answers: the time limit ends the wait.
    server.silent = true;
    messages.shown.clear();
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(messages.shown, QStringList { kNoConnection });
    // Nothing listens on the port at all.
    messages.shown.clear();
    EXPECT_FALSE(updater.RunAtStart(QStringLiteral("http://127.0.0.1:1")));
    EXPECT_EQ(messages.shown, QStringList { kNoConnection });
}

TEST_F(UpdateFixture, HostileVersionFileIsRefusedWhole)
{
    for (const char* line : { "dane:2.2.2.0;t:3;p:../../dane.zlb;s:;f:;", "dane:99999999999.0.0.0;t:3;p:d.zlb;s:;f:;",
             "../x:9.0.0.0;t:1;p:x.zlb;s:;f:;", "x:9.0.0.0;t:1;p:x.zlb;s:;f:/tmp;",
             "dane:9.0.0.0;t:1;p:d.zlb;s:;f:dane;" }) {
        serveVersionFile(kDaneNewer + QString::fromUtf8(line) + QStringLiteral("\r\n"));
        messages.shown.clear();
        EXPECT_FALSE(updater.RunAtStart(server.address())) << line;
        // The server answered: its file is refused for what it says, not taken for a lost connection.
        EXPECT_EQ(messages.shown,
            QStringList { refusal(
                vt::kVersionFileName, QStringLiteral("plik wersji otrzymany z serwera Marvo ma nieprawidłową treść")) })
            << line;
        EXPECT_TRUE(updater.entries().isEmpty());
    }
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
}

// A version file over the length limit is refused for what it is, signed or not, wherever it comes from: never
// taken for a lost connection, whose message the user may have switched off.
TEST_F(UpdateFixture, OverlongSignedVersionFileIsRefusedForItsLength)
{
    QString lines = kDaneNewer;
    while (lines.size() <= update::Fetcher::MaxTextBytes)
        lines += QStringLiteral("; %1\r\n").arg(QString(200, u'x'));
    serveVersionFile(lines);
    const QString refused = refusal(vt::kVersionFileName, QStringLiteral("plik wersji jest dłuższy niż 1 MiB"));
    for (const int connectionMessage : { 1, 0 }) {
        program.state.Flags.setFlag(20, connectionMessage);
        messages.shown.clear();
        server.requested.clear();
        EXPECT_FALSE(updater.RunAtStart(server.address())) << connectionMessage;
        EXPECT_EQ(messages.shown, QStringList { refused }) << connectionMessage;
        EXPECT_EQ(messages.requests.last().number, 0);
        EXPECT_TRUE(updater.entries().isEmpty());
        EXPECT_FALSE(server.requested.contains("/download/ankieta_update/dane.zlb"));
    }
    // The same file waiting in tmp/ for an update that was handed over.
    const auto& served = server.routes["/download/ankieta_update/ankieta_version.conf"].body;
    vt::writeFile(updater.versionFilePath(), served);
    vt::writeFile(update::SignaturePathOf(updater.versionFilePath()),
        server.routes["/download/ankieta_update/ankieta_version.conf.minisig"].body);
    messages.shown.clear();
    server.requested.clear();
    updater.CheckForUpdates(server.address());
    EXPECT_EQ(messages.shown, QStringList { refused });
    EXPECT_TRUE(server.requested.isEmpty());
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
}

TEST_F(UpdateFixture, MissingOrDamagedPackageLeavesTheComponentAsItWas)
{
    putUserData(QStringLiteral("stare dane"));
    updater.setArguments({ QStringLiteral("x") });
    serveVersionFile(kDaneNewer);
    server.routes["/download/ankieta_update/dane.zlb.minisig"]
        = { 200, key.signFor("x", QStringLiteral("dane.zlb"), QStringLiteral("2.2.2.0")) };
    EXPECT_FALSE(updater.RunAtStart(server.address())); // 404 for the package
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("Nie udało się pobrać pakietu aktualizacji dane.zlb")));

    QByteArray damaged = vt::surveyPackage(QStringLiteral("2.2.2.0"));
    ASSERT_GT(damaged.size(), 200);
    damaged[200] = static_cast<char>(damaged[200] ^ 0x55);
    servePackage("dane.zlb", damaged, QStringLiteral("2.2.2.0"));
    messages.shown.clear();
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("jest uszkodzony")));
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
    EXPECT_EQ(userData(), QStringLiteral("stare dane"));
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("archiwum/dane")));

    // Two members that unpack to one name, whatever their letter case: which of them would be installed is
    // anybody's guess.
    const auto packageOf = [](const QString& folder, const QString& secondName) {
        const QString package = folder + QStringLiteral("/dane.zlb");
        writeFile(package, {});
        writeFile(folder + QStringLiteral("/a/ankieta.mdb"), "pierwsza");
        writeFile(folder + QStringLiteral("/b/") + secondName, "druga");
        ZlbArchive archive;
        archive.SetSavePaths(true);
        archive.OpenArchive(package);
        archive.AddFile(folder + QStringLiteral("/a/ankieta.mdb"));
        archive.AddFile(folder + QStringLiteral("/b/") + secondName);
        archive.CloseArchive();
        return package;
    };
    QTemporaryDir distinct;
    EXPECT_EQ(CheckPackage(packageOf(distinct.path(), QStringLiteral("lista.mdb"))),
        (QStringList { QStringLiteral("ankieta.mdb"), QStringLiteral("lista.mdb") }));
    for (const QString& second : { QStringLiteral("ankieta.mdb"), QStringLiteral("ANKIETA.MDB") }) {
        QTemporaryDir source;
        try {
            CheckPackage(packageOf(source.path(), second));
            ADD_FAILURE() << "a package with two members of one name was accepted: " << second.toStdString();
        } catch (const Error& error) {
            EXPECT_TRUE(error.message().contains(QStringLiteral("jest uszkodzony"))) << error.message().toStdString();
        }
    }

    // The whole file's CRC agrees, one member's does not: refused before anything is unpacked.
    try {
        CheckPackage(QStringLiteral(VESTRUM_FIXTURES "/archive/bad_member_crc.naj"));
        ADD_FAILURE() << "a package with a damaged member was accepted";
    } catch (const Error& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("jest uszkodzony lub niekompletny")));
    }
}

// A package whose database cannot be opened: the old database goes back, with its old version.
TEST_F(UpdateFixture, FailedCarryOverKeepsTheOldDatabaseAndNamesTheBackups)
{
    putUserData(QStringLiteral("stare dane"));
    updater.setArguments({ QStringLiteral("x") });
    serveVersionFile(kDaneNewer);
    servePackage("dane.zlb", vt::archiveOf({ { QStringLiteral("ankieta.mdb"), "to nie jest baza danych" } }),
        QStringLiteral("2.2.2.0"));
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(
        messages.shown[0].contains(QDir::toNativeSeparators(folder() + QStringLiteral("archiwum/dane/2.2.1.0.nar"))));
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("a_2026_12_08-12_00.nar")));
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
    EXPECT_EQ(userData(), QStringLiteral("stare dane"));
    ASSERT_EQ(updater.entries().size(), 1);
    EXPECT_FALSE(updater.entries()[0].upToDate);
}

// A leftover version file without the marker neither switches the online check off nor installs unasked.
TEST_F(UpdateFixture, LeftoverTmpWithoutMarkerIsClearedAndTheServerAsked)
{
    writeFile(folder() + QStringLiteral("tmp/ankieta_version.conf"), ("[x]\n" + kDaneNewer).toUtf8());
    writeFile(folder() + QStringLiteral("tmp/dane.zlb"), vt::surveyPackage(QStringLiteral("2.2.2.0")));
    serveVersionFile(QString());
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_TRUE(server.requested.contains("/download/ankieta_update/ankieta_version.conf"));
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
    EXPECT_FALSE(QFileInfo::exists(updater.tmpFolder()));
}

// After the external updater started the program again, the offline update goes on with what is left,
// without asking and without the server; a program entry still not newer is not handed over twice.
TEST_F(UpdateFixture, ResumesAnUpdateItHandedOver)
{
    makeUpdaterProgram(folder());
    const QString package = offlinePackage(kProgramNewer + kDaneNewer,
        { { QStringLiteral("program.zlb"), vt::archiveOf({ { QStringLiteral("vestrum"), "nowy" } }) },
            { QStringLiteral("dane.zlb"), vt::surveyPackage(QStringLiteral("2.2.2.0")) } });
    EXPECT_TRUE(updater.OfflineUpdate(package));
    EXPECT_EQ(host.started.size(), 1);
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0")); // "program" came first
    EXPECT_TRUE(QFileInfo::exists(updater.versionFilePath()));

    // The next start: the external updater did not replace the program (its version is unchanged).
    Updater next(program, fetcher, host, { key.publicKey() });
    EXPECT_FALSE(next.RunAtStart(QStringLiteral("http://127.0.0.1:1")));
    EXPECT_EQ(host.started.size(), 1);
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("Nie udało się zainstalować nowej wersji programu")));
    EXPECT_FALSE(QFileInfo::exists(next.tmpFolder()));
}

TEST_F(UpdateFixture, OfflinePackageWithEverythingCurrentOrWithoutVersionFile)
{
    EXPECT_FALSE(updater.OfflineUpdate(offlinePackage(QStringLiteral("dane:2.2.1.0;t:3;p:dane.zlb;s:;f:;"), {})));
    EXPECT_EQ(messages.shown, QStringList { kNothingNewer });
    EXPECT_FALSE(QFileInfo::exists(updater.tmpFolder()));

    messages.shown.clear();
    const QString path
        = signedDat(QStringLiteral("inne.dat"), vt::archiveOf({ { QStringLiteral("cokolwiek.txt"), "x" } }));
    EXPECT_FALSE(updater.OfflineUpdate(path));
    EXPECT_EQ(messages.shown,
        QStringList { QStringLiteral("Podany plik nie zawiera poprawnej aktualizacji programu \"Vestrum\"") });
}

// File components: an older backup of the same version keeps its name, and a run-once program that fails
// leaves the old file in place.
TEST_F(UpdateFixture, FileComponentsKeepOlderBackupsAndUndoAFailedRunOnce)
{
    writeFile(folder() + QStringLiteral("pomoc/index.html"), "stara pomoc");
    writeFile(folder() + QStringLiteral("archiwum/pomoc/0.0.0.0.nar"), "starsza kopia");
    writeFile(folder() + QStringLiteral("narzedzia/instaluj.sh"), "stary");
    IniFile ini;
    ini.setValue(QStringLiteral("Narzedzie"), QStringLiteral("wersja"), QStringLiteral("1.0.0.0"));
    ini.setValue(
        QStringLiteral("Narzedzie"), QStringLiteral("Obiekt"), folder() + QStringLiteral("narzedzia/instaluj.sh"));
    ini.save(program.state.settingsPath());

    const QString package = offlinePackage(
        QStringLiteral("pomoc:1.0.0.0;t:1;p:pomoc.zlb;s:;f:pomoc;\nNarzedzie:1.1.0.0;t:4;p:n.zlb;s:;f:narzedzia;\n"),
        { { QStringLiteral("pomoc.zlb"), vt::archiveOf({ { QStringLiteral("index.html"), "nowa pomoc" } }) },
            { QStringLiteral("n.zlb"), vt::archiveOf({ { QStringLiteral("instaluj.sh"), "#!/bin/sh\nexit 3\n" } }) } });
    vestrum::testing::DurableSteps steps;
    EXPECT_FALSE(updater.OfflineUpdate(package));

    EXPECT_EQ(readFile(folder() + QStringLiteral("pomoc/index.html")), "nowa pomoc");
    // Synced before it took the old file's name, its folder after: a power cut leaves one of the two whole.
    EXPECT_EQ(steps.faultsPlacingOnly(folder() + QStringLiteral("pomoc/index.html")), QStringList());
    EXPECT_EQ(readFile(folder() + QStringLiteral("archiwum/pomoc/0.0.0.0.nar")), "starsza kopia");
    ZlbArchive backup;
    ASSERT_TRUE(backup.OpenArchive(folder() + QStringLiteral("archiwum/pomoc/0.0.0.0_2.nar")));
    EXPECT_GE(backup.FindFile(QStringLiteral("index.html")), 0);
    ini.load(program.state.settingsPath());
    EXPECT_EQ(ini.value(QStringLiteral("pomoc"), QStringLiteral("wersja")), QStringLiteral("1.0.0.0"));

    EXPECT_EQ(readFile(folder() + QStringLiteral("narzedzia/instaluj.sh")), "stary");
    EXPECT_EQ(ini.value(QStringLiteral("Narzedzie"), QStringLiteral("wersja")), QStringLiteral("1.0.0.0"));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("Instalacja składnika Narzedzie nie powiodła się")));
}

namespace {

// Kills the update's process at a chosen point: inside the carry-over of the survey data (the second table of
// the copy, so the new database's transaction has begun), or when a run-once component's program would start.
class KillingHost final : public ProcessHost {
public:
    void openWebPage(const QUrl&) override {}
    bool startDetached(const QString&, const QStringList&) override { return true; }
    std::optional<int> runAndWait(const QString&, int) override
    {
        ::raise(SIGKILL);
        return std::nullopt;
    }
    void requestClose() override {}
    datafiles::Progress& progress() override { return progress_; }

private:
    class KillingProgress final : public datafiles::Progress {
    public:
        void start(const QString& caption, const QString&, int) override
        {
            copying_ = caption == QStringLiteral("Kopiowanie danych");
            steps_ = 0;
        }
        void step(const QString&) override
        {
            if (copying_ && ++steps_ == 2)
                ::raise(SIGKILL);
        }
        void finish() override {}

    private:
        bool copying_ = false;
        int steps_ = 0;
    } progress_;
};

} // namespace

TEST_F(UpdateFixture, AnUpdateKilledHalfWayIsUndoneAtTheNextStartAndOfferedAgain)
{
    putUserData(QStringLiteral("Instytut Badań"));
    // Enough rows that the user's database is far larger than the new one.
    {
        db::Transaction transaction(program.survey);
        for (int i = 0; i < 2000; ++i)
            program.survey.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Tytul) VALUES (1, ?)"),
                { QStringLiteral("Tytuł %1").arg(i) });
        transaction.commit();
    }
    const QString tool = folder() + QStringLiteral("narzedzia/instaluj.sh");
    writeFile(tool, "stary");
    IniFile ini;
    ini.setValue(QStringLiteral("Narzedzie"), QStringLiteral("wersja"), QStringLiteral("1.0.0.0"));
    ini.setValue(QStringLiteral("Narzedzie"), QStringLiteral("Obiekt"), tool);
    ini.save(program.state.settingsPath());
    const QString toolLine = QStringLiteral("Narzedzie:1.1.0.0;t:4;p:n.zlb;s:;f:narzedzia;\n");
    const QPair<QString, QByteArray> toolPackage { QStringLiteral("n.zlb"),
        vt::archiveOf({ { QStringLiteral("instaluj.sh"), "#!/bin/sh\nexit 0\n" } }) };
    const QPair<QString, QByteArray> surveyPackage { QStringLiteral("dane.zlb"),
        vt::surveyPackage(QStringLiteral("2.2.2.0")) };
    program.survey.close();

    // Two runs of the program, each killed inside an update: of a file component and of the survey database (last,
    // so that the journal of the new database's unfinished transaction is still there at the next start).
    for (const QString& lines : { toolLine, kDaneNewer }) {
        const QString package = offlinePackage(lines, { surveyPackage, toolPackage });
        const pid_t pid = ::fork();
        if (pid == 0) {
            program.survey.open(program.state.DatabasePath, schema::databasePassword());
            KillingHost killing;
            Updater killed(program, fetcher, killing, { key.publicKey() });
            killed.setExecutable(folder() + QStringLiteral("vestrum"));
            killed.OfflineUpdate(package);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the update ran to its end: " << lines.toStdString();
    }
    ASSERT_TRUE(QFileInfo::exists(program.state.DatabasePath + QStringLiteral(".vestrum-stare")));

    // The next start, before its update check.
    EXPECT_EQ(RestoreUnfinishedUpdates(program), (QStringList { QStringLiteral("dane"), QStringLiteral("Narzedzie") }));
    EXPECT_EQ(messages.shown,
        (QStringList { QStringLiteral("Poprzednia aktualizacja składnika dane nie została dokończona - przywrócono "
                                      "jego poprzednią wersję."),
            unfinishedUpdateMessage(QStringLiteral("Narzedzie")) }));
    program.survey.open(program.state.DatabasePath, schema::databasePassword());
    EXPECT_EQ(userData(), QStringLiteral("Instytut Badań"));
    EXPECT_EQ(program.survey.scalar(QStringLiteral("SELECT count(*) FROM dane_wykaz_publikacji")).toInt(), 2000);
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
    EXPECT_EQ(program.survey.scalar(QStringLiteral("PRAGMA quick_check")).toString(), QStringLiteral("ok"));
    EXPECT_EQ(readFile(tool), "stary");
    EXPECT_FALSE(QFileInfo::exists(program.state.DatabasePath + QStringLiteral("-journal")))
        << "the new database's journal must not be played into the old one";
    for (const QString& left : { QStringLiteral("dane"), QStringLiteral("narzedzia") })
        EXPECT_TRUE(QDir(folder() + left).entryList({ QStringLiteral("*.vestrum-stare") }, QDir::Files).isEmpty());
    messages.shown.clear();
    EXPECT_TRUE(RestoreUnfinishedUpdates(program).isEmpty()) << "told once";

    // Both updates are offered again and now go through.
    EXPECT_FALSE(updater.OfflineUpdate(offlinePackage(kDaneNewer + toolLine, { surveyPackage, toolPackage })));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
    EXPECT_EQ(userData(), QStringLiteral("Instytut Badań"));
    EXPECT_EQ(readFile(tool), "#!/bin/sh\nexit 0\n");
}

TEST_F(UpdateFixture, ObjectPathOutsideTheProgramFolderIsIgnored)
{
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("cenny.txt"));
    writeFile(outside, "nie ruszać");
    IniFile ini;
    ini.setValue(QStringLiteral("Wzory"), QStringLiteral("Obiekt"), outside);
    ini.save(program.state.settingsPath());
    const QString package = offlinePackage(QStringLiteral("Wzory:1.0.0.0;t:1;p:w.zlb;s:;f:wzory;"),
        { { QStringLiteral("w.zlb"), vt::archiveOf({ { QStringLiteral("cenny.txt"), "nowy" } }) } });
    EXPECT_FALSE(updater.OfflineUpdate(package));
    EXPECT_EQ(readFile(outside), "nie ruszać");
    EXPECT_EQ(readFile(folder() + QStringLiteral("wzory/cenny.txt")), "nowy");
}

TEST_F(UpdateFixture, SpecialPageOpensTheAddressAndClosesTheProgram)
{
    const QString package
        = offlinePackage(QStringLiteral("Nowy:1.0.0.0;t:1;p:;s:https://www.example.com/opis;f:;"), {});
    EXPECT_FALSE(updater.OfflineUpdate(package));
    EXPECT_EQ(host.pages, QList<QUrl> { QUrl(QStringLiteral("https://www.example.com/opis")) });
    EXPECT_EQ(host.closeRequests, 1);
}

// A plain file component cannot take the place of the survey database (or any other file of the program).
TEST_F(UpdateFixture, FileComponentNeverReplacesTheProgramsOwnFiles)
{
    putUserData(QStringLiteral("cenne dane"));
    const QString package = offlinePackage(
        QStringLiteral("Baza:1.0.0.0;t:1;p:b.zlb;s:;f:dane;\nStare:1.0.0.0;t:1;p:s.zlb;s:;f:archiwum;\n"),
        { { QStringLiteral("b.zlb"), vt::archiveOf({ { QStringLiteral("ANKIETA.mdb"), "pusto" } }) },
            { QStringLiteral("s.zlb"), vt::archiveOf({ { QStringLiteral("a.nar"), "x" } }) } });
    EXPECT_FALSE(updater.OfflineUpdate(package));
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("Pakiet składnika Baza zastąpiłby plik programu")));
    EXPECT_EQ(userData(), QStringLiteral("cenne dane"));
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("archiwum/a.nar")));
}

// The program came back from the external updater in its new version: an online resume fetches the version
// file again, takes the package already in tmp/ and installs the rest without asking.
TEST_F(UpdateFixture, OnlineResumeUsesThePackagesAlreadyFetched)
{
    writeFile(folder() + QStringLiteral("tmp/wznowienie"), "2.2.1.1");
    const QByteArray fetched = vt::surveyPackage(QStringLiteral("2.2.2.0"));
    writeFile(folder() + QStringLiteral("tmp/dane.zlb"), fetched);
    writeFile(folder() + QStringLiteral("tmp/dane.zlb.minisig"),
        key.signFor(fetched, QStringLiteral("dane.zlb"), QStringLiteral("2.2.2.0")));
    serveVersionFile(QStringLiteral("program:2.2.1.2;t:0;p:program.zlb;s:;f:;\r\n") + kDaneNewer);
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    EXPECT_EQ(server.requested,
        (QList<QByteArray> { "/download/ankieta_update/ankieta_version.conf",
            "/download/ankieta_update/ankieta_version.conf.minisig" }));
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
    EXPECT_FALSE(QFileInfo::exists(updater.tmpFolder()));
}

// The journal list is replaced whole; a package whose database does not open leaves the old list in use.
TEST_F(UpdateFixture, JournalListIsReplacedOrKeptWhole)
{
    journals::createJournalListDatabase(program.state.journalListPath());
    program.journals.open(program.state.journalListPath(), schema::databasePassword());
    QTemporaryDir source;
    const QString fresh = source.filePath(QStringLiteral("lista_czasopism.mdb"));
    journals::createJournalListDatabase(fresh);
    {
        db::Connection c;
        c.open(fresh, schema::databasePassword());
        c.execute(QStringLiteral("UPDATE wersja SET wersja = '3000.0.0.0'"));
    }
    const QString line = QStringLiteral("Lista_czasopism:3000.0.0.0;t:2;p:l.zlb;s:;f:dane;");
    EXPECT_FALSE(updater.OfflineUpdate(offlinePackage(line,
        { { QStringLiteral("l.zlb"), vt::archiveOf({ { QStringLiteral("Lista_Czasopism.mdb"), "zepsuta" } }) } })));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("Nie udało się zainstalować nowej listy czasopism")));
    EXPECT_TRUE(program.journals.isOpen());
    EXPECT_NE(startup::databaseVersion(program.journals), QStringLiteral("3000.0.0.0"));

    messages.shown.clear();
    EXPECT_FALSE(updater.OfflineUpdate(offlinePackage(line,
        { { QStringLiteral("l.zlb"),
            vt::archiveOf({ { QStringLiteral("lista_czasopism.mdb"), readFile(fresh) } }) } })));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    EXPECT_TRUE(program.journals.isOpen());
    EXPECT_EQ(startup::databaseVersion(program.journals), QStringLiteral("3000.0.0.0"));
    EXPECT_TRUE(updater.journalListReplaced());
    EXPECT_EQ(QDir(folder() + QStringLiteral("archiwum/Lista_czasopism")).entryList(QDir::Files).size(), 2);
}

// ------------------------------------------------------------------------------------------------------------
// Signatures

// The build setting: key lines separated by ";", blanks allowed; one item that is not a key refuses the list.
TEST(UpdateKeys, TheBuildSettingIsReadWholeOrNotAtAll)
{
    const vt::TestKey first;
    const vt::TestKey second;
    const QString list = QString::fromLatin1(" " + first.publicKeyLine() + " ;" + second.publicKeyLine() + ";");
    EXPECT_EQ(ParsePublicKeyList(list), (PublicKeys { first.publicKey(), second.publicKey() }));
    EXPECT_EQ(ParsePublicKeyList(QString()), PublicKeys {});
    EXPECT_EQ(ParsePublicKeyList(list + QStringLiteral(";RWQzepsuty")), std::nullopt);
    // A secret key's line is no public key.
    EXPECT_EQ(ParsePublicKeyList(QString::fromLatin1(first.secretKeyFile().split('\n')[1])), std::nullopt);
}

// The version file is read only once its signature checks, and a refusal says why: the server did answer.
TEST_F(UpdateFixture, VersionFileIsReadOnlyWithItsOwnSignature)
{
    updater.setArguments({ QStringLiteral("x") });
    serveVersionFile(kDaneNewer);
    servePackage("dane.zlb", vt::surveyPackage(QStringLiteral("2.2.2.0")), QStringLiteral("2.2.2.0"));
    const QByteArray signedContent = server.routes["/download/ankieta_update/ankieta_version.conf"].body;
    QByteArray altered = signedContent;
    altered[altered.indexOf("2.2.2.0") + 4] = '3'; // one byte: dane 2.2.3.0
    vt::TestKey stranger;

    const QByteArray signaturePath = "/download/ankieta_update/ankieta_version.conf.minisig";
    const QByteArray goodSignature = server.routes[signaturePath].body;
    struct Case {
        QByteArray content;
        std::optional<QByteArray> signature;
        QString reason;
    };
    const QList<Case> cases {
        { altered, goodSignature, QStringLiteral("podpis jest nieprawidłowy") },
        { signedContent, std::nullopt, QStringLiteral("brak podpisu") },
        { signedContent, stranger.signFor(signedContent, vt::kVersionFileName),
            QStringLiteral("podpis złożono nieznanym kluczem") },
        { signedContent, key.signFor(signedContent, QStringLiteral("inny.conf")),
            QStringLiteral("podpisano inny plik lub inną wersję (plik:inny.conf)") },
        // The comment edited after signing to name this file.
        { signedContent,
            vt::withTrustedComment(key.signFor(signedContent, QStringLiteral("inny.conf")), "plik:ankieta_version.conf"),
            QStringLiteral("podpis jest nieprawidłowy") },
        { signedContent, goodSignature + "trusted comment: plik:inny.conf\n", QStringLiteral("podpis jest nieprawidłowy") },
    };
    for (const Case& c : cases) {
        server.routes["/download/ankieta_update/ankieta_version.conf"] = { 200, c.content };
        if (c.signature)
            server.routes[signaturePath] = { 200, *c.signature };
        else
            server.routes.remove(signaturePath);
        messages.shown.clear();
        server.requested.clear();
        EXPECT_FALSE(updater.RunAtStart(server.address())) << c.reason.toStdString();
        EXPECT_EQ(messages.shown, QStringList { refusal(vt::kVersionFileName, c.reason) });
        ASSERT_FALSE(messages.requests.isEmpty());
        EXPECT_EQ(messages.requests.last().number, 0); // never silenced like the lost connection
        EXPECT_TRUE(updater.entries().isEmpty());
        EXPECT_FALSE(server.requested.contains("/download/ankieta_update/dane.zlb"));
    }
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
}

// A package is opened only when signed for its own name and for the version the version file offers: another
// signed package, an older signed version, a stranger's key, a changed byte or no signature install nothing
// and remove nothing, and say why.
TEST_F(UpdateFixture, PackageIsInstalledOnlyWhenSignedForItsNameAndTheOfferedVersion)
{
    putUserData(QStringLiteral("stare dane"));
    updater.setArguments({ QStringLiteral("x") });
    serveVersionFile(kDaneNewer);
    const QByteArray fresh = vt::surveyPackage(QStringLiteral("2.2.2.0"));
    const QByteArray older = vt::surveyPackage(QStringLiteral("2.2.1.5"));
    const QByteArray help = vt::archiveOf({ { QStringLiteral("index.html"), "pomoc" } });
    QByteArray altered = fresh;
    altered[300] = static_cast<char>(altered[300] ^ 0x01);
    vt::TestKey stranger;
    const QString offered = QStringLiteral("2.2.2.0");
    struct Case {
        QByteArray package;
        std::optional<QByteArray> signature;
        QString reason;
    };
    const QList<Case> cases {
        { help, key.signFor(help, QStringLiteral("pomoc.zlb"), offered),
            QStringLiteral("podpisano inny plik lub inną wersję (plik:pomoc.zlb wersja:2.2.2.0)") },
        { older, key.signFor(older, QStringLiteral("dane.zlb"), QStringLiteral("2.2.1.5")),
            QStringLiteral("podpisano inny plik lub inną wersję (plik:dane.zlb wersja:2.2.1.5)") },
        // The older package's comment edited to name the offered version.
        { older,
            vt::withTrustedComment(key.signFor(older, QStringLiteral("dane.zlb"), QStringLiteral("2.2.1.5")),
                "plik:dane.zlb wersja:2.2.2.0"),
            QStringLiteral("podpis jest nieprawidłowy") },
        { fresh, stranger.signFor(fresh, QStringLiteral("dane.zlb"), offered),
            QStringLiteral("podpis złożono nieznanym kluczem") },
        { altered, key.signFor(fresh, QStringLiteral("dane.zlb"), offered),
            QStringLiteral("podpis jest nieprawidłowy") },
        { fresh, std::nullopt, QStringLiteral("brak podpisu") },
    };
    for (const Case& c : cases) {
        server.routes["/download/ankieta_update/dane.zlb"] = { 200, c.package };
        if (c.signature)
            server.routes["/download/ankieta_update/dane.zlb.minisig"] = { 200, *c.signature };
        else
            server.routes.remove("/download/ankieta_update/dane.zlb.minisig");
        messages.shown.clear();
        EXPECT_FALSE(updater.RunAtStart(server.address())) << c.reason.toStdString();
        EXPECT_EQ(messages.shown, QStringList { refusal(QStringLiteral("dane"), c.reason) });
        EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
        EXPECT_EQ(userData(), QStringLiteral("stare dane"));
        // Refused before anything is touched: no backup, no restore point.
        EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("archiwum")));
        EXPECT_FALSE(QFileInfo::exists(updater.tmpFolder()));
    }

    servePackage("dane.zlb", fresh, offered);
    messages.shown.clear();
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
    EXPECT_EQ(userData(), QStringLiteral("stare dane"));
}

// What was found newer at the check may be installed by the time its package is opened (by another run, or an
// earlier line of the version file): a package signed for the version now installed is not installed again over
// the user's data.
TEST_F(UpdateFixture, APackageOfTheVersionNowInstalledIsNotInstalledAgain)
{
    updater.setArguments({ QStringLiteral("x") });
    serveVersionFile(kDaneNewer);
    servePackage("dane.zlb", vt::surveyPackage(QStringLiteral("2.2.2.0")), QStringLiteral("2.2.2.0"));
    ASSERT_FALSE(updater.CheckForUpdates(VersionFileAddress(server.address()).toString()));

    Updater other(program, fetcher, host, { key.publicKey() });
    other.setArguments({ QStringLiteral("x") });
    EXPECT_FALSE(other.RunAtStart(server.address()));
    ASSERT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
    putUserData(QStringLiteral("praca po aktualizacji"));
    const QStringList archived = vt::folderListing(folder() + QStringLiteral("archiwum"));

    EXPECT_FALSE(updater.InstallUpdates(DownloadBase(server.address())));
    EXPECT_EQ(messages.shown,
        QStringList { refusal(QStringLiteral("dane"),
            QStringLiteral("podpisano inny plik lub inną wersję (plik:dane.zlb wersja:2.2.2.0)")) });
    EXPECT_EQ(userData(), QStringLiteral("praca po aktualizacji"));
    EXPECT_EQ(vt::folderListing(folder() + QStringLiteral("archiwum")), archived) << "no second backup";
}

// A package refused before the program was handed over is not left in tmp/ for the resumed update to take
// again: the next start fetches it afresh.
TEST_F(UpdateFixture, APackageRefusedBeforeTheHandOverIsFetchedAfreshAtTheNextStart)
{
    makeUpdaterProgram(folder());
    updater.setArguments({ QStringLiteral("x") });
    serveVersionFile(kDaneNewer + kProgramNewer);
    const QByteArray fresh = vt::surveyPackage(QStringLiteral("2.2.2.0"));
    vt::TestKey stranger;
    server.routes["/download/ankieta_update/dane.zlb"] = { 200, fresh };
    server.routes["/download/ankieta_update/dane.zlb.minisig"]
        = { 200, stranger.signFor(fresh, QStringLiteral("dane.zlb"), QStringLiteral("2.2.2.0")) };
    servePackage(
        "program.zlb", vt::archiveOf({ { QStringLiteral("vestrum"), "nowy program" } }), QStringLiteral("2.2.1.3"));
    EXPECT_TRUE(updater.RunAtStart(server.address()));
    EXPECT_EQ(messages.shown,
        QStringList { refusal(QStringLiteral("dane"), QStringLiteral("podpis złożono nieznanym kluczem")) });
    ASSERT_EQ(host.started.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(updater.tmpFolder() + QStringLiteral("dane.zlb")));
    EXPECT_FALSE(QFileInfo::exists(updater.tmpFolder() + QStringLiteral("dane.zlb.minisig")));

    // The next start, in the new program, with the package now signed as it should be.
    writeFile(updater.resumeMarkerPath(), "2.2.1.1");
    serveVersionFile(QStringLiteral("program:2.2.1.2;t:0;p:program.zlb;s:;f:;\r\n") + kDaneNewer);
    servePackage("dane.zlb", fresh, QStringLiteral("2.2.2.0"));
    messages.shown.clear();
    Updater next(program, fetcher, host, { key.publicKey() });
    EXPECT_FALSE(next.RunAtStart(server.address()));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
}

// The program is handed to the external updater only when its package checks; the updater gets the package
// with its signature beside it, to check again.
TEST_F(UpdateFixture, ProgramPackageIsHandedOverOnlyWhenSigned)
{
    makeUpdaterProgram(folder());
    updater.setArguments({ QStringLiteral("x") });
    serveVersionFile(kProgramNewer);
    const QByteArray package = vt::archiveOf(
        { { QStringLiteral("vestrum"), "nowy program" }, { QStringLiteral("aktualizuj"), "nowy aktualizator" } });
    servePackage("program.zlb", package, QStringLiteral("2.2.1.2")); // the installed version again
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_TRUE(host.started.isEmpty());
    EXPECT_EQ(messages.shown,
        QStringList { refusal(QStringLiteral("program"),
            QStringLiteral("podpisano inny plik lub inną wersję (plik:program.zlb wersja:2.2.1.2)")) });

    servePackage("program.zlb", package, QStringLiteral("2.2.1.3"));
    EXPECT_TRUE(updater.RunAtStart(server.address()));
    ASSERT_EQ(host.started.size(), 1);
    EXPECT_EQ(readFile(folder() + QStringLiteral("tmp/program.zlb")), package);
    EXPECT_TRUE(SignatureVerifier({ key.publicKey() })
                    .checkFileFor(folder() + QStringLiteral("tmp/program.zlb"), QStringLiteral("program.zlb"))
                    .good());
}

// The offline package is checked as a whole before it is opened, then each file in it as if fetched.
TEST_F(UpdateFixture, OfflinePackageIsOpenedOnlyWithItsOwnSignature)
{
    const QByteArray fresh = vt::surveyPackage(QStringLiteral("2.2.2.0"));
    const QString dat = offlinePackage(kDaneNewer, { { QStringLiteral("dane.zlb"), fresh } });
    const QByteArray datSignature = readFile(dat + QStringLiteral(".minisig"));
    writeFile(folder() + QStringLiteral("tmp/obce"), "zostaje"); // a refusal changes nothing on disk

    QFile::remove(dat + QStringLiteral(".minisig"));
    EXPECT_FALSE(updater.OfflineUpdate(dat));
    EXPECT_EQ(
        messages.shown, QStringList { refusal(QStringLiteral("aktualizacja.dat"), QStringLiteral("brak podpisu")) });
    EXPECT_EQ(readFile(folder() + QStringLiteral("tmp/obce")), "zostaje");

    // Renamed with its signature: the signature names the other file.
    writeFile(root.filePath(QStringLiteral("inna.dat")), readFile(dat));
    writeFile(root.filePath(QStringLiteral("inna.dat.minisig")), datSignature);
    messages.shown.clear();
    EXPECT_FALSE(updater.OfflineUpdate(root.filePath(QStringLiteral("inna.dat"))));
    EXPECT_EQ(messages.shown,
        QStringList { refusal(QStringLiteral("inna.dat"),
            QStringLiteral("podpisano inny plik lub inną wersję (plik:aktualizacja.dat)")) });
    // ... and its comment edited to the new name.
    writeFile(root.filePath(QStringLiteral("inna.dat.minisig")), vt::withTrustedComment(datSignature, "plik:inna.dat"));
    messages.shown.clear();
    EXPECT_FALSE(updater.OfflineUpdate(root.filePath(QStringLiteral("inna.dat"))));
    EXPECT_EQ(messages.shown,
        QStringList { refusal(QStringLiteral("inna.dat"), QStringLiteral("podpis jest nieprawidłowy")) });

    // Signed as a whole, but a package inside has no signature of its own.
    const QByteArray versionFile = ("[Vestrum]\n" + kDaneNewer).toUtf8();
    const QString bare = signedDat(QStringLiteral("bez_podpisu.dat"),
        vt::archiveOf({ { vt::kVersionFileName, versionFile },
            { vt::kVersionFileName + QStringLiteral(".minisig"), key.signFor(versionFile, vt::kVersionFileName) },
            { QStringLiteral("dane.zlb"), fresh } }));
    messages.shown.clear();
    EXPECT_FALSE(updater.OfflineUpdate(bare));
    EXPECT_EQ(messages.shown, QStringList { refusal(QStringLiteral("dane"), QStringLiteral("brak podpisu")) });
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));

    writeFile(dat + QStringLiteral(".minisig"), datSignature);
    messages.shown.clear();
    EXPECT_FALSE(updater.OfflineUpdate(dat));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
}

// A build without a key fetches nothing and opens no package: it could not tell a forged update from a real one.
TEST_F(UpdateFixture, BuildWithoutKeyOffersNoUpdate)
{
    serveVersionFile(kDaneNewer);
    servePackage("dane.zlb", vt::surveyPackage(QStringLiteral("2.2.2.0")), QStringLiteral("2.2.2.0"));
    Updater keyless(program, fetcher, host, {});
    EXPECT_FALSE(keyless.offersUpdates());
    EXPECT_FALSE(keyless.RunAtStart(server.address()));
    EXPECT_TRUE(server.requested.isEmpty());
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_FALSE(keyless.OfflineUpdate(
        offlinePackage(kDaneNewer, { { QStringLiteral("dane.zlb"), vt::surveyPackage(QStringLiteral("2.2.2.0")) } })));
    EXPECT_EQ(messages.shown, QStringList { NoUpdateKeyNotice() });
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
    EXPECT_FALSE(QFileInfo::exists(keyless.tmpFolder()));
}

// An installed program: the package manager owns the program folder, so the program is not offered there; the
// survey database is updated in the user's folder, its download, backup and restore point kept there too.
TEST_F(UpdateFixture, InstalledProgramUpdatesOnlyTheDataInTheUsersFolder)
{
    vt::PrivateUserDataHome home;
    writeFile(folder() + QStringLiteral("vestrum.ini"), "[Instalacja]\nDane=uzytkownik\n");
    makeUpdaterProgram(folder());
    program.survey.close();
    RunState& state = program.state;
    state.DataFolder.clear();
    state.DatabasePath.clear();
    startup::setProgramFolder(state, root.path());
    ASSERT_EQ(state.DataHome, DataHomeKind::Installed);
    schema::createSurveyDatabase(state.DatabasePath);
    program.survey.open(state.DatabasePath, schema::databasePassword());
    putUserData(QStringLiteral("Instytut Badań"));
    const QStringList before = vt::folderListing(root.path());
    servePackage("dane.zlb", vt::surveyPackage(QStringLiteral("2.2.2.0")), QStringLiteral("2.2.2.0"));
    servePackage(
        "program.zlb", vt::archiveOf({ { QStringLiteral("vestrum"), "nowy program" } }), QStringLiteral("2.2.1.3"));

    serveVersionFile(kProgramNewer);
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_TRUE(messages.shown.isEmpty()); // nothing to offer: no question

    serveVersionFile(kDaneNewer + kProgramNewer);
    messages.answer(MessageAnswer::Yes);
    EXPECT_FALSE(updater.RunAtStart(server.address()));
    EXPECT_EQ(messages.shown, QStringList { kQuestion });
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.2.0"));
    EXPECT_EQ(userData(), QStringLiteral("Instytut Badań"));
    EXPECT_TRUE(host.started.isEmpty());
    EXPECT_FALSE(server.requested.contains("/download/ankieta_update/program.zlb"));
    EXPECT_TRUE(QFileInfo::exists(home.folder() + QStringLiteral("archiwum/dane/2.2.1.0.nar")));
    EXPECT_EQ(updater.tmpFolder(), home.folder() + QStringLiteral("tmp/"));
    EXPECT_EQ(vt::folderListing(root.path()), before);
}
