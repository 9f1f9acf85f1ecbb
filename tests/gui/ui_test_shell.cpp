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

#include <future>

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
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_TRUE(messages.shown.first().startsWith(QStringLiteral("Uwaga! Ostatnio zapisany plik jest niedostępny.")));
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

// A file handed over while the user is in a dialog waits until the dialog has closed: a load must not pull the
// data from under an open entry dialog. Anything but a data file's absolute path is refused.
TEST(FileHandoff, AFileWaitsForTheOpenDialogAndOnlyDataFilesAreTaken)
{
    QTemporaryDir runtime;
    const QString socket = startup::fileHandoffSocketPath(runtime.path());
    FileHandoffServer handoff;
    ASSERT_TRUE(handoff.listen(socket));
    QStringList opened;
    QWidget window;
    handoff.openWith([&opened](const QString& path) { opened << path; }, &window);
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == &dialog; }, 5000));

    const auto handOver = [&](const QString& path) {
        auto answer = std::async(std::launch::async, [&socket, path] { return HandFileToRunningCopy(path, socket, 5000); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
        return answer.get();
    };
    EXPECT_TRUE(handOver(QStringLiteral("/dane/Rok 2008.NAJ")));
    EXPECT_FALSE(handOver(QStringLiteral("/dane/notatki.txt")));
    QTest::qWait(700);
    EXPECT_TRUE(opened.isEmpty());
    dialog.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 5000));
    EXPECT_EQ(opened, QStringList{QStringLiteral("/dane/Rok 2008.NAJ")});
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

// A double click on a data file while the program runs starts a second copy, which hands the file over and ends
// with 0; the running copy asks about its unsaved work and loads the file as "Wczytaj dane" does. The second
// copy is the real program, sharing the runtime folder of this one (the running copy here).
TEST(SingleInstance, ASecondStartHandsItsDataFileToTheRunningCopy)
{
    QTemporaryDir runtime;
    QTemporaryDir folder;
    QLockFile running(QDir(runtime.path()).filePath(QStringLiteral("XQ_dziala")));
    ASSERT_TRUE(running.tryLock(0));
    FileHandoffServer handoff;
    ASSERT_TRUE(handoff.listen(startup::fileHandoffSocketPath(runtime.path())));

    ScriptedMessages messages;
    SystemClock clock;
    Program program(messages, clock);
    MainWindow window(program);
    ProgramWindows windows(program, window);
    ASSERT_TRUE(window.startUp({}, folder.path()));
    handoff.openWith([&windows](const QString& path) { windows.dataCommands().loadDataFrom(path); }, &window);
    SetDataSaved(program.state, false);
    messages.shown.clear();

    const QString file = vestrum::testing::makeDataFile(folder.filePath(QStringLiteral("Z poczty.NAJ")), [](db::Connection& c) {
        c.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, ?)"), {QStringLiteral("Przekazana")});
    });
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(folder.path());
    second.start(QStringLiteral(VESTRUM_PROGRAM), {QStringLiteral("Z poczty.NAJ")}); // relative to its folder
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return program.state.CurrentDataFile == file; }, 10000));

    EXPECT_EQ(messages.shown.value(0), QStringLiteral("Uwaga!!!\nWczytanie nowego zbioru danych spowoduje całkowite "
                                                      "usunięcie wprowadzonych danych!\nCzy chcesz kontynuować?"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vestrum - ") + QDir::toNativeSeparators(file));
    EXPECT_EQ(program.survey.scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString(),
              QStringLiteral("Przekazana"));
    window.closeWithoutQuestions();
}
#endif
