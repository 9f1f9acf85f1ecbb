// Faults played for real against the data files: a killed save, a disk that fills up, damaged database pages,
// a crash between an edit and a save, a user's own files beside the program's.

#include "base/error.h"
#include "base/file_modes.h"
#include "datafile/save.h"
#include "datafile/load.h"
#include "datafile/working_data.h"
#include "datafile/merge.h"
#include "datafile/restore_points.h"
#include "datafile/scratch_folders.h"
#include "lists/list_data.h"
#include "program/settings.h"
#include "program/startup.h"
#include "support/legacy_data_file.h"
#include "survey/section_data.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

[[maybe_unused]] void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}


void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString unitName(db::Connection& c)
{
    return c.scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString();
}

// Enough rows that the database spans many pages and an archive rebuild reports progress along the way.
void fillSurvey(db::Connection& c, const QString& name, int publications = 3000)
{
    c.execute(QStringLiteral("DELETE FROM dane_podstawowe"));
    c.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, ?)"), { name });
    // Titles that do not compress away, so the archive is about as large as the rows.
    QRandomGenerator random(7);
    db::Transaction transaction(c);
    for (int i = 0; i < publications; ++i)
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Czasopismo, Tytul) VALUES (1, ?, ?)"),
            { QStringLiteral("Czasopismo %1").arg(i),
                QStringLiteral("Tytuł %1 %2").arg(i).arg(random.generate64(), 16, 16, QLatin1Char('0')) });
    transaction.commit();
}

// Runs `body` in a child process and waits for it. The child never returns into the test runner.
int runChild(const std::function<void()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// Kills its own process at a chosen point of a rebuild.
class KilledArchive : public datafiles::CheckedArchive {
public:
    enum class At { TempFileMade, HalfCompressed, BeforeReplace };
    explicit KilledArchive(At at)
        : at_(at)
    {
        OnProgress = [this](const QString&, int percentage) {
            if (at_ == At::HalfCompressed && percentage >= 50 && ProgressPhase() != TProgressPhase::Extracting)
                ::raise(SIGKILL);
        };
    }

protected:
    QString MakeTempFileName(const QString& folder) override
    {
        const QString path = CheckedArchive::MakeTempFileName(folder);
        if (at_ == At::TempFileMade)
            ::raise(SIGKILL);
        return path;
    }
    void BeforeReplace(const QString& tempFileName) override
    {
        CheckedArchive::BeforeReplace(tempFileName);
        if (at_ == At::BeforeReplace)
            ::raise(SIGKILL);
    }

private:
    At at_;
};

QStringList temporaryNames(const QString& folder)
{
    QStringList names;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        if (tempfiles::isTemporaryName(name))
            names.append(name);
    return names;
}

datafiles::NoProgress quiet;

} // namespace

TEST(DataSafety, AKilledSaveLeavesTheFileWholeAndItsLeftoversAreClearedByTheNextSave)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("zapisana"));
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    const QByteArray saved = fileHash(file);
    // What the user keeps beside the file, some of it named like temporary files of other programs.
    writeFile(t.path(QStringLiteral("ZLB0001.tmp")), "cudzy");
    writeFile(t.path(QStringLiteral(".wyniki.naj.1234.tmp")), "cudzy");
    writeFile(t.path(QStringLiteral("notatki.txt")), "moje");

    // Over a megabyte: the save is killed while its blocks are being deflated on every core.
    fillSurvey(t.survey(), QStringLiteral("niezapisana"), 30000);
    ASSERT_GT(QFileInfo(t.program.state.DatabasePath).size(), 1024 * 1024);
    t.survey().close();
    using At = KilledArchive::At;
    int killed = 0;
    for (At at : { At::TempFileMade, At::HalfCompressed, At::BeforeReplace }) {
        for (bool asNewFile : { false, true }) {
            const int status = runChild([&] {
                ChildProgram child(t.program.state.ProgramFolder);
                child.program.state.CurrentDataFile = file;
                KilledArchive archive(at);
                if (asNewFile)
                    datafiles::WriteDataFile(child.program, file, archive);
                else
                    datafiles::SaveToCurrentDataFile(child.program, archive);
            });
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the save ran to its end";
            ++killed;
            EXPECT_EQ(fileHash(file), saved) << "killed at point " << static_cast<int>(at);
        }
    }
    EXPECT_EQ(killed, 6);
    EXPECT_FALSE(temporaryNames(t.dir.path()).isEmpty()) << "the killed saves left their files";

    // A temporary file of a copy that still runs (this one) is not touched.
    const QString ours = tempfiles::createFile(t.dir.path());
    t.program.survey.open(t.program.state.DatabasePath, schema::databasePassword());
    t.program.state.CurrentDataFile = file;
    datafiles::SaveToCurrentDataFile(t.program);
    EXPECT_EQ(temporaryNames(t.dir.path()), QStringList { QFileInfo(ours).fileName() });
    for (const char* name : { "ZLB0001.tmp", ".wyniki.naj.1234.tmp", "notatki.txt" })
        EXPECT_TRUE(QFileInfo::exists(t.path(QString::fromLatin1(name)))) << name;

    datafiles::LoadDataFile(t.program, file, quiet);
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("niezapisana"));
}

