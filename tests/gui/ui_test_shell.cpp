#include "gui/main/about_window.h"
#include "gui/files/data_commands.h"
#include "gui/main/file_handoff.h"
#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "gui/common/progress_window.h"
#include "program/data_folder_lock.h"
#include "program/startup.h"
#include "support/legacy_data_file.h"
#include "support/temp_survey.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <utility>

#include <sys/stat.h>

using namespace vestrum;
using vestrum::testing::ScriptedMessages;

TEST(ProgressWindow, PositionNeverLeavesItsRange)
{
    ProgressWindow progress;
    progress.setMaximum(3);
    for (int i = 0; i < 10; ++i)
        progress.step();
    EXPECT_EQ(progress.position(), 3);
    progress.setPosition(-5);
    EXPECT_EQ(progress.position(), 0);
    progress.setPosition(2);
    progress.setMaximum(1); // a smaller range pulls the position in
    EXPECT_EQ(progress.position(), 1);
}

TEST(MainWindowShell, FirstStartTitlesVestrumAndFillsTheAboutBox)
{
    QTemporaryDir folder;
    ScriptedMessages messages;
    SystemClock clock;
    Program program(messages, clock);
    MainWindow window(program);
    ASSERT_TRUE(window.startUp({}, folder.path()));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vestrum"));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString(); // no file was ever named
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("dane/ankieta.mdb"))));
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("dane/lista_czasopism.mdb"))));
    EXPECT_EQ(window.about().versions().size(), 4);
    EXPECT_EQ(window.about().windowTitle(), QStringLiteral("O programie ..."));

    // "Nie" to the closing question keeps the window open.
    messages.answer(MessageAnswer::No);
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(program.survey.isOpen());
    window.closeWithoutQuestions();
}

TEST(MainWindowShell, DamagedDatabaseEndsTheStartWithAMessage)
{
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("dane"));
    QFile damaged(folder.filePath(QStringLiteral("dane/lista_czasopism.mdb")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(2048, '\x07'));
    damaged.close();

    ScriptedMessages messages;
    SystemClock clock;
    Program program(messages, clock);
    MainWindow window(program);
    EXPECT_FALSE(window.startUp({}, folder.path()));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.first().contains(QStringLiteral("lista_czasopism.mdb")));
    EXPECT_EQ(QFileInfo(damaged.fileName()).size(), 2048);
}

namespace {

// Waits, keeping this copy's events going, for a second copy's hand-over run on another thread. A second copy
// still waiting after that is let go (the program "ends"): it then gives up within its own time limit, so the
// test fails without waiting for ever.
HandOverResult answerOf(std::future<HandOverResult>& handOver, FileHandoffServer& handoff)
{
    const auto answered = [&] { return handOver.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    if (!QTest::qWaitFor(answered, 10000)) {
        ADD_FAILURE() << "the second copy got no answer";
        handoff.endWithProgram();
        EXPECT_TRUE(QTest::qWaitFor(answered, 10000)) << "the second copy did not give up";
    }
    return handOver.get();
}

std::future<HandOverResult> handOverOnItsOwn(const QString& path, const QString& socket, QLockFile* lock = nullptr)
{
    return std::async(std::launch::async, [=] { return HandFileToRunningCopy(path, socket, lock, 1000); });
}

} // namespace

// A file handed over while the user is in a dialog waits until the dialog has closed: a load must not pull the
// data from under an open entry dialog. The second copy is told "taken" only then. Anything but a data file's
// absolute path is refused.
TEST(FileHandoff, AFileWaitsForTheOpenDialogAndOnlyDataFilesAreTaken)
{
    QTemporaryDir runtime;
    const QString socket = startup::fileHandoffSocketPath(runtime.path());
    std::future<HandOverResult> waiting; // ends before the server that answers it
    FileHandoffServer handoff;
    ASSERT_TRUE(handoff.listen(socket));
    QStringList opened;
    QWidget window;
    handoff.openWith([&opened](const QString& path) { opened << path; }, &window);
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == &dialog; }, 5000));

    waiting = handOverOnItsOwn(QStringLiteral("/dane/Rok 2008.NAJ"), socket);
    auto refused = handOverOnItsOwn(QStringLiteral("/dane/notatki.txt"), socket);
    EXPECT_EQ(answerOf(refused, handoff), HandOverResult::Refused);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !handoff.pending().isEmpty(); }, 5000));
    QTest::qWait(700);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(waiting.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    dialog.close();
    EXPECT_EQ(answerOf(waiting, handoff), HandOverResult::Taken);
    EXPECT_EQ(opened, QStringList{QStringLiteral("/dane/Rok 2008.NAJ")});
}

