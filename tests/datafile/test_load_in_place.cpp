// A data file laid out as the working database takes its place whole: durably, keeping its records as saved, and
// never cutting off or corrupting another program that has the working database open. Anything else laid out
// otherwise is copied table by table and brings nothing of its own along.

#include "base/durable_files.h"
#include "datafile/data_file_lock.h"
#include "datafile/load.h"
#include "datafile/restore_points.h"
#include "datafile/save.h"
#include "storage/engine.h"
#include "support/durable_steps.h"
#include "support/legacy_data_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

datafiles::NoProgress quiet;

void fillSurvey(db::Connection& c, const QString& unitName)
{
    c.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, kod, nazwa) VALUES (17, 'IF', ?)"), {unitName});
    for (const char* number : {"P.1", "P.2", "P.3"})
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer, tytul) VALUES (1, ?, 'Sposób')"),
                  {QString::fromLatin1(number)});
    c.execute(QStringLiteral("INSERT INTO dane_wykaz_publikacji (grupa, Czasopismo, Tytul) VALUES (1, 'Fizyka', 'Kwarki')"));
}

QString unitName(db::Connection& c)
{
    return c.scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString();
}

QString rowIds(db::Connection& c, const QString& table)
{
    QStringList ids;
    db::Query q(c, QStringLiteral("SELECT rowid FROM \"%1\" ORDER BY rowid").arg(table));
    for (q.first(); !q.eof(); q.next())
        ids << q.value(0).toString();
    return ids.join(u',');
}

// What the working database is made of besides its records.
QString layout(db::Connection& c)
{
    QString text;
    db::Query q(c, QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY type, name"));
    for (q.first(); !q.eof(); q.next())
        text += q.value(0).toString() + u' ' + q.value(1).toString() + u' ' + q.value(2).toString() + u'\n';
    return text + c.scalar(QStringLiteral("PRAGMA journal_mode")).toString() + u'\n'
        + c.scalar(QStringLiteral("SELECT wersja FROM wersja")).toString();
}

unsigned modeOf(const QString& path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777 : 0;
}

bool sound(const QString& database)
{
    db::Connection c;
    c.open(database, schema::databasePassword());
    return c.scalar(QStringLiteral("PRAGMA integrity_check")).toString() == QLatin1String("ok");
}

// Another program on the working database, in a child process: it opens the database, does `before`, tells the
// parent, waits to be let go, does `after` and ends with `after`'s answer as its exit status.
class OtherProgram {
public:
    OtherProgram(const QString& database, const std::function<void(db::Connection&)>& before,
                 const std::function<int(db::Connection&)>& after)
    {
        if (::pipe(ready_) != 0 || ::pipe(go_) != 0)
            throw std::runtime_error("no pipe");
        // A child that died makes letting it go fail with a message rather than end this process.
        ::signal(SIGPIPE, SIG_IGN);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready_[0]);
            ::close(go_[1]);
            char byte = 1;
            db::Connection c;
            c.open(database, schema::databasePassword());
            before(c);
            if (::write(ready_[1], &byte, 1) != 1 || ::read(go_[0], &byte, 1) != 1)
                ::_exit(100);
            ::_exit(after(c));
        }
        // Only the child keeps these ends: when it dies, the parent's read ends instead of waiting for ever.
        ::close(ready_[1]);
        ::close(go_[0]);
        ready_[1] = go_[0] = -1;
        char byte = 0;
        if (::read(ready_[0], &byte, 1) != 1)
            throw std::runtime_error("the other program did not start");
    }
    ~OtherProgram()
    {
        if (pid_ > 0 && status_ < 0) {
            const char byte = 1;
            [[maybe_unused]] const auto written = ::write(go_[1], &byte, 1);
            waitForEnd();
        }
        for (int fd : {ready_[0], ready_[1], go_[0], go_[1]})
            if (fd >= 0)
                ::close(fd);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    void letGo()
    {
        const char byte = 1;
        if (::write(go_[1], &byte, 1) != 1)
            throw std::runtime_error("the other program is gone");
    }
    int letGoAndWait()
    {
        letGo();
        return waitForEnd();
    }
    int waitForEnd()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 200;
        return status_;
    }

