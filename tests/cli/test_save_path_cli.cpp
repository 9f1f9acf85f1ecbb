// Every command that writes a survey goes through the one save path: the same refusals for every writer, a
// second process kept out, a killed command's scratch cleared by the next one, only the survey unpacked.

#include "base/file_modes.h"
#include "cli/archive_cli.h"
#include "cli/list_cli.h"
#include "cli/report_cli.h"
#include "cli/survey_cli.h"
#include "datafile/save.h"
#include "datafile/survey_file.h"
#include "datafile/scratch_folders.h"
#include "lists/entry_checks.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/xml_exchange.h"
#include "program/data_folder_lock.h"
#include "support/flock_watch.h"
#include "support/legacy_data_file.h"
#include "support/staged_files.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTextStream>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <tuple>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

using Command = int (*)(const QStringList&, QTextStream&, QTextStream&);

CliRun run(Command command, const QStringList& args)
{
    CliRun r;
    QTextStream out(&r.out), err(&r.err);
    r.status = command(args, out, err);
    return r;
}

CliRun list(const QStringList& args) { return run(&runListCommand, args); }
CliRun survey(const QStringList& args) { return run(&runSurveyCommand, args); }
CliRun archiveCommand(const QStringList& args) { return run(&archive::runArchiveCommand, args); }

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

constexpr int kConferences = 21; // one column: the conference's name
constexpr int kAwards = 47;      // kind, name, giver

const QByteArray kAward = "krajowa\nMedal Złoty\nTowarzystwo Łódzkie\n";

// A folder of survey files: databases and data files made from them, each with the conferences given.
struct Files {
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

    QString database(const QString& name, const QStringList& conferences = {})
    {
        const QString target = path(name);
        schema::createSurveyDatabase(target);
        db::Connection c;
        c.open(target, schema::databasePassword());
        c.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Rok_sprawozdawczy) VALUES ('2008')"));
        std::vector<QStringList> rows;
        for (const QString& name : conferences)
            rows.push_back({name});
        lists::ListGrid grid(lists::ListKindInfoOf(kConferences).headers());
        grid.setRows(std::move(rows));
        lists::SaveList(c, kConferences, grid);
        return target;
    }
    QString dataFile(const QString& name, const QStringList& conferences = {})
    {
        const QString db = database(name + QStringLiteral(".mdb"), conferences);
        archiveDatabase(db, path(name));
        return path(name);
    }
    QString text(const QString& name, const QByteArray& bytes)
    {
        writeFile(path(name), bytes);
        return path(name);
    }
};

std::vector<QStringList> rowsIn(const QString& file, int kind)
{
    tempfiles::ScratchFolder scratch;
    db::Connection c;
    OpenSurveyFile(c, file, scratch);
    std::vector<QStringList> rows = lists::LoadList(c, kind).grid.rows();
    if (rows.size() == 1 && rows.front().join(QString()).isEmpty())
        rows.clear();
    return rows;
}

QStringList conferencesIn(const QString& file)
{
    QStringList names;
    for (const QStringList& row : rowsIn(file, kConferences))
        names << row.value(0);
    names.sort();
    return names;
}

// The message's first line: what the user reads first, before any detail.
QString firstLine(const QString& text)
{
    return text.section(u'\n', 0, 0);
}

// Waits for one byte from the other process.
void await(int fd)
{
    char byte = 0;
    ASSERT_EQ(::read(fd, &byte, 1), 1);
}

void signal(int fd)
{
    const char byte = 1;
    ASSERT_EQ(::write(fd, &byte, 1), 1);
}