TEST(DataSafety, ADiskThatFillsUpFailsTheSaveAndKeepsTheOldFile)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("zapisana"), 200);
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    const QByteArray saved = fileHash(file);
    fillSurvey(t.survey(), QStringLiteral("duża"), 30000); // deflated in blocks when the disk fills
    ASSERT_GT(QFileInfo(t.program.state.DatabasePath).size(), 1024 * 1024);
    t.survey().close();

    for (bool asNewFile : { false, true }) {
        const int status = runChild([&] {
            ChildProgram child(t.program.state.ProgramFolder);
            child.program.state.CurrentDataFile = file;
            SetDataSaved(child.program.state, false);
            // From here on no file may grow past 64 kB: writes fail as on a full disk.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { 64 * 1024, 64 * 1024 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const QString error = errorOf([&] {
                if (asNewFile)
                    datafiles::WriteDataFile(child.program, file);
                else
                    datafiles::SaveToCurrentDataFile(child.program);
            });
            const bool reported
                = error.startsWith(QStringLiteral("Uwaga! Z jakiegoś powodu zbiór nie został zapisany."));
            ::_exit(reported && !child.program.state.DataSaved && child.program.survey.isOpen() ? 0 : 1);
        });
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported as one";
        EXPECT_EQ(fileHash(file), saved);
        EXPECT_TRUE(temporaryNames(t.dir.path()).isEmpty()) << "a failed save cleans up after itself";
    }
}

TEST(DataSafety, DamagedWorkingDataAreNeverPackedAndTheUserIsToldWhereToGoBack)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("zdrowa"));
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program));
    const QByteArray saved = fileHash(file);
    EXPECT_TRUE(datafiles::WorkingDataDamage(t.program).isEmpty());

    t.survey().close();
    damageLastPage(t.program.state.DatabasePath);
    t.survey().open(t.program.state.DatabasePath, schema::databasePassword());
    ASSERT_EQ(unitName(t.survey()), QStringLiteral("zdrowa")) << "the header and the first tables still read";
    SetDataSaved(t.program.state, false);

    const QString save = errorOf([&] { datafiles::SaveToCurrentDataFile(t.program); });
    EXPECT_TRUE(save.startsWith(QStringLiteral("Uwaga! Dane w programie są uszkodzone"))) << save.toStdString();
    EXPECT_TRUE(save.contains(QStringLiteral("(dzień: 2008/03/05  godzina: 09:07)")));
    EXPECT_TRUE(save.contains(QStringLiteral("\n\nSzczegóły: ")));
    EXPECT_EQ(errorOf([&] { datafiles::WriteDataFile(t.program, file); }), save);
    EXPECT_EQ(fileHash(file), saved);
    EXPECT_FALSE(t.program.state.DataSaved);
    EXPECT_TRUE(t.survey().isOpen());

    // No restore point of damaged data: the sound one stays the newest.
    EXPECT_FALSE(restorepoints::MakeRestorePoint(t.program));
    EXPECT_EQ(restorepoints::RestorePointEntries(t.program.state.archiveFolder()).size(), 1);
    EXPECT_EQ(datafiles::WorkingDataDamage(t.program), save);
    EXPECT_TRUE(temporaryNames(t.dir.path()).isEmpty());
}