private:
    int ready_[2] = {-1, -1};
    int go_[2] = {-1, -1};
    pid_t pid_ = -1;
    int status_ = -1;
};

} // namespace

TEST(LoadInPlace, ASavedFileTakesTheWorkingPlaceDurablyWithItsRowNumbersAndTheOldFilesMode)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("zapisana"));
    t.survey().execute(QStringLiteral("DELETE FROM dane_wykaz_patentow WHERE numer = 'P.2'"));
    const QString file = t.path(QStringLiteral("zapis.naj"));
    datafiles::WriteDataFile(t.program, file);
    const QString saved = dump(t.survey());
    ASSERT_EQ(rowIds(t.survey(), QStringLiteral("dane_wykaz_patentow")), QStringLiteral("1,3"));

    t.survey().execute(QStringLiteral("DELETE FROM dane_wykaz_patentow"));
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = 'zmieniona'"));
    const QString database = t.program.state.DatabasePath;
    ASSERT_EQ(::chmod(QFile::encodeName(database).constData(), 0640), 0);

    DurableSteps steps;
    EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::Loaded);
    EXPECT_EQ(dump(t.survey()), saved);
    // Records keep the numbers they were saved with, gaps included: the order is the same as a copy's.
    EXPECT_EQ(rowIds(t.survey(), QStringLiteral("dane_wykaz_patentow")), QStringLiteral("1,3"));
    EXPECT_EQ(steps.faultsPlacingOnly(database), QStringList());
    EXPECT_EQ(modeOf(database), 0640);
    EXPECT_FALSE(QFileInfo::exists(database + QStringLiteral("-journal")));
    EXPECT_TRUE(QDir(t.program.state.ProgramFolder).entryList({QStringLiteral(".vestrum-tmp-*")},
                                                              QDir::AllEntries | QDir::Hidden).isEmpty());

    // The working connection writes into the new file.
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = 'po wczytaniu'"));
    t.survey().close();
    EXPECT_TRUE(sound(database));
    t.survey().open(database, schema::databasePassword());
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("po wczytaniu"));
}

TEST(LoadInPlace, AFileLaidOutOtherwiseIsCopiedAndBringsNothingOfItsOwn)
{
    const std::vector<std::pair<const char*, QString>> differences = {
        {"a trigger", QStringLiteral("CREATE TRIGGER obcy AFTER UPDATE ON dane_podstawowe BEGIN "
                                     "DELETE FROM dane_wykaz_patentow; END")},
        {"a view", QStringLiteral("CREATE VIEW obcy_widok AS SELECT numer FROM dane_wykaz_patentow")},
        {"a table", QStringLiteral("CREATE TABLE obca_tabela (x)")},
        {"a field", QStringLiteral("ALTER TABLE dane_wykaz_patentow ADD COLUMN obce_pole TEXT")},
        {"a version", QStringLiteral("UPDATE wersja SET wersja = '9.9.9.9'")},
        {"a journal", QStringLiteral("PRAGMA journal_mode = WAL")},
    };
    for (const auto& [difference, statement] : differences) {
        SCOPED_TRACE(difference);
        TestProgram t;
        fillSurvey(t.survey(), QStringLiteral("nasza"));
        const QString file = makeDataFile(t.path(QStringLiteral("obcy.naj")), [&statement](db::Connection& c) {
            fillSurvey(c, QStringLiteral("obca"));
            c.execute(statement);
        });
        const QString before = layout(t.survey());

        RecordingProgress progress;
        EXPECT_EQ(datafiles::LoadDataFile(t.program, file, progress), datafiles::LoadOutcome::Loaded);
        EXPECT_EQ(unitName(t.survey()), QStringLiteral("obca"));
        EXPECT_EQ(layout(t.survey()), before);
        EXPECT_EQ(progress.maximum, t.survey().userTables().size());
        EXPECT_TRUE(progress.labels.contains(QStringLiteral("dane_wykaz_patentow")));

        t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = 'zmiana'"));
        EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_patentow")), 3);
        EXPECT_FALSE(QFileInfo::exists(t.program.state.DatabasePath + QStringLiteral("-wal")));
    }
}

