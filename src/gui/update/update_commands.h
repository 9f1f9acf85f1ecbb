#pragma once

#include "update/fetcher.h"
#include "update/updater.h"

#include <QStringList>
#include <memory>

namespace vestrum {

class MainWindow;
class Program;
class ProxyWindow;
class FilePicker;

// Program update in the program: the check at start, the offline update of the "Pomoc" menu, the hidden
// proxy settings, and the about box's table of versions. Long work shows the progress window; the fetch
// waits in a local event loop, so the windows stay painted. A build without an update key offers neither
// update and says so in the about box.
class UpdateCommands {
public:
    // `keys`: what update files must be signed with; the program's own built-in keys unless a test gives others.
    UpdateCommands(Program& program, MainWindow& mainWindow, update::Fetcher& fetcher,
        update::PublicKeys keys = update::BuiltInPublicKeys());
    ~UpdateCommands();
    UpdateCommands(const UpdateCommands&) = delete;
    UpdateCommands& operator=(const UpdateCommands&) = delete;

    // Plugs the start-up step and the menu entries into the main window.
    void install(const QStringList& arguments, const QString& server);

    // "Aktualizacja programu bez dostępu do internetu" with a chosen package.
    void offlineUpdate(const QString& packageFile);
    void offlineUpdate(); // asks for the package first

    update::Updater& updater() { return *updater_; }
    ProxyWindow& proxyWindow() { return *proxy_; }
    FilePicker& filePicker() { return *picker_; }

private:
    class Host;
    void afterInstall();

    Program& program_;
    MainWindow& main_;
    std::unique_ptr<Host> host_;
    std::unique_ptr<update::Updater> updater_;
    ProxyWindow* proxy_;
    FilePicker* picker_;
};

} // namespace vestrum