TEST(DataSafety, ADataFileWithADamagedDatabaseIsRefusedInPolishAndChangesNothing)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("w programie"), 50);
    QTemporaryDir other;
    const QString database = other.filePath(QStringLiteral("ankieta.mdb"));
    schema::createSurveyDatabase(database);
    {
        db::Connection c;
        c.open(database, schema::databasePassword());
        fillSurvey(c, QStringLiteral("w pliku"));
    }
    const QString earlierDatabase = other.filePath(QStringLiteral("ankieta-2005.mdb"));
    ASSERT_TRUE(QFile::copy(database, earlierDatabase));
    {
        db::Connection c;
        c.open(earlierDatabase, schema::databasePassword());
        c.execute(QStringLiteral("DROP TABLE wersja"));
    }
    damageLastPage(database);
    damageLastPage(earlierDatabase);
    const QString file = t.path(QStringLiteral("uszkodzony.naj"));
    archiveDatabase(database, file);
    const QString earlierFile = t.path(QStringLiteral("uszkodzony-2005.naj"));
    archiveDatabase(earlierDatabase, earlierFile);

    const QString error = errorOf([&] { datafiles::LoadDataFile(t.program, file, quiet); });
    const QStringList lines = error.split(u'\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Zbiór danych nie może być wczytany - baza danych w pliku jest uszkodzona."));
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("Szczegóły: ")));
    EXPECT_FALSE(error.contains(QStringLiteral("INSERT")));
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("w programie"));
    EXPECT_TRUE(temporaryNames(t.dir.path()).isEmpty());

    // The damage is told before anything else: before the question an earlier version's file asks, and before
    // damaged working data would be set aside for a file that cannot take their place.
    t.messages.answer(MessageAnswer::Yes);
    EXPECT_EQ(errorOf([&] { datafiles::LoadDataFile(t.program, earlierFile, quiet); }).split(u'\n')[0], lines[0]);
    EXPECT_TRUE(t.messages.shown.empty());
    const QString working = t.program.state.DatabasePath;
    t.survey().close();
    damageLastPage(working);
    t.survey().open(working, schema::databasePassword());
    EXPECT_EQ(errorOf([&] { datafiles::LoadDataFile(t.program, file, quiet); }).split(u'\n')[0], lines[0]);
    EXPECT_TRUE(QFileInfo(working).dir().entryList({QStringLiteral("*uszkodzona*")}, QDir::Files).isEmpty());
    EXPECT_TRUE(t.messages.shown.empty());
}

// A survey whose bytes no longer match their CRC still unpacks and opens; the load, the restore and the merge
// refuse it all the same, and nothing of it reaches the working data.
TEST(DataSafety, ASurveyFailingItsCrcIsNeitherLoadedRestoredNorMerged)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("w programie"), 20);
    QTemporaryDir other;
    const QString database = other.filePath(QStringLiteral("ankieta.mdb"));
    schema::createSurveyDatabase(database);
    {
        db::Connection c;
        c.open(database, schema::databasePassword());
        fillSurvey(c, QStringLiteral("Instytut Zdrowy"), 20);
    }
    const QString file = t.path(QStringLiteral("uszkodzony.naj"));
    archiveWithDamagedMember(database, file, "Instytut Zdrowy", "Instytut Chory!");
    const QString point = t.program.state.archiveFolder() + QStringLiteral("a_2008_03_05-09_07.nar");
    QDir().mkpath(t.program.state.archiveFolder());
    ASSERT_TRUE(QFile::copy(file, point));
    const QByteArray before = fileHash(file);
    const QString damaged = QStringLiteral("Plik (0) jest uszkodzony");

    EXPECT_EQ(errorOf([&] { datafiles::LoadDataFile(t.program, file, quiet); }), damaged);
    EXPECT_EQ(errorOf([&] { restorepoints::RestoreData(t.program, point, quiet); }), damaged);
    EXPECT_EQ(errorOf([&] { merge::MergeDataFile(t.survey(), file, merge::AllItems(), quiet); }), damaged);
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("w programie"));
    EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT count(*) FROM dane_wykaz_publikacji")).toInt(), 20);
    EXPECT_TRUE(t.program.state.CurrentDataFile.isEmpty());
    EXPECT_EQ(fileHash(file), before);
    EXPECT_TRUE(temporaryNames(t.dir.path()).isEmpty());
}