// While the closing sequence asks its questions a file handed over waits, unanswered, for its outcome. The user
// stays: the file is loaded. The program ends: the second copy is told so and waits for the single-instance lock,
// telling its user when the program does not end in time, and starting in its place when it has.
TEST(FileHandoff, AFileHandedOverDuringTheClosingWaitsForItsOutcome)
{
    QTemporaryDir runtime;
    const QString socket = startup::fileHandoffSocketPath(runtime.path());
    const QString lockPath = QDir(runtime.path()).filePath(QStringLiteral("XQ_dziala"));
    QLockFile running(lockPath);
    ASSERT_TRUE(running.tryLock(0));
    QLockFile secondCopysLock(lockPath);
    std::future<HandOverResult> stayed;
    std::future<HandOverResult> ended;
    FileHandoffServer handoff;
    ASSERT_TRUE(handoff.listen(socket));
    QStringList opened;
    QWidget window;
    handoff.openWith([&opened](const QString& path) { opened << path; }, &window);

    handoff.holdForClosing();
    stayed = handOverOnItsOwn(QStringLiteral("/dane/Zostaje.naj"), socket, &secondCopysLock);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !handoff.pending().isEmpty(); }, 5000));
    QTest::qWait(100);
    EXPECT_TRUE(opened.isEmpty());
    handoff.resumeAfterCancelledClosing();
    EXPECT_EQ(answerOf(stayed, handoff), HandOverResult::Taken);
    EXPECT_EQ(opened, QStringList{QStringLiteral("/dane/Zostaje.naj")});

    handoff.holdForClosing();
    ended = handOverOnItsOwn(QStringLiteral("/dane/Po zamknięciu.naj"), socket, &secondCopysLock);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !handoff.pending().isEmpty(); }, 5000));
    handoff.endWithProgram();
    EXPECT_EQ(answerOf(ended, handoff), HandOverResult::NotTaken); // this copy still holds the lock
    EXPECT_EQ(opened.size(), 1);
    EXPECT_FALSE(secondCopysLock.isLocked());

    running.unlock();
    EXPECT_EQ(HandFileToRunningCopy(QStringLiteral("/dane/Po zamknięciu.naj"), socket, &secondCopysLock, 1000),
              HandOverResult::CopyEnded);
    EXPECT_TRUE(secondCopysLock.isLocked());
}

#ifdef VESTRUM_PROGRAM
TEST(SingleInstance, SecondCopyEndsSilentlyWithoutTouchingFiles)
{
    QTemporaryDir folder;
    const QString program = folder.filePath(QStringLiteral("vestrum"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VESTRUM_PROGRAM), program));
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);

    QLockFile running(startup::singleInstanceLockPath());
    if (!running.tryLock(0))
        GTEST_SKIP() << "another copy of the program is running on this machine";

    QProcess second;
    second.setWorkingDirectory(folder.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    second.start(program, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{QStringLiteral("vestrum")});
}

namespace {

// Whether process `pid` holds a flock on `path`, read from /proc/locks: looking there takes no lock that could
// keep the program out.
bool holdsFlock(qint64 pid, const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    const QByteArray inode = ':' + QByteArray::number(static_cast<qulonglong>(info.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 5 && fields[1] == "FLOCK" && fields[4].toLongLong() == pid && fields[5].endsWith(inode))
            return true;
    }
    return false;
}

} // namespace

// Another user (here: another home and runtime folder, so the single-instance lock is not shared) starts the
// program on the same data: the data folder's lock, taken by the program before it opens any database, keeps
// a second program out for as long as the first one runs, however it ends.
TEST(SingleInstance, TheDataFolderIsHeldFromTheStartToTheEndOfTheProgram)
{
    QTemporaryDir folder;
    QTemporaryDir otherUser;
    const QString program = folder.filePath(QStringLiteral("vestrum"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VESTRUM_PROGRAM), program));
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);

    QProcess first;
    first.setWorkingDirectory(folder.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), otherUser.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherUser.path());
    first.setProcessEnvironment(environment);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted());
    const QString lockFile = dataFolderLockPath(folder.filePath(QStringLiteral("dane")));
    // It then waits in its first message box, which nobody answers.
    ASSERT_TRUE(QTest::qWaitFor([&] { return holdsFlock(first.processId(), lockFile); }, 20000));

    ScriptedMessages messages;
    SystemClock clock;
    Program second(messages, clock);
    startup::setProgramFolder(second.state, folder.path());
    DataFolderLock lock;
    EXPECT_FALSE(startup::lockDataFolder(second, lock));
    EXPECT_EQ(messages.shown, QStringList { dataFolderInUseMessage() });

    first.kill();
    first.waitForFinished();
    EXPECT_TRUE(startup::lockDataFolder(second, lock));
    EXPECT_TRUE(QFileInfo::exists(lockFile));
}

