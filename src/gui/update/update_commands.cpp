#include "gui/update/update_commands.h"

#include "gui/common/file_picker.h"
#include "gui/common/progress_window.h"
#include "gui/main/about_window.h"
#include "gui/main/main_window.h"
#include "gui/update/proxy_window.h"
#include "program/program.h"
#include "program/startup.h"
#include "update/update_server.h"

#include <QDesktopServices>
#include <QFont>
#include <QTimer>

namespace vestrum {

// The windows' side of the installation: the progress window, the browser, and closing the program.
class UpdateCommands::Host final : public update::ProcessHost, public datafiles::Progress {
public:
    Host(Program& program, MainWindow& mainWindow)
        : program_(program)
        , main_(mainWindow)
    {
    }

    void openWebPage(const QUrl& page) override { QDesktopServices::openUrl(page); }
    // The window closes through its own closing sequence once the current command has ended.
    void requestClose() override
    {
        if (main_.isVisible())
            QTimer::singleShot(0, &main_, [this] { main_.close(); });
    }
    datafiles::Progress& progress() override { return *this; }

    void start(const QString& caption, const QString& label, int maximum) override
    {
        const UserFontSpec& font = program_.state.UserFont;
        main_.progress().start(caption, label, maximum, QFont(font.name, font.size));
    }
    void step(const QString& label) override
    {
        main_.progress().step();
        main_.progress().setLabel(label);
    }
    void finish() override { main_.progress().finish(); }

private:
    Program& program_;
    MainWindow& main_;
};

UpdateCommands::UpdateCommands(
    Program& program, MainWindow& mainWindow, update::Fetcher& fetcher, update::PublicKeys keys)
    : program_(program)
    , main_(mainWindow)
    , host_(std::make_unique<Host>(program, mainWindow))
    , updater_(std::make_unique<update::Updater>(program, fetcher, *host_, std::move(keys)))
    , proxy_(new ProxyWindow(&mainWindow))
    , picker_(new FilePicker(program, &mainWindow))
{
}

UpdateCommands::~UpdateCommands() = default;

void UpdateCommands::install(const QStringList& arguments, const QString& server)
{
    updater_->setArguments(arguments);
    ShellSteps& steps = main_.steps();
    steps.updateVersionRows = [this] { return updater_->versionRows(); };
    main_.setMenuCommand(QStringLiteral("Ustawienia serwera proxy"), [this] { proxy_->exec(); });
    QStringList notes{update::ProgramUpdateNote(program_.state)};
    // Nothing unsigned is ever installed, and this build could check no signature: no update at all.
    if (!updater_->offersUpdates())
        notes.prepend(update::NoUpdateKeyNotice());
    notes.removeAll(QString());
    main_.about().setUpdateNote(notes.join(u'\n'));
    if (!updater_->offersUpdates())
        return;
    steps.updateCheck = [this, server] { return updater_->RunAtStart(server); };
    main_.setMenuCommand(
        QString::fromUtf8("Aktualizacja programu bez dostępu do internetu"), [this] { offlineUpdate(); });
}

void UpdateCommands::offlineUpdate()
{
    picker_->configure(QString::fromUtf8("Wskaż zbiór zawierający aktualizacje"), QStringLiteral("*.dat"),
        QStringLiteral("wybierz"), false);
    if (!picker_->choose())
        return;
    const QString file = picker_->selectedFile();
    if (!file.isEmpty())
        offlineUpdate(file);
}

void UpdateCommands::offlineUpdate(const QString& packageFile)
{
    if (updater_->OfflineUpdate(packageFile))
        return; // handed to the external updater: the program is closing
    afterInstall();
}

void UpdateCommands::afterInstall()
{
    ShellSteps& steps = main_.steps();
    if (updater_->surveyDatabaseReplaced() && steps.loadAllSections)
        steps.loadAllSections();
    if (updater_->journalListReplaced() && steps.openJournalView)
        steps.openJournalView();
    main_.about().setVersions(startup::versionTable(program_, updater_->versionRows()));
}

} // namespace vestrum