TEST(DataSafety, ALoadTouchesNoUserFileAndUnpacksOnlyTheDatabase)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("wczytana"), 20);
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    // A crafted file: besides the database, a member that would unpack to 64 MB of zeros.
    const QString bulky = t.path(QStringLiteral("zrodlo/balast.bin"));
    writeFile(bulky, QByteArray(64 * 1024 * 1024, '\0'));
    {
        ZlbArchive archive;
        archive.OpenArchive(file);
        archive.AddFile(bulky);
        ASSERT_TRUE(archive.LastFailure().isEmpty());
    }
    QFile::remove(bulky);
    const QString userFile = datafiles::temporaryFolder(t.program.state.ProgramFolder) + QStringLiteral("/moje.txt");
    writeFile(userFile, "nie usuwać");

    fillSurvey(t.survey(), QStringLiteral("inna"), 20);
    EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::Loaded);
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("wczytana"));
    EXPECT_TRUE(QFileInfo::exists(userFile));
    QStringList everything;
    QDirIterator it(t.dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        everything.append(QFileInfo(it.next()).fileName());
    EXPECT_FALSE(everything.contains(QStringLiteral("balast.bin")));
    EXPECT_TRUE(temporaryNames(t.dir.path()).isEmpty());

    // A load that fails half-way leaves no folder of its own behind either.
    writeFile(t.path(QStringLiteral("zly.naj")), "to nie jest archiwum");
    EXPECT_FALSE(
        errorOf([&] { datafiles::LoadDataFile(t.program, t.path(QStringLiteral("zly.naj")), quiet); }).isEmpty());
    EXPECT_TRUE(temporaryNames(t.dir.path()).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(userFile));
}

TEST(DataSafety, RestoredDataBelongToNoFileAndNoSaveRewritesARestorePoint)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("punkt"), 20);
    QString point;
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program, &point));
    const QByteArray pointHash = fileHash(point);
    t.program.state.CurrentDataFile = t.path(QStringLiteral("wyniki.naj"));

    restorepoints::RestoreData(t.program, point, quiet);
    EXPECT_TRUE(t.program.state.CurrentDataFile.isEmpty());
    EXPECT_EQ(startup::windowTitle(t.program.state), QStringLiteral("Vestrum"));
    EXPECT_FALSE(t.program.state.DataSaved);

    // Even named by hand, a restore point is not a file "Zapisz dane" writes to.
    t.program.state.CurrentDataFile = point;
    EXPECT_EQ(errorOf([&] { datafiles::SaveToCurrentDataFile(t.program); }),
        QStringLiteral("Punkt przywracania danych nie może zostać zmieniony.\nProszę zapisać dane pod inną nazwą."));
    EXPECT_EQ(fileHash(point), pointHash);
}