namespace {

// Answers as scripted; when the question beginning with `whileAsked` is shown, `meanwhile` runs first: something
// happens while the user is still reading it.
class MessagesWithAMeanwhile final : public Messages {
public:
    ScriptedMessages scripted;
    QString whileAsked;
    std::function<void()> meanwhile;

    MessageResponse present(const MessageRequest& request) override
    {
        if (meanwhile && request.text.startsWith(whileAsked))
            std::exchange(meanwhile, {})();
        return scripted.present(request);
    }
};

// The running copy, played by this test process: its single-instance lock and socket in `runtime` (shared with
// the second copies it starts), its data in `folder`, its main window up and taking files.
struct RunningCopy {
    QTemporaryDir runtime;
    QTemporaryDir folder;
    QLockFile lock{QDir(runtime.path()).filePath(QStringLiteral("XQ_dziala"))};
    FileHandoffServer handoff;
    MessagesWithAMeanwhile messages;
    SystemClock clock;
    Program program{messages, clock};
    MainWindow window{program};
    ProgramWindows windows{program, window};

    bool start()
    {
        if (!lock.tryLock(0) || !handoff.listen(startup::fileHandoffSocketPath(runtime.path()))
            || !window.startUp({}, folder.path()))
            return false;
        handoff.openWith([this](const QString& path) { windows.dataCommands().loadDataFrom(path); }, &window);
        messages.scripted.shown.clear();
        return true;
    }

    QString dataFile(const QString& name, const QString& unitName)
    {
        return vestrum::testing::makeDataFile(folder.filePath(name), [&unitName](db::Connection& c) {
            c.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, ?)"), {unitName});
        });
    }

    // The real program started as a second copy on this copy's runtime folder, with a home of its own and the
    // data file's folder as its working folder.
    void startSecondCopy(QProcess& second, const QStringList& arguments, const QString& home)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("HOME"), home);
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(folder.path());
        second.start(programCopy_.isEmpty() ? QStringLiteral(VESTRUM_PROGRAM) : programCopy_, arguments);
    }

    // A program folder of its own for a second copy that may start in full (its data live beside it).
    bool copyProgramInto(const QString& programFolder)
    {
        programCopy_ = QDir(programFolder).filePath(QStringLiteral("vestrum"));
        return QFile::copy(QStringLiteral(VESTRUM_PROGRAM), programCopy_)
            && QFile::setPermissions(programCopy_, QFile::permissions(programCopy_) | QFile::ExeOwner);
    }

private:
    QString programCopy_;
};

bool finished(QProcess& process)
{
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000);
}

} // namespace

// A double click on a data file while the program runs starts a second copy, which hands the file over and ends
// with 0; the running copy asks about its unsaved work and loads the file as "Wczytaj dane" does. The second
// copy is the real program, sharing the runtime folder of this one (the running copy here).
TEST(SingleInstance, ASecondStartHandsItsDataFileToTheRunningCopy)
{
    RunningCopy running;
    ASSERT_TRUE(running.start());
    SetDataSaved(running.program.state, false);
    const QString file = running.dataFile(QStringLiteral("Z poczty.NAJ"), QStringLiteral("Przekazana"));

    QProcess second;
    running.startSecondCopy(second, {QStringLiteral("Z poczty.NAJ")}, running.runtime.path()); // relative to its folder
    ASSERT_TRUE(finished(second));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return running.program.state.CurrentDataFile == file; }, 10000));

    EXPECT_EQ(running.messages.scripted.shown.value(0),
              QStringLiteral("Uwaga!!!\nWczytanie nowego zbioru danych spowoduje całkowite "
                             "usunięcie wprowadzonych danych!\nCzy chcesz kontynuować?"));
    EXPECT_EQ(running.window.windowTitle(), QStringLiteral("Vestrum - ") + QDir::toNativeSeparators(file));
    EXPECT_EQ(running.program.survey.scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString(),
              QStringLiteral("Przekazana"));
    running.window.closeWithoutQuestions();
}

