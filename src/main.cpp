// Vestrum: the program's entry. One copy per user runs at a time; a second one ends at once, silently, or hands
// the data file it was started with to the running copy (or, when that copy is ending, starts in its place).
// One copy per data folder runs at a time; a second one, of another user or session, is told so and ends.
#include "base/error.h"
#include "program/program.h"
#include "gui/main/program_windows.h"
#include "program/data_folder_lock.h"
#include "program/data_home.h"
#include "program/settings.h"
#include "program/startup.h"
#include "gui/main/file_handoff.h"
#include "gui/main/main_window.h"
#include "gui/files/data_commands.h"
#include "gui/update/update_commands.h"
#include "update/updater.h"
#include "update/update_server.h"
#include "gui/common/message_box.h"
#include "base/core_resources.h"

#include <QApplication>
#include <QEvent>
#include <QLockFile>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace {

// Settings are read at start and written at close; a settings file that cannot be written is
// reported, the program still closes.
void plugSettings(vestrum::Program& program, vestrum::ShellSteps& steps)
{
    steps.readSettings = [&program] { vestrum::ReadSettings(program.state); };
    steps.writeSettings = [&program] {
        try {
            vestrum::WriteSettings(program.state);
        } catch (const vestrum::Error& error) {
            program.notify(error.message(), 0, vestrum::MessageKind::Error);
        }
    };
}

// With this switch the program says "first paint" on its standard output as soon as its main window has
// been painted once, and closes, writing its settings as a normal close does: the start-up benchmark measures
// a start the way a user meets it, from the process starting to the first picture.
constexpr char kQuitAfterFirstPaint[] = "--quit-after-first-paint";

class QuitAfterFirstPaint : public QObject {
public:
    QuitAfterFirstPaint(vestrum::MainWindow& window, QObject* parent) : QObject(parent), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::Paint && !quitting_) {
            quitting_ = true;
            std::fputs("first paint\n", stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, &window_, [this] {
                if (window_.steps().writeSettings)
                    window_.steps().writeSettings();
                window_.closeWithoutQuestions();
                QApplication::quit();
            });
        }
        return false;
    }

private:
    vestrum::MainWindow& window_;
    bool quitting_ = false;
};

// With this switch no message is shown in a window: its text goes to standard error and it is answered as a box
// closed from the keyboard ("not yes"). Only the tests use it, to start the real program where nobody can click
// (the installed package's first start above all).
constexpr char kMessagesOnStandardError[] = "--messages-on-stderr";

class MessagesOnStandardError final : public vestrum::Messages {
public:
    vestrum::MessageResponse present(const vestrum::MessageRequest& request) override
    {
        std::fputs((request.text + u'\n').toUtf8().constData(), stderr);
        std::fflush(stderr);
        return {};
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    const bool quitAfterFirstPaint = arguments.removeAll(QString::fromLatin1(kQuitAfterFirstPaint)) > 0;
    const bool messagesOnStandardError = arguments.removeAll(QString::fromLatin1(kMessagesOnStandardError)) > 0;

    vestrum::MessageBox messageBox;
    MessagesOnStandardError messagesOnStderr;
    vestrum::Messages& messages =
        messagesOnStandardError ? static_cast<vestrum::Messages&>(messagesOnStderr) : messageBox;

    QLockFile guard(vestrum::startup::singleInstanceLockPath());
    if (!guard.tryLock(0)) {
        // A running copy that is ending lets this one start in its place with the data file.
        if (const std::optional<int> exitCode = vestrum::HandOverToRunningCopy(arguments, guard, messages))
            return *exitCode;
    }
    // Listening from the start: a file handed over while this copy starts waits until its window is up.
    vestrum::FileHandoffServer fileHandoff;
    fileHandoff.listen();

    vestrum::initCoreResources();
    vestrum::SystemClock clock;
    vestrum::Program program(messages, clock);
    messageBox.useFont(program.state.UserFont);
    vestrum::startup::setProgramFolder(program.state, QApplication::applicationDirPath());
    // Another user or session on the same data: this copy ends before it touches any file of the folder.
    vestrum::DataFolderLock dataFolder;
    if (!vestrum::startup::lockDataFolder(program, dataFolder))
        return 1;
    vestrum::KeepUserDataPrivate(program.state);
    vestrum::AdoptProgramFolderData(program);
    vestrum::update::RestoreUnfinishedUpdates(program);
    vestrum::startup::JournalListPreparation journalList(program.state.journalListPath());
    vestrum::MainWindow mainWindow(program);
    vestrum::ProgramWindows windows(program, mainWindow);
    plugSettings(program, mainWindow.steps());
    if (quitAfterFirstPaint)
        mainWindow.installEventFilter(new QuitAfterFirstPaint(mainWindow, &mainWindow));
    vestrum::update::NetworkFetcher fetcher;
    vestrum::UpdateCommands update(program, mainWindow, fetcher);
    update.install(arguments, vestrum::update::UpdateServer());
    journalList.wait();
    if (!mainWindow.startUp(arguments, QApplication::applicationDirPath()))
        return 1;
    fileHandoff.openWith([&windows](const QString& path) { windows.dataCommands().loadDataFrom(path); }, &mainWindow);
    return QApplication::exec();
}