TEST(DataSafety, AFileMarkedReadOnlyIsNotReplaced)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("pierwsza"), 20);
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    const QByteArray saved = fileHash(file);
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    fillSurvey(t.survey(), QStringLiteral("druga"), 20);
    SetDataSaved(t.program.state, false);

    const QString refused
        = QStringLiteral("Uwaga! Wskazany zbiór jest oznaczony jako tylko do odczytu i nie może zostać "
                         "zmieniony.\nProszę zapisać dane pod inną nazwą lub w innym miejscu.");
    EXPECT_EQ(errorOf([&] { datafiles::WriteDataFile(t.program, file); }), refused);
    EXPECT_EQ(errorOf([&] { datafiles::SaveToCurrentDataFile(t.program); }), refused);
    EXPECT_EQ(fileHash(file), saved);
    EXPECT_FALSE(t.program.state.DataSaved);

    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    datafiles::SaveToCurrentDataFile(t.program);
    EXPECT_TRUE(t.program.state.DataSaved);

    // The owner's write bit decides for every user: above for whoever runs the tests (root may write anything),
    // and, when that is root, here for an ordinary user asking about files of another owner, where the owner's
    // bit says otherwise than what this user may do with the file.
    if (::geteuid() != 0)
        return;
    QTemporaryDir others;
    ASSERT_TRUE(QFile::setPermissions(others.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
            | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    const QString writableByOthers = others.filePath(QStringLiteral("wspolny.naj"));
    const QString writableByOwner = others.filePath(QStringLiteral("cudzy.naj"));
    writeFile(writableByOthers, "dane");
    writeFile(writableByOwner, "dane");
    ASSERT_TRUE(QFile::setPermissions(writableByOthers, QFile::ReadOwner | QFile::ReadGroup | QFile::WriteGroup
            | QFile::ReadOther | QFile::WriteOther));
    ASSERT_TRUE(QFile::setPermissions(writableByOwner, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    // The child asks from inside the folder by the files' names alone: the temporary folder above it may be
    // private to root, and a relative name needs no way through the folders above.
    const int status = runChild([&] {
        constexpr uid_t kNobody = 65534;
        const bool inside = ::chdir(QFile::encodeName(others.path()).constData()) == 0;
        const bool ordinaryUser = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::geteuid() != 0;
        ::_exit(inside && ordinaryUser && isReadOnlyTarget(QFileInfo(writableByOthers).fileName())
                    && !isReadOnlyTarget(QFileInfo(writableByOwner).fileName())
                ? 0
                : 1);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(DataSafety, TheProgramsSavesAreRefusedWhileAnotherWriterHoldsTheDataFile)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("pierwsza"), 20);
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    fillSurvey(t.survey(), QStringLiteral("druga"), 20);
    SetDataSaved(t.program.state, false);
    const QByteArray saved = fileHash(file);

    int locked[2];
    int release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        const datafiles::DataFileLock lock(file); // a headless command writing the same file
        char byte = 1;
        ::_exit(::write(locked[1], &byte, 1) == 1 && ::read(release[0], &byte, 1) == 1 ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(::read(locked[0], &byte, 1), 1);
    datafiles::SetLockWait(200);
    const QString inUse = datafiles::FileInUseMessage(file);
    EXPECT_EQ(errorOf([&] { datafiles::SaveToCurrentDataFile(t.program); }), inUse);
    EXPECT_EQ(errorOf([&] { datafiles::WriteDataFile(t.program, file); }), inUse);
    EXPECT_EQ(fileHash(file), saved);
    EXPECT_FALSE(t.program.state.DataSaved);
    EXPECT_TRUE(t.survey().isOpen());
    datafiles::SetLockWait(10000);
    ASSERT_EQ(::write(release[1], &byte, 1), 1);
    ::waitpid(writer, nullptr, 0);

    datafiles::SaveToCurrentDataFile(t.program);
    EXPECT_TRUE(t.program.state.DataSaved);
    for (int fd : {locked[0], locked[1], release[0], release[1]})
        ::close(fd);
}

TEST(DataSafety, ACrashBetweenAnEditAndASaveKeepsTheEditInARestorePointAtTheNextStart)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("w pliku"), 20);
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    WriteSettings(t.program.state); // the run that saved it closed normally
    t.survey().close();

    const int status = runChild([&] {
        ChildProgram child(t.program.state.ProgramFolder);
        child.program.survey.execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = 'edycja'"));
        datafiles::StoreReportingYear(child.program, QStringLiteral("2007")); // an edit, as a section save makes it
        ::raise(SIGKILL);
    });
    ASSERT_TRUE(WIFSIGNALED(status));

    // The next start.
    ScriptedMessages messages;
    FixedClock clock { QDateTime(QDate(2008, 3, 6), QTime(8, 15)) };
    Program next(messages, clock);
    startup::setProgramFolder(next.state, t.program.state.ProgramFolder);
    ReadSettings(next.state);
    startup::openDatabases(next);
    ShellSteps steps;
    steps.loadDataFile = [&](const QString& path) { datafiles::LoadDataFile(next, path, quiet); };
    steps.keepUnsavedWork = [&] { return restorepoints::MakeNamedRestorePoint(next); };
    EXPECT_EQ(startup::chooseStartData(next, {}, steps), QStringLiteral("Vestrum - ") + QDir::toNativeSeparators(file));

    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0],
        startup::unsavedWorkKeptNotice(QStringLiteral("dzień: 2008/03/06  godzina: 08:15 (a_2008_03_06-08_15.nar)")));
    EXPECT_EQ(unitName(next.survey), QStringLiteral("w pliku"));
    EXPECT_TRUE(next.state.DataSaved);
    EXPECT_FALSE(next.state.DataSaved.unsavedRecorded()) << "told once: the start after this one says nothing";

    restorepoints::RestoreData(next, next.state.archiveFolder() + QStringLiteral("a_2008_03_06-08_15.nar"), quiet);
    EXPECT_EQ(unitName(next.survey), QStringLiteral("edycja"));
    EXPECT_EQ(next.survey.scalar(QStringLiteral("SELECT Rok_sprawozdawczy FROM dane_szczegolowe")).toString(),
        QStringLiteral("2007"));
}

namespace {

// SQLite's commit hook: the process dies as the save's transaction commits.
int killAtCommit(void*)
{
    ::raise(SIGKILL);
    return 0;
}

// A section save and a list save of the program, as "zapisz zmiany" runs them.
void saveSectionOrList(Program& program, bool list)
{
    if (list) {
        lists::SaveList(program, 3, lists::LoadList(program, 3).grid);
        return;
    }
    FieldValues unit = LoadSection(program, 101);
    unit.text[QStringLiteral("e001")] = QStringLiteral("edycja");
    SaveSection(program, 101, unit);
}

} // namespace

TEST(DataSafety, ASaveKilledAtItsCommitHasAlreadyRecordedTheUnsavedWork)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("w pliku"), 20);
    datafiles::WriteDataFile(t.program, t.path(QStringLiteral("wyniki.naj")));
    t.survey().close();
    for (bool list : { false, true }) {
        WriteSettings(t.program.state); // the run that saved the file closed normally
        const int status = runChild([&] {
            ChildProgram child(t.program.state.ProgramFolder);
            sqlite3_commit_hook(child.program.survey.handle(), &killAtCommit, nullptr);
            saveSectionOrList(child.program, list);
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "the save ran to its end";
        RunState next;
        next.ProgramFolder = t.program.state.ProgramFolder;
        ReadSettings(next);
        EXPECT_TRUE(next.DataSaved.unsavedRecorded()) << (list ? "list" : "section");
    }
}

TEST(DataSafety, ASettingsFileThatCannotBeWrittenIsReportedOnceAndTheSavesGoOn)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("w pliku"), 20);
    SetDataSaved(t.program.state, true);
    WriteSettings(t.program.state);
    const QString settings = t.program.state.settingsPath();
    const QByteArray before = fileHash(settings);
    ASSERT_TRUE(QFile::setPermissions(settings, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    for (bool list : { false, true, false })
        saveSectionOrList(t.program, list);
    EXPECT_EQ(t.messages.shown,
        QStringList { QStringLiteral("Nie można zapisać pliku ustawień %1 - po awarii niezapisane zmiany mogą zostać "
                                     "utracone.")
                          .arg(QDir::toNativeSeparators(settings)) });
    EXPECT_EQ(LoadSection(t.program, 101).text.value(QStringLiteral("e001")), QStringLiteral("edycja"));
    EXPECT_FALSE(t.program.state.DataSaved);
    EXPECT_EQ(fileHash(settings), before) << "a read-only file stays as it is, whoever runs the program";
}

TEST(DataSafety, DamagedWorkingDataAreSetAsideByALoadARestoreAndANewUnit)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("zdrowa"));
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    QString point;
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program, &point));
    const QString legacy = t.path(QStringLiteral("2005.naj"));
    writeLegacyDataFile(legacy);
    const QString database = t.program.state.DatabasePath;
    const QString aside = database + QStringLiteral(".uszkodzona-2008_03_05-09_07");

    auto damage = [&] {
        t.survey().close();
        damageLastPage(database);
        t.survey().open(database, schema::databasePassword());
        t.messages.shown.clear();
        return fileHash(database);
    };
    // The way out is named where the user meets the damage.
    damage();
    const QString refused = errorOf([&] { datafiles::SaveToCurrentDataFile(t.program); });
    EXPECT_TRUE(refused.contains(QStringLiteral("dane/ankieta.mdb.uszkodzona-RRRR_MM_DD-GG_MM"))) << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("„Nowa jednostka”")));

    const std::vector<std::pair<QString, std::function<void()>>> ways {
        { QString(), [&] { EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::Loaded); } },
        { QStringLiteral("_2"), [&] { restorepoints::RestoreData(t.program, point, quiet); } },
        { QStringLiteral("_3"), [&] { datafiles::ClearForNewUnit(t.program); } },
        { QStringLiteral("_4"),
            [&] {
                EXPECT_EQ(datafiles::LoadDataFile(t.program, legacy, quiet), datafiles::LoadOutcome::LoadedEarlierVersion);
            } },
    };
    for (const auto& [suffix, way] : ways) {
        const QByteArray damaged = damage();
        way();
        EXPECT_EQ(fileHash(aside + suffix), damaged) << "the damaged database is kept whole: " << suffix.toStdString();
        EXPECT_TRUE(datafiles::WorkingDataDamage(t.program).isEmpty());
        EXPECT_EQ(t.survey().scalar(QStringLiteral("SELECT wersja FROM wersja")).toString(), schema::surveyFormatVersion());
        EXPECT_TRUE(t.messages.shown.join(u'\n').contains(QDir::toNativeSeparators(aside + suffix)));
    }
    // What each way put into the new database: the file, the point, a new unit, the converted 2005 file.
    EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_monografii")), 2);
    datafiles::LoadDataFile(t.program, file, quiet);
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("zdrowa"));
    EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_publikacji")), 3000);
    EXPECT_FALSE(QFileInfo::exists(aside + QStringLiteral("_5"))) << "sound data stay where they are";
}