TEST(LoadInPlace, AnotherProgramWritingTheWorkingDatabaseIsWaitedForAndNeverCutOff)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("nasza"));
    const QString file = makeDataFile(t.path(QStringLiteral("obcy.naj")),
                                      [](db::Connection& c) { fillSurvey(c, QStringLiteral("obca")); });
    const QString database = t.program.state.DatabasePath;
    const QString before = dump(t.survey());
    const auto writeOne = [](db::Connection& c) {
        c.execute(QStringLiteral("BEGIN IMMEDIATE"));
        c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (numer) VALUES ('P.inny')"));
    };
    const auto commit = [](db::Connection& c) {
        c.execute(QStringLiteral("COMMIT"));
        return 0;
    };
    const int usualWait = db::BusyTimeout();

    {
        // A writer that goes on longer than the wait: the load is refused and nothing changes.
        OtherProgram other(database, writeOne, commit);
        db::SetBusyTimeout(300);
        t.survey().close();
        t.survey().open(database, schema::databasePassword());
        const QString refusal = errorOf([&] { datafiles::LoadDataFile(t.program, file, quiet); });
        EXPECT_EQ(refusal.section(u'\n', 0, 0), datafiles::FileInUseMessage(database)) << refusal.toStdString();
        db::SetBusyTimeout(usualWait);
        t.survey().close();
        t.survey().open(database, schema::databasePassword());
        EXPECT_EQ(dump(t.survey()), before);
        EXPECT_EQ(other.letGoAndWait(), 0);
        EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_patentow")), 4);
    }
    {
        // A writer that ends while the load waits: its record is in, then the whole file replaces it.
        OtherProgram other(database, writeOne, commit);
        std::thread letGoSoon([&other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            other.letGo();
        });
        EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::Loaded);
        letGoSoon.join();
        EXPECT_EQ(other.waitForEnd(), 0);
    }
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("obca"));
    EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_patentow")), 3);
    EXPECT_FALSE(QFileInfo::exists(database + QStringLiteral("-journal")));
    EXPECT_TRUE(sound(database));
}

// The same rule from the restore window's door: a restore point is a data file laid out as the working database.
TEST(LoadInPlace, ARestorePointTakenWholeWaitsForAnotherProgramWritingTheWorkingDatabase)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("z punktu"));
    QString point;
    ASSERT_TRUE(restorepoints::MakeRestorePoint(t.program, &point));
    t.survey().execute(QStringLiteral("UPDATE dane_podstawowe SET nazwa = 'po punkcie'"));
    const QString database = t.program.state.DatabasePath;
    const int usualWait = db::BusyTimeout();
    db::SetBusyTimeout(300);
    t.survey().close();
    t.survey().open(database, schema::databasePassword());
    {
        OtherProgram other(
            database, [](db::Connection& c) { c.execute(QStringLiteral("BEGIN IMMEDIATE")); },
            [](db::Connection& c) {
                c.execute(QStringLiteral("COMMIT"));
                return 0;
            });
        const QString refusal = errorOf([&] { restorepoints::RestoreData(t.program, point, quiet); });
        EXPECT_EQ(refusal.section(u'\n', 0, 0), datafiles::FileInUseMessage(database)) << refusal.toStdString();
        EXPECT_EQ(unitName(t.survey()), QStringLiteral("po punkcie"));
        EXPECT_EQ(other.letGoAndWait(), 0);
    }
    db::SetBusyTimeout(usualWait);
    EXPECT_EQ(restorepoints::RestoreData(t.program, point, quiet), datafiles::LoadOutcome::Loaded);
    EXPECT_EQ(unitName(t.survey()), QStringLiteral("z punktu"));
    EXPECT_FALSE(QFileInfo::exists(database + QStringLiteral("-journal")));
    EXPECT_TRUE(sound(database));
}