// A file double-clicked while the running copy asks its closing questions: the user stays ("Nie"), and the file
// is loaded after all; the copy keeps taking files after that.
TEST(SingleInstance, AFileHandedOverDuringACancelledCloseIsLoaded)
{
    RunningCopy running;
    ASSERT_TRUE(running.start());
    SetDataSaved(running.program.state, true);
    const QString during = running.dataFile(QStringLiteral("W trakcie.naj"), QStringLiteral("W trakcie"));
    const QString after = running.dataFile(QStringLiteral("Potem.naj"), QStringLiteral("Potem"));

    QProcess second;
    running.messages.whileAsked = QStringLiteral("Czy na pewno chcesz zakończyć pracę programu?");
    running.messages.meanwhile = [&] {
        running.startSecondCopy(second, {during}, running.runtime.path());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !running.handoff.pending().isEmpty(); }, 20000));
        EXPECT_EQ(running.program.state.CurrentDataFile, QString()); // nothing is loaded under the question
    };
    running.messages.scripted.answer(MessageAnswer::No);
    running.window.menuAction(QStringLiteral("Koniec"))->trigger();
    ASSERT_TRUE(running.window.isVisible());

    ASSERT_TRUE(finished(second));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(running.program.state.CurrentDataFile, during);
    EXPECT_EQ(running.program.survey.scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString(),
              QStringLiteral("W trakcie"));

    QProcess third;
    running.startSecondCopy(third, {after}, running.runtime.path());
    ASSERT_TRUE(finished(third));
    EXPECT_EQ(third.exitCode(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return running.program.state.CurrentDataFile == after; }, 10000));
    running.window.closeWithoutQuestions();
}

// A file double-clicked while the running copy asks its closing questions, and the user goes on to close: the
// second copy is not told "taken" for a file nobody opens. It waits for the running copy to end, then starts in
// its place (in a program folder of its own here) and opens the file as a start with a data file does.
TEST(SingleInstance, AFileHandedOverDuringTheCloseOpensInTheSecondCopyOnceTheFirstHasEnded)
{
    RunningCopy running;
    QTemporaryDir secondProgram;
    QTemporaryDir secondHome;
    ASSERT_TRUE(running.copyProgramInto(secondProgram.path()));
    ASSERT_TRUE(running.start());
    SetDataSaved(running.program.state, true);
    const QString file = running.dataFile(QStringLiteral("Na koniec.NAJ"), QStringLiteral("Otwarta po zamknięciu"));

    QProcess second;
    running.messages.whileAsked = QStringLiteral("Czy na pewno chcesz zakończyć pracę programu?");
    running.messages.meanwhile = [&] {
        running.startSecondCopy(second,
                                {QStringLiteral("--messages-on-stderr"), QStringLiteral("--quit-after-first-paint"), file},
                                secondHome.path());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !running.handoff.pending().isEmpty(); }, 20000));
    };
    running.messages.scripted.answer(MessageAnswer::Yes); // "Czy na pewno..."
    running.messages.scripted.answer(MessageAnswer::No);  // no backup copy
    running.window.menuAction(QStringLiteral("Koniec"))->trigger();
    ASSERT_FALSE(running.window.isVisible());
    EXPECT_NE(running.program.state.CurrentDataFile, file);

    // The running copy ends: the last thing it lets go is its single-instance lock.
    running.lock.unlock();
    ASSERT_TRUE(finished(second));
    const QString told = QString::fromUtf8(second.readAllStandardError());
    EXPECT_EQ(second.exitCode(), 0) << told.toStdString();
    EXPECT_FALSE(told.contains(QStringLiteral("Nie udało się przekazać pliku")));
    const QString secondsDatabase = QDir(secondProgram.path()).filePath(QStringLiteral("dane/ankieta.mdb"));
    ASSERT_TRUE(QFileInfo::exists(secondsDatabase)) << "the second copy never started";
    db::Connection secondsData;
    secondsData.open(secondsDatabase, schema::databasePassword());
    EXPECT_EQ(secondsData.scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString(),
              QStringLiteral("Otwarta po zamknięciu"));
}
#endif