namespace {

// A last run that saved its data file, then changed the unit's name and ended without saving; returns the file.
QString leaveAnUnsavedEdit(TestProgram& t)
{
    fillSurvey(t.survey(), QStringLiteral("w pliku"), 20);
    const QString file = t.path(QStringLiteral("wyniki.naj"));
    datafiles::WriteDataFile(t.program, file);
    WriteSettings(t.program.state);
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = 'edycja'"));
    SetDataSaved(t.program.state, false);
    t.survey().close();
    return file;
}

// The next start of the program in the same folder, with the steps the main window gives it.
struct NextStart {
    ScriptedMessages messages;
    FixedClock clock { QDateTime(QDate(2008, 3, 6), QTime(8, 15)) };
    Program next { messages, clock };
    ShellSteps steps;
    startup::DamagedAtStart damaged;

    explicit NextStart(const QString& programFolder)
    {
        startup::setProgramFolder(next.state, programFolder);
        ReadSettings(next.state);
        steps.loadDataFile = [this](const QString& path) { datafiles::LoadDataFile(next, path, quiet); };
        steps.keepUnsavedWork = [this] { return restorepoints::MakeNamedRestorePoint(next); };
        steps.workingDataDamaged = [this] { return !datafiles::WorkingDataDamage(next).isEmpty(); };
        steps.setDamagedWorkingDataAside = [this] { datafiles::SetDamagedWorkingDataAside(next); };
        steps.moveDamagedWorkingDataAside = [this] { return datafiles::MoveDamagedWorkingDataAside(next); };
        steps.loadNewestRestorePoint = [this] { return restorepoints::RestoreNewestPoint(next, quiet); };
        damaged = startup::openDatabases(next, steps);
    }
    QString choose() { return startup::chooseStartData(next, {}, steps, damaged); }
};

} // namespace

