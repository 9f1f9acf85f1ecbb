// Vestrum: the program's entry. One copy runs at a time; a second one ends at once, silently.
#include "base/error.h"
#include "program/program.h"
#include "gui/main/program_windows.h"
#include "program/settings.h"
#include "program/startup.h"
#include "gui/main/main_window.h"
#include "gui/update/update_commands.h"
#include "update/update_server.h"
#include "gui/common/message_box.h"
#include "base/core_resources.h"

#include <QApplication>
#include <QLockFile>

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

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);

    QLockFile guard(vestrum::startup::singleInstanceLockPath());
    if (!guard.tryLock(0))
        return 0;

    vestrum::initCoreResources();
    vestrum::SystemClock clock;
    vestrum::MessageBox messageBox;
    vestrum::Program program(messageBox, clock);
    messageBox.useFont(program.state.UserFont);
    vestrum::MainWindow mainWindow(program);
    vestrum::ProgramWindows windows(program, mainWindow);
    plugSettings(program, mainWindow.steps());
    vestrum::update::NetworkFetcher fetcher;
    vestrum::UpdateCommands update(program, mainWindow, fetcher);
    update.install(QApplication::arguments().mid(1), vestrum::update::UpdateServer());
    if (!mainWindow.startUp(QApplication::arguments().mid(1), QApplication::applicationDirPath()))
        return 1;
    return QApplication::exec();
}