// TMPDIR for this process while it lives, so that what the commands leave there can be seen.
struct TemporaryFolder {
    QTemporaryDir dir;
    QByteArray previous = qgetenv("TMPDIR");
    TemporaryFolder() { qputenv("TMPDIR", QFile::encodeName(dir.path())); }
    ~TemporaryFolder()
    {
        if (previous.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", previous);
    }
    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

} // namespace

TEST(SavePath, EveryWriterRefusesTheSameTargetsAndChangesNothing)
{
    Files f;
    const QString xml = f.text(QStringLiteral("wykaz.xml"), lists::listXml({{S("Zjazd")}}));
    const QString award = f.text(QStringLiteral("nagroda.txt"), kAward);
    const QString other = f.dataFile(QStringLiteral("inny.naj"), {S("Inny zjazd")});
    const QString member = f.database(QStringLiteral("ankieta.mdb"));

    const QString restorePoint = f.path(QStringLiteral("a_2008_03_05-09_07.nar"));
    QFile::copy(f.dataFile(QStringLiteral("punkt.naj")), restorePoint);
    const QString readOnlyFile = f.dataFile(QStringLiteral("tylko.naj"));
    const QString readOnlyDatabase = f.database(QStringLiteral("tylko.mdb"));
    for (const QString& path : {readOnlyFile, readOnlyDatabase})
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QString legacy = f.path(QStringLiteral("2005.naj"));
    writeLegacyDataFile(legacy);
    const QString damagedDatabase = f.database(QStringLiteral("uszkodzona.mdb"), {S("Zjazd A"), S("Zjazd B")});
    damageLastPage(damagedDatabase);
    const QString damaged = f.path(QStringLiteral("uszkodzony.naj"));
    archiveDatabase(damagedDatabase, damaged);

    struct Target {
        QString path;
        QString refusal; // the message's first line
        bool archiveUpdate; // archive update looks at the target alone, not at the survey in it
    };
    const std::vector<Target> targets = {
        {restorePoint, firstLine(datafiles::RestorePointTargetMessage()), true},
        {readOnlyFile, firstLine(readOnlyTargetMessage()), true},
        {readOnlyDatabase, firstLine(readOnlyTargetMessage()), false},
        {legacy, S("Zbiór %1 pochodzi z wcześniejszej wersji programu i nie może zostać zmieniony.").arg(legacy), false},
        {damaged, S("Zbiór %1 jest uszkodzony i nie może zostać zmieniony.").arg(damaged), false},
        {damagedDatabase, S("Zbiór %1 jest uszkodzony i nie może zostać zmieniony.").arg(damagedDatabase), false},
    };
    for (const Target& target : targets) {
        const QByteArray before = fileHash(target.path);
        std::vector<std::pair<const char*, CliRun>> runs = {
            {"list import", list({S("import"), target.path, QString::number(kConferences), xml, S("--save")})},
            {"list import-text", list({S("import-text"), target.path, QString::number(kAwards), award, S("--lines=3"),
                                       S("--map=1,2,3"), S("--save")})},
            {"survey merge", survey({S("merge"), target.path, other})},
        };
        if (target.archiveUpdate)
            runs.emplace_back("archive update", archiveCommand({S("update"), target.path, S("0"), member}));
        for (const auto& [writer, r] : runs) {
            const std::string what = std::string(writer) + " " + target.path.toStdString();
            EXPECT_EQ(r.status, 1) << what;
            EXPECT_EQ(firstLine(r.err), target.refusal) << what << "\n" << r.err.toStdString();
            EXPECT_EQ(fileHash(target.path), before) << what;
        }
    }
    // Damage is told in Polish with the engine's words on their own line.
    const CliRun r = list({S("import"), damaged, QString::number(kConferences), xml, S("--save")});
    EXPECT_TRUE(r.err.contains(S("\n\nSzczegóły: "))) << r.err.toStdString();
}

TEST(SavePath, ListsAreRefusedAsTheEditorRefusesThemWhicheverCommandWrites)
{
    Files f;
    const QString target = f.dataFile(QStringLiteral("jednostka.naj"), {S("Stary zjazd")});
    const QByteArray before = fileHash(target);
    const QString kind = QString::number(kConferences);

    // A text longer than its field, as the entry dialog would refuse it, named by header and row.
    tempfiles::ScratchFolder scratch;
    db::Connection c;
    OpenSurveyFile(c, target, scratch);
    const int width = lists::DeclaredWidths(c, kConferences).value(QStringLiteral("nazwa"));
    c.close();
    ASSERT_GT(width, 0);
    const QString header = lists::ListKindInfoOf(kConferences).headers().front();
    const QString xml = f.text(QStringLiteral("dlugi.xml"), lists::listXml({{S("Zjazd")}, {QString(width + 1, u'x')}}));
    CliRun r = list({S("import"), target, kind, xml, S("--save")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.endsWith(lists::TooLongLine(header, width) + S(" - wiersz 2\n"))) << r.err.toStdString();

    // A file that yields no record would only empty the list.
    for (const QByteArray& empty : {lists::listXml({}), lists::listXml({{S("  ")}})}) {
        writeFile(xml, empty);
        r = list({S("import"), target, kind, xml, S("--save")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.endsWith(datafiles::NoRecordsMessage() + u'\n')) << r.err.toStdString();
    }
    const QString emptyText = f.text(QStringLiteral("pusty.txt"), QByteArray());
    r = list({S("import-text"), target, QString::number(kAwards), emptyText, S("--lines=3"), S("--map=1,2,3"), S("--save")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.endsWith(datafiles::NoRecordsMessage() + u'\n')) << r.err.toStdString();
    EXPECT_EQ(fileHash(target), before);

    // The same text imported twice would double the list.
    const QString award = f.text(QStringLiteral("nagroda.txt"), kAward);
    const QStringList importAward
        = {S("import-text"), target, QString::number(kAwards), award, S("--lines=3"), S("--map=1,2,3"), S("--save")};
    ASSERT_EQ(list(importAward).status, 0);
    const QByteArray once = fileHash(target);
    r = list(importAward);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.endsWith(S("Ten wykaz zawiera co najmniej dwie pozycje o identycznej zawartości. Trzeba je usunąć "
                                 "przed zapisaniem.\nPierwsze identyczne pozycje: wiersze 1 i 2.\n")))
        << r.err.toStdString();
    EXPECT_EQ(fileHash(target), once);

    // A list that already holds duplicates refuses every save until they are gone.
    const QString doubled = f.database(QStringLiteral("podwojny.mdb"), {S("Zjazd"), S("Inny"), S("ZJAZD")});
    r = list({S("import-text"), doubled, kind, f.text(QStringLiteral("zjazd.txt"), "Nowy\n"), S("--lines=1"), S("--map=1"),
              S("--save")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(S("Pierwsze identyczne pozycje: wiersze 2 i 3."))) << r.err.toStdString();
    EXPECT_EQ(conferencesIn(doubled), (QStringList{S("Inny"), S("ZJAZD"), S("Zjazd")}));
}

TEST(SavePath, ASecondWriterOfADataFileWaitsForTheFirstAndNeitherLosesRows)
{
    Files f;
    const QString target = f.dataFile(QStringLiteral("jednostka.naj"), {S("Zjazd A")});
    const QString kind = QString::number(kConferences);
    // What the first writer will put in place: the file with one more conference.
    const QString replacement = f.dataFile(QStringLiteral("nowa.naj"), {S("Zjazd A"), S("Zjazd B")});
    const QString xml = f.text(QStringLiteral("wykaz.xml"), lists::listXml({{S("Zjazd A")}, {S("Zjazd C")}}));
    const QString text = f.text(QStringLiteral("zjazd.txt"), "Zjazd C\n");

    int locked[2];
    int release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t first = ::fork();
    if (first == 0) {
        // The first writer: holds the file from its read to its rename, as every writer does.
        {
            const datafiles::DataFileLock lock(target);
            char byte = 1;
            if (::write(locked[1], &byte, 1) != 1 || ::read(release[0], &byte, 1) != 1)
                ::_exit(2);
            ::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(target).constData());
        }
        ::_exit(0);
    }
    await(locked[0]);

    // While it holds the file, a second writer waits and is then refused, the file untouched.
    const QByteArray held = fileHash(target);
    datafiles::SetLockWait(300);
    const CliRun refused = list({S("import"), target, kind, xml, S("--save")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, datafiles::FileInUseMessage(target) + u'\n');
    EXPECT_EQ(fileHash(target), held);

    // A writer that waits long enough works on the file the first one left, not on the one it replaced.
    datafiles::SetLockWait(10000);
    signal(release[1]);
    const CliRun waited = list({S("import-text"), target, kind, text, S("--lines=1"), S("--map=1"), S("--save")});
    int status = 0;
    ::waitpid(first, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(waited.status, 0) << waited.err.toStdString();
    EXPECT_EQ(conferencesIn(target), (QStringList{S("Zjazd A"), S("Zjazd B"), S("Zjazd C")}));
    for (int fd : {locked[0], locked[1], release[0], release[1]})
        ::close(fd);
}

// Three writers: the second opened the file just before the first renamed its new file over it and asks for the
// lock just after the first let go, so it gets the lock of the file no longer under the name; the third arrives
// then and opens the new one. Each must still wait for the other, or one of them loses the other's rows.
TEST(SavePath, AWriterThatLockedTheReplacedFileTakesTheNewOneAndNoWriterLosesRows)
{
    Files f;
    // Enough rows that each writer holds the file for a while.
    QStringList names;
    for (int i = 0; i < 3000; ++i)
        names << S("Zjazd naukowy numer %1").arg(i);
    const QString target = f.dataFile(QStringLiteral("jednostka.naj"), names);
    const QString replacement = f.dataFile(QStringLiteral("nowa.naj"), names + QStringList{S("Zjazd B")});
    const QString kind = QString::number(kConferences);
    const QString second = f.text(QStringLiteral("drugi.txt"), "Zjazd C\n");
    const QString third = f.text(QStringLiteral("trzeci.txt"), "Zjazd D\n");
    struct stat replaced {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &replaced), 0);

    // Whatever ends the test, no writer is left waiting: the ones still running are ended with it.
    struct Writers {
        std::vector<pid_t> running;
        ~Writers()
        {
            for (const pid_t pid : running) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
        bool endedWell(pid_t pid)
        {
            int status = 0;
            ::waitpid(pid, &status, 0);
            std::erase(running, pid);
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
    } writers;
    int locked[2];
    int release[2];
    int asking[2];
    int go[2];
    for (int* ends : {locked, release, asking, go})
        ASSERT_EQ(::pipe(ends), 0);
    const auto closeAll = [&] {
        for (int* ends : {locked, release, asking, go}) {
            ::close(ends[0]);
            ::close(ends[1]);
        }
    };
    // One byte from another writer within 20 s.
    const auto heard = [](int fd) {
        pollfd wait{fd, POLLIN, 0};
        char byte = 0;
        return ::poll(&wait, 1, 20000) == 1 && ::read(fd, &byte, 1) == 1;
    };
    datafiles::SetLockWait(10000);

    // The first writer holds the file from its read to its rename, as every writer does.
    const pid_t firstWriter = ::fork();
    if (firstWriter == 0) {
        {
            const datafiles::DataFileLock lock(target);
            char byte = 1;
            if (::write(locked[1], &byte, 1) != 1 || ::read(release[0], &byte, 1) != 1)
                ::_exit(2);
            ::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(target).constData());
        }
        ::_exit(0);
    }
    writers.running.push_back(firstWriter);
    ASSERT_TRUE(heard(locked[0])) << "the first writer took no lock";

    // The second writer stops as it asks for the lock of the file it opened, until the first has renamed and let go.
    const pid_t secondWriter = ::fork();
    if (secondWriter == 0) {
        vestrum::testing::beforeFlock = [&](int descriptor, int operation) {
            static bool stopped = false;
            struct stat held {};
            if (stopped || !(operation & LOCK_EX) || ::fstat(descriptor, &held) != 0 || held.st_ino != replaced.st_ino
                || held.st_dev != replaced.st_dev)
                return;
            stopped = true;
            char byte = 1;
            if (::write(asking[1], &byte, 1) != 1 || ::read(go[0], &byte, 1) != 1)
                ::_exit(3);
        };
        ::_exit(list({S("import-text"), target, kind, second, S("--lines=1"), S("--map=1"), S("--save")}).status);
    }
    writers.running.push_back(secondWriter);
    ASSERT_TRUE(heard(asking[0])) << "the second writer never asked for the lock of the file it opened";
    signal(release[1]);
    ASSERT_TRUE(writers.endedWell(firstWriter));

    // The third arrives as the second goes on.
    const pid_t thirdWriter = ::fork();
    if (thirdWriter == 0)
        ::_exit(list({S("import-text"), target, kind, third, S("--lines=1"), S("--map=1"), S("--save")}).status);
    writers.running.push_back(thirdWriter);
    signal(go[1]);
    EXPECT_TRUE(writers.endedWell(secondWriter));
    EXPECT_TRUE(writers.endedWell(thirdWriter));
    closeAll();

    const QStringList kept = conferencesIn(target);
    EXPECT_EQ(kept.size(), names.size() + 3);
    for (const QString& row : {S("Zjazd B"), S("Zjazd C"), S("Zjazd D")})
        EXPECT_TRUE(kept.contains(row)) << row.toStdString();
}

TEST(SavePath, ASurveyDatabaseWrittenByAnotherProcessIsWaitedForThenRefused)
{
    Files f;
    const QString target = f.database(QStringLiteral("ankieta.mdb"), {S("Zjazd A")});
    const QString text = f.text(QStringLiteral("zjazd.txt"), "Zjazd C\n");
    int locked[2];
    int release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        db::Connection c;
        c.open(target, schema::databasePassword());
        c.execute(QStringLiteral("BEGIN IMMEDIATE"));
        char byte = 1;
        if (::write(locked[1], &byte, 1) != 1 || ::read(release[0], &byte, 1) != 1)
            ::_exit(2);
        ::_exit(0);
    }
    await(locked[0]);
    const int previous = db::BusyTimeout();
    db::SetBusyTimeout(300);
    const CliRun r = list({S("import-text"), target, QString::number(kConferences), text, S("--lines=1"), S("--map=1"),
                           S("--save")});
    db::SetBusyTimeout(previous);
    signal(release[1]);
    ::waitpid(other, nullptr, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(firstLine(r.err), datafiles::FileInUseMessage(target)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(S("\nSzczegóły: database is locked"))) << r.err.toStdString();
    EXPECT_EQ(conferencesIn(target), QStringList{S("Zjazd A")});
    for (int fd : {locked[0], locked[1], release[0], release[1]})
        ::close(fd);
}

TEST(SavePath, AKilledCommandLeavesScratchThatTheNextCommandClears)
{
    Files f;
    // Many rows, so that the unpacked survey is well past the file size the killed command may write.
    QStringList names;
    for (int i = 0; i < 4000; ++i)
        names << S("Zjazd naukowy numer %1 o długiej nazwie").arg(i);
    const QString target = f.dataFile(QStringLiteral("jednostka.naj"), names);
    const QString kind = QString::number(kConferences);
    TemporaryFolder tmp;

    const pid_t killed = ::fork();
    if (killed == 0) {
        // Past 64 KiB a write kills the process, as a kill in the middle of unpacking would.
        const rlimit size {64 * 1024, 64 * 1024};
        const rlimit noCore {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &size);
        list({S("show"), target, kind});
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(killed, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the command was not killed";
    const QStringList left = tmp.entries();
    ASSERT_EQ(left.size(), 1) << left.join(u' ').toStdString();
    EXPECT_TRUE(tempfiles::isTemporaryName(left.front())) << left.front().toStdString();

    // The next command, of any kind, clears what the killed one left, and leaves nothing itself.
    const CliRun r = list({S("show"), target, kind});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(tmp.entries(), QStringList());
}

TEST(SavePath, CommandsUnpackOnlyTheSurveyOfADataFile)
{
    Files f;
    const QString target = f.dataFile(QStringLiteral("jednostka.naj"), {S("Zjazd A")});
    // An extra member far larger than the survey.
    const QString extra = f.text(QStringLiteral("zalacznik.bin"), QByteArray(8 * 1024 * 1024, 'z'));
    {
        ZlbArchive archive;
        archive.OpenArchive(target);
        archive.AddFile(extra);
        ASSERT_TRUE(archive.LastFailure().isEmpty());
    }
    const qint64 surveySize = QFileInfo(f.path(QStringLiteral("jednostka.naj.mdb"))).size();
    TemporaryFolder tmp;
    const pid_t child = ::fork();
    if (child == 0) {
        // A write past the survey's own size kills the command.
        const rlimit size {static_cast<rlim_t>(surveySize + 65536), static_cast<rlim_t>(surveySize + 65536)};
        const rlimit noCore {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &size);
        const bool shown = list({S("show"), target, QString::number(kConferences)}).status == 0
            && survey({S("show"), target}).status == 0;
        ::_exit(shown ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a member beside the survey was written";
}

namespace {

const char* const kInUse
    = "Program pracuje już na tych danych (inny użytkownik lub inna sesja). Zamknij go i uruchom ponownie.\n";

// A program folder whose data a second process works on, as a running program does: it holds the data folder's
// lock from its start until it is killed.
struct RunningProgramData {
    QTemporaryDir folder;
    QString database() const { return folder.filePath(QStringLiteral("dane/ankieta.mdb")); }
    pid_t holder = -1;

    void startHolder()
    {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        holder = ::fork();
        if (holder == 0) {
            DataFolderLock lock;
            const char taken = lock.take(folder.filePath(QStringLiteral("dane"))) ? '1' : '0';
            (void)!::write(ready[1], &taken, 1);
            ::pause();
            ::_exit(0);
        }
        char taken = 0;
        ASSERT_EQ(::read(ready[0], &taken, 1), 1);
        ASSERT_EQ(taken, '1');
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~RunningProgramData()
    {
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        }
    }
};

// The real program started on the data folder of its own folder (a copy of the executable), with its messages
// on standard error; returns its exit code and what it said.
std::pair<int, QString> startProgramIn(const QString& programFolder)
{
    const QString program = QDir(programFolder).filePath(QStringLiteral("vestrum"));
    if (!QFile::copy(QStringLiteral(VESTRUM_PROGRAM), program)
        || !QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner))
        return {-1, QStringLiteral("the program could not be copied")};
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, {S("--messages-on-stderr"), S("--quit-after-first-paint")});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QString()};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(SavePath, NoWriterChangesTheWorkingDataOfARunningProgramHoweverThePathIsSpelt)
{
    RunningProgramData data;
    QDir().mkpath(data.folder.filePath(QStringLiteral("dane")));
    schema::createSurveyDatabase(data.database());
    data.startHolder();
    Files f;
    const QString xml = f.text(QStringLiteral("wykaz.xml"), lists::listXml({{S("Zjazd")}}));
    const QString award = f.text(QStringLiteral("nagroda.txt"), kAward);
    const QString other = f.dataFile(QStringLiteral("inny.naj"), {S("Inny zjazd")});
    const QString link = f.path(QStringLiteral("ankieta.mdb"));
    ASSERT_TRUE(QFile::link(data.database(), link));
    const QByteArray before = fileHash(data.database());

    for (const QString& spelling :
         {data.database(), data.folder.filePath(QStringLiteral("dane/../dane/ankieta.mdb")), link}) {
        const std::vector<std::pair<const char*, CliRun>> runs = {
            {"list import", list({S("import"), spelling, QString::number(kConferences), xml, S("--save")})},
            {"list import-text", list({S("import-text"), spelling, QString::number(kAwards), award, S("--lines=3"),
                                       S("--map=1,2,3"), S("--save")})},
            {"list identify", list({S("identify"), spelling, S("4"), S("--save")})},
            {"survey merge", survey({S("merge"), spelling, other})},
        };
        for (const auto& [writer, r] : runs) {
            EXPECT_EQ(r.status, 1) << writer << " " << spelling.toStdString();
            EXPECT_EQ(r.err, S(kInUse)) << writer << " " << spelling.toStdString();
        }
    }
    EXPECT_EQ(fileHash(data.database()), before);
}

// A writer holds the folder for as long as it works: the real program, started meanwhile, is refused, while a
// reader still reads; once the writer is done the folder is free again.
TEST(SavePath, AProgramStartedWhileAWriterWorksOnItsDataIsRefused)
{
    RunningProgramData data;
    QDir().mkpath(data.folder.filePath(QStringLiteral("dane")));
    schema::createSurveyDatabase(data.database());
    int opened[2];
    int release[2];
    ASSERT_EQ(::pipe(opened), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        int status = 1;
        {
            datafiles::SurveyFileWrite write(data.folder.filePath(QStringLiteral("dane/../dane/ankieta.mdb")));
            char byte = 1;
            if (::write(opened[1], &byte, 1) == 1 && ::read(release[0], &byte, 1) == 1) {
                write.commit();
                status = 0;
            }
        }
        ::_exit(status);
    }
    await(opened[0]);

    const auto [exitCode, told] = startProgramIn(data.folder.path());
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(told.contains(S(kInUse))) << told.toStdString();
    EXPECT_EQ(list({S("show"), data.database(), QString::number(kConferences)}).status, 0)
        << "readers share the folder with a writer";

    signal(release[1]);
    int status = -1;
    ::waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    DataFolderLock lock;
    EXPECT_TRUE(lock.take(data.folder.filePath(QStringLiteral("dane"))));
    for (int fd : {opened[0], opened[1], release[0], release[1]})
        ::close(fd);
}

// A survey whose bytes no longer match their CRC still unpacks and opens; every command refuses it with the
// message of the archive's own check, and no writer puts its damage back under a fresh CRC.
TEST(SavePath, NoCommandTakesASurveyFailingItsCrc)
{
    Files f;
    const QString bad = f.path(QStringLiteral("uszkodzony.naj"));
    archiveWithDamagedMember(f.database(QStringLiteral("zla.mdb"), {S("Zjazd Zdrowy")}), bad, "Zjazd Zdrowy",
                             "Zjazd Chory!");
    const QString good = f.dataFile(QStringLiteral("dobry.naj"), {S("Zjazd A")});
    const QString xml = f.text(QStringLiteral("wykaz.xml"), lists::listXml({{S("Zjazd B")}}));
    const QString award = f.text(QStringLiteral("nagroda.txt"), kAward);
    const QString pdf = f.path(QStringLiteral("raport.pdf"));
    const QByteArray badBefore = fileHash(bad);
    const QByteArray goodBefore = fileHash(good);

    const QString kind = QString::number(kConferences);
    const std::vector<std::pair<const char*, CliRun>> runs = {
        {"list import-text", list({S("import-text"), bad, QString::number(kAwards), award, S("--lines=3"),
                                   S("--map=1,2,3"), S("--save")})},
        {"list import", list({S("import"), bad, kind, xml, S("--save")})},
        {"list identify", list({S("identify"), bad, S("4"), S("--save")})},
        {"survey merge into", survey({S("merge"), bad, good})},
        {"survey merge from", survey({S("merge"), good, bad})},
        {"survey show", survey({S("show"), bad})},
        {"survey check", survey({S("check"), bad})},
        {"list show", list({S("show"), bad, kind})},
        {"list export", list({S("export"), bad, kind, f.path(QStringLiteral("wynik.xml"))})},
        {"report", run(&runReportCommand, {bad, S("-o"), pdf})},
    };
    for (const auto& [command, r] : runs) {
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, S("Plik (0) jest uszkodzony\n")) << command;
    }
    EXPECT_EQ(fileHash(bad), badBefore);
    EXPECT_EQ(fileHash(good), goodBefore);
    EXPECT_FALSE(QFileInfo::exists(pdf));

    // The damage stays in sight: the archive's check finds it, and without the CRC the survey would have passed.
    EXPECT_EQ(archiveCommand({S("check"), bad}).err, S("Plik (0) jest uszkodzony\n"));
    const QString out = f.path(QStringLiteral("wypakowane"));
    ASSERT_EQ(archiveCommand({S("extract"), bad, out}).status, 0);
    QFile unpacked(QDir(out).filePath(QStringLiteral("ankieta.mdb")));
    ASSERT_TRUE(unpacked.open(QIODevice::ReadOnly));
    EXPECT_TRUE(unpacked.readAll().contains("Zjazd Chory!"));
}

namespace {

// A process that made a staged file in `folder` and died before it was done with it.
void leaveStagedFileOfADeadProcess(const QString& folder)
{
    const pid_t child = ::fork();
    if (child == 0) {
        tempfiles::createFile(folder);
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
}

} // namespace

// A headless save killed while it stages its new file leaves that file behind; the next writer into the folder,
// whichever it is, clears it before it writes.
TEST(SavePath, EveryWriterClearsTheStagedFilesOfKilledSaves)
{
    Files f;
    QStringList names;
    for (int i = 0; i < 20000; ++i)
        names << S("Zjazd naukowy %1 %2").arg(i).arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    const QString target = f.dataFile(QStringLiteral("jednostka.naj"), names);
    const QString original = f.path(QStringLiteral("jednostka.kopia"));
    ASSERT_TRUE(QFile::copy(target, original));
    const QString text = f.text(QStringLiteral("zjazd.txt"), "Zjazd nowy\n");
    const QStringList save
        = {S("import-text"), target, QString::number(kConferences), text, S("--lines=1"), S("--map=1"), S("--save")};
    for (int attempt = 0; attempt < 10 && stagedIn(f.dir.path()).isEmpty(); ++attempt) {
        QFile::remove(target);
        ASSERT_TRUE(QFile::copy(original, target));
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(list(save).status);
        killWhenStaged(child, f.dir.path(), 1);
        // Killed before or after its rename, the file is the old one or the new one, whole.
        EXPECT_EQ(rowsIn(target, kConferences).size(), conferencesIn(target).contains(S("Zjazd nowy")) ? 20001u : 20000u);
    }
    ASSERT_FALSE(stagedIn(f.dir.path()).isEmpty()) << "no save was killed while it staged its file";
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(original, target));

    const QString other = f.dataFile(QStringLiteral("inny.naj"), {S("Inny zjazd")});
    const QString database = f.database(QStringLiteral("druga.mdb"));
    const QString xml = f.text(QStringLiteral("wykaz.xml"), lists::listXml({{S("Zjazd")}}));
    const QString member = f.text(QStringLiteral("dodatek.txt"), "dodatek");
    using Writer = CliRun (*)(const QStringList&);
    const std::vector<std::tuple<const char*, Writer, QStringList>> writers = {
        {"list import-text", &list, save},
        {"list import", &list, {S("import"), database, QString::number(kConferences), xml, S("--save")}},
        {"survey merge", &survey, {S("merge"), database, other}},
        {"archive add", &archiveCommand, {S("add"), f.path(QStringLiteral("nowe.naj")), member}},
        {"archive update", &archiveCommand, {S("update"), f.path(QStringLiteral("nowe.naj")), S("0"), member}},
    };
    for (const auto& [name, writer, args] : writers) {
        if (stagedIn(f.dir.path()).isEmpty())
            leaveStagedFileOfADeadProcess(f.dir.path());
        const CliRun r = writer(args);
        EXPECT_EQ(r.status, 0) << name << "\n" << r.err.toStdString();
        EXPECT_EQ(stagedIn(f.dir.path()), QStringList()) << name;
    }
}