TEST(DataSafety, WithoutARestorePointTheStartKeepsTheUnsavedWorkingData)
{
    TestProgram t;
    leaveAnUnsavedEdit(t);
    writeFile(t.program.state.archiveFolder().chopped(1), "plik zamiast folderu"); // no point can be made

    NextStart start(t.program.state.ProgramFolder);
    EXPECT_EQ(start.choose(), QStringLiteral("Vestrum"));
    ASSERT_EQ(start.messages.shown.size(), 1);
    EXPECT_TRUE(start.messages.shown[0].contains(QStringLiteral("nie mógł zostać utworzony")));
    EXPECT_EQ(unitName(start.next.survey), QStringLiteral("edycja"));
    EXPECT_FALSE(start.next.state.DataSaved);
}

// Damaged unsaved changes can be kept in no restore point and taken by no save: working on them would lose the
// work. The start sets the damaged database aside whole and loads the last file into a new one.
TEST(DataSafety, DamagedUnsavedWorkingDataAreSetAsideAndTheStartLoadsTheLastFile)
{
    TestProgram t;
    const QString file = leaveAnUnsavedEdit(t);
    const QString database = t.program.state.DatabasePath;
    damageLastPage(database);
    const QByteArray damaged = fileHash(database);

    NextStart start(t.program.state.ProgramFolder);
    start.choose();
    const QString aside = database + QStringLiteral(".uszkodzona-2008_03_06-08_15");
    EXPECT_EQ(fileHash(aside), damaged) << "the damaged database, unsaved changes and all, is kept whole";
    const QStringList& shown = start.messages.shown;
    ASSERT_GE(shown.size(), 2);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("dane w programie są uszkodzone")));
    EXPECT_TRUE(shown.join(u'\n').contains(QDir::toNativeSeparators(aside)));
    EXPECT_EQ(unitName(start.next.survey), QStringLiteral("w pliku"));
    EXPECT_TRUE(datafiles::WorkingDataDamage(start.next).isEmpty());
    EXPECT_TRUE(start.next.state.DataSaved);
    EXPECT_EQ(start.next.state.CurrentDataFile, file);
}