TEST(LoadInPlace, AProgramKeepingTheReplacedFileOpenIsRefusedItsNextWrite)
{
    TestProgram t;
    fillSurvey(t.survey(), QStringLiteral("nasza"));
    const QString file = makeDataFile(t.path(QStringLiteral("obcy.naj")),
                                      [](db::Connection& c) { fillSurvey(c, QStringLiteral("obca")); });
    const QString database = t.program.state.DatabasePath;
    OtherProgram other(
        database, [](db::Connection& c) { c.scalar(QStringLiteral("SELECT count(*) FROM dane_wykaz_patentow")); },
        [](db::Connection& c) {
            try {
                c.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (numer) VALUES ('P.spozniony')"));
                return 1;
            } catch (const Error&) {
                return 0;
            }
        });

    EXPECT_EQ(datafiles::LoadDataFile(t.program, file, quiet), datafiles::LoadOutcome::Loaded);
    EXPECT_EQ(other.letGoAndWait(), 0) << "the write went into a file nobody reads any more";
    EXPECT_FALSE(QFileInfo::exists(database + QStringLiteral("-journal")));
    EXPECT_EQ(rowCount(t.survey(), QStringLiteral("dane_wykaz_patentow")), 3);
    EXPECT_TRUE(sound(database));
}

// Run only as the child of the next test: loads the data file and dies at the step it is told.
TEST(LoadInPlaceChild, DISABLED_LoadUntilKilled)
{
    const QString folder = qEnvironmentVariable("VESTRUM_CHILD_PROGRAM_FOLDER");
    if (folder.isEmpty())
        GTEST_SKIP();
    ChildProgram child(folder);
    Program& program = child.program;
    const auto dieAt = static_cast<durable::Step>(qEnvironmentVariableIntValue("VESTRUM_CHILD_DIE_AT"));
    // The unpacked file is synced, then renamed over the working database.
    const QString database = QFileInfo(program.state.DatabasePath).absoluteFilePath();
    durable::SetWatcher([dieAt, database](const durable::Event& event) {
        const QString path = QFileInfo(event.path).absoluteFilePath();
        const bool unpacked = event.step == durable::Step::SyncFile && path.endsWith(QStringLiteral("/ankieta.mdb"));
        if (event.step == dieAt && (unpacked || path == database))
            ::raise(SIGKILL);
    });
    datafiles::LoadDataFile(program, qEnvironmentVariable("VESTRUM_CHILD_DATA_FILE"), quiet);
}

TEST(LoadInPlace, AProgramKilledOnTheWayLeavesTheOldOrTheNewWorkingDataWhole)
{
    for (const durable::Step dieAt : {durable::Step::SyncFile, durable::Step::Rename}) {
        const bool renamed = dieAt == durable::Step::Rename;
        SCOPED_TRACE(renamed ? "killed after the rename" : "killed before the rename");
        TestProgram t;
        fillSurvey(t.survey(), QStringLiteral("nasza"));
        const QString file = makeDataFile(t.path(QStringLiteral("obcy.naj")),
                                          [](db::Connection& c) { fillSurvey(c, QStringLiteral("obca")); });
        t.survey().close();

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VESTRUM_CHILD_PROGRAM_FOLDER"), t.program.state.ProgramFolder);
        env.insert(QStringLiteral("VESTRUM_CHILD_DATA_FILE"), file);
        env.insert(QStringLiteral("VESTRUM_CHILD_DIE_AT"), QString::number(static_cast<int>(dieAt)));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_also_run_disabled_tests"),
                     QStringLiteral("--gtest_filter=LoadInPlaceChild.DISABLED_LoadUntilKilled")});
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

        const QString database = t.program.state.DatabasePath;
        EXPECT_TRUE(sound(database));
        t.survey().open(database, schema::databasePassword());
        EXPECT_EQ(unitName(t.survey()), renamed ? QStringLiteral("obca") : QStringLiteral("nasza"));
        // The next load clears what the killed one left behind.
        datafiles::LoadDataFile(t.program, file, quiet);
        EXPECT_TRUE(QDir(t.program.state.ProgramFolder).entryList({QStringLiteral(".vestrum-tmp-*")},
                                                                  QDir::AllEntries | QDir::Hidden).isEmpty());
    }
}