TEST(DataSafety, FoldersOfLoadsThatNeverFinishedGoUnlessTheyHoldAUsersFile)
{
    QTemporaryDir folder;
    // A copy of the program that dies in the middle of two loads, one of them into a folder a user then used.
    const int status = runChild([&] {
        for (const char* name : { "pusty", "uzywany" }) {
            QTemporaryDir unpacked(folder.filePath(tempfiles::nameFor(QStringLiteral("XXXXXX"))));
            unpacked.setAutoRemove(false);
            writeFile(unpacked.filePath(QStringLiteral("ankieta.mdb")), "baza");
            tempfiles::createFile(unpacked.path());
            if (qstrcmp(name, "uzywany") == 0)
                writeFile(unpacked.filePath(QStringLiteral("moje.txt")), "nie usuwać");
        }
        ::raise(SIGKILL);
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(temporaryNames(folder.path()).size(), 2) << "QTemporaryDir keeps the program's pattern";

    EXPECT_EQ(tempfiles::removeAbandoned(folder.path()), 1);
    const QStringList left = temporaryNames(folder.path());
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(QDir(folder.filePath(left[0])).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("moje.txt") });
}

// A working database the engine cannot open at all no longer ends every start: it is kept whole beside a new one,
// and the new one gets the last data file, or without one the newest restore point. The unsaved edit of the last
// run is in the damaged file, which no restore point of the empty new database may pass for.
TEST(DataSafety, AWorkingDatabaseThatDoesNotOpenIsSetAsideAtStartAndTheLastSavedDataLoaded)
{
    enum class Saved { DataFile, RestorePointOnly, Nothing };
    const std::vector<std::pair<Saved, std::string>> savedCases {
        { Saved::DataFile, "a data file" }, { Saved::RestorePointOnly, "a restore point" }, { Saved::Nothing, "nothing" } };
    for (const FileDamage damage : everyFileDamage()) {
        for (const auto& [saved, savedName] : savedCases) {
            SCOPED_TRACE(describe(damage) + ", saved in " + savedName);
            TestProgram t;
            fillSurvey(t.survey(), QStringLiteral("zapisana"), 20);
            const QString file = t.path(QStringLiteral("wyniki.naj"));
            if (saved == Saved::DataFile)
                datafiles::WriteDataFile(t.program, file);
            if (saved == Saved::RestorePointOnly) {
                ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program));
            }
            t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = 'edycja'"));
            SetDataSaved(t.program.state, false);
            WriteSettings(t.program.state);
            t.survey().close();
            const QString database = t.program.state.DatabasePath;
            damageFile(database, damage);
            const QByteArray damaged = fileHash(database);
            const QStringList pointsBefore = QDir(t.program.state.archiveFolder()).entryList({ QStringLiteral("*.nar") });

            NextStart start(t.program.state.ProgramFolder);
            ASSERT_TRUE(start.damaged.happened());
            const QString title = start.choose();

            const QString aside = database + QStringLiteral(".uszkodzona-2008_03_06-08_15");
            EXPECT_EQ(fileHash(aside), damaged) << "the damaged database is kept whole";
            ASSERT_EQ(start.messages.shown.size(), 1) << start.messages.shown.join(u'\n').toStdString();
            const QString& notice = start.messages.shown[0];
            EXPECT_TRUE(notice.startsWith(QStringLiteral("Uwaga! Nie można otworzyć bazy danych programu:")));
            EXPECT_TRUE(notice.contains(QDir::toNativeSeparators(aside))) << notice.toStdString();
            EXPECT_TRUE(datafiles::WorkingDataDamage(start.next).isEmpty());
            EXPECT_EQ(QDir(t.program.state.archiveFolder()).entryList({ QStringLiteral("*.nar") }), pointsBefore)
                << "no restore point of the empty new database";
            switch (saved) {
            case Saved::DataFile:
                EXPECT_EQ(unitName(start.next.survey), QStringLiteral("zapisana"));
                EXPECT_EQ(title, QStringLiteral("Vestrum - ") + QDir::toNativeSeparators(file));
                EXPECT_TRUE(notice.contains(QStringLiteral("ostatnio zapisany plik danych:\n")
                    + QDir::toNativeSeparators(file)));
                EXPECT_TRUE(start.next.state.DataSaved);
                break;
            case Saved::RestorePointOnly:
                EXPECT_EQ(unitName(start.next.survey), QStringLiteral("zapisana"));
                EXPECT_EQ(title, QStringLiteral("Vestrum"));
                EXPECT_TRUE(notice.contains(QStringLiteral("z najnowszego punktu przywracania danych:\n"
                                                           "dzień: 2008/03/05  godzina: 09:07")));
                EXPECT_FALSE(start.next.state.DataSaved) << "restored data are in no data file";
                break;
            case Saved::Nothing:
                EXPECT_EQ(rowCount(start.next.survey, QStringLiteral("dane_wykaz_publikacji")), 0);
                EXPECT_EQ(title, QStringLiteral("Vestrum"));
                EXPECT_TRUE(notice.contains(QStringLiteral("pustej bazy danych")));
                break;
            }
        }
    }
}
