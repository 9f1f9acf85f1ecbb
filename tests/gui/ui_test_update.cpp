#include "gui/main/about_window.h"
#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "gui/update/proxy_window.h"
#include "gui/update/update_commands.h"
#include "program/data_home.h"
#include "support/legacy_data_file.h"
#include "update/update_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>

using namespace vestrum;
namespace vt = vestrum::testing;

TEST(ProxyWindowTest, FieldsFollowTheirCheckBoxes)
{
    ProxyWindow window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Ustawienia serwera proxy"));
    const auto background = [](QLineEdit* field) { return field->palette().color(QPalette::Disabled, QPalette::Base); };
    EXPECT_FALSE(window.addressField()->isEnabled());
    EXPECT_EQ(background(window.addressField()), QColor(244, 244, 234));

    window.authentication()->setChecked(true);
    EXPECT_FALSE(window.userField()->isEnabled()); // both boxes are needed for the login
    window.useProxy()->setChecked(true);
    EXPECT_TRUE(window.addressField()->isEnabled());
    EXPECT_TRUE(window.portField()->isEnabled());
    EXPECT_TRUE(window.userField()->isEnabled());
    EXPECT_EQ(window.passwordField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window.userField()->palette().color(QPalette::Base), QColor(Qt::white));
    window.authentication()->setChecked(false);
    EXPECT_FALSE(window.passwordField()->isEnabled());
}

namespace {

struct UpdateWindows : vt::UpdateFixture {
    MainWindow window { program };
    UpdateCommands commands { program, window, fetcher, { key.publicKey() } };
};

} // namespace

// No server to reach: one message, and the start goes on with the installed components.
TEST_F(UpdateWindows, StartWithoutConnectionGoesOnAfterOneMessage)
{
    program.survey.close();
    commands.install({}, QStringLiteral("http://127.0.0.1:1"));
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(window.startUp({}, root.path()));
    EXPECT_LT(timer.elapsed(), 5000);
    ASSERT_GE(messages.requests.size(), 1);
    EXPECT_EQ(messages.requests.first().number, 20);
    EXPECT_EQ(window.about().versions().size(), 4);
    EXPECT_TRUE(window.menuAction(QStringLiteral("Aktualizacja programu bez dostępu do internetu"))->isEnabled());
    QAction* proxy = window.menuAction(QStringLiteral("Ustawienia serwera proxy"));
    EXPECT_FALSE(proxy->isVisible());
    proxy->setVisible(true); // a hidden entry is also disabled; shown, it carries its command
    EXPECT_TRUE(proxy->isEnabled());
    window.closeWithoutQuestions();
}

// An update list of more than three entries fills the about box, last entry first.
TEST_F(UpdateWindows, OfflineUpdateFillsTheAboutBoxFromTheUpdateList)
{
    commands.install({}, QStringLiteral("http://127.0.0.1:1"));
    const QString package = offlinePackage(QStringLiteral("program:2.2.1.2;t:0;p:program.zlb;s:;f:;\n"
                                                          "dane:2.2.1.0;t:3;p:dane.zlb;s:;f:;\n"
                                                          "Lista_czasopism:0.0.0.0;t:2;p:l.zlb;s:;f:;\n"
                                                          "Pomoc_programu:1.0.1.0;t:1;p:pomoc.zlb;s:;f:pomoc;\n"),
        { { QStringLiteral("pomoc.zlb"), vt::archiveOf({ { QStringLiteral("instrukcja.html"), "<p>nowa</p>" } }) } });
    commands.offlineUpdate(package);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(u'|').toStdString();
    const auto rows = window.about().versions();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], qMakePair(QStringLiteral("Pomoc programu"), QStringLiteral("1.0.1.0")));
    EXPECT_EQ(rows[3], qMakePair(QStringLiteral("program"), QStringLiteral("2.2.1.2")));
    EXPECT_TRUE(QFileInfo::exists(folder() + QStringLiteral("pomoc/instrukcja.html")));
}

namespace {
struct KeylessBuild : vt::UpdateFixture { };
} // namespace

// A build without an update key asks no server, offers no offline update and says why in the about box.
TEST_F(KeylessBuild, NoUpdateIsOfferedAndTheAboutBoxSaysSo)
{
    serveVersionFile(QStringLiteral("dane:2.2.2.0;typ:3;pakiet:dane.zlb;strona:;folder:dane;\r\n"));
    program.survey.close();
    MainWindow window { program };
    UpdateCommands keyless { program, window, fetcher, {} };
    keyless.install({}, server.address());
    ASSERT_TRUE(window.startUp({}, root.path()));
    EXPECT_TRUE(server.requested.isEmpty());
    EXPECT_FALSE(messages.shown.join(u'|').contains(QStringLiteral("Marvo"))); // no "no connection" either
    EXPECT_FALSE(window.menuAction(QStringLiteral("Aktualizacja programu bez dostępu do internetu"))->isEnabled());
    EXPECT_EQ(window.about().updateNote(), update::NoUpdateKeyNotice());
    window.closeWithoutQuestions();
}

// A double click in the file manager starts the program with the data file: the file is opened, and a newer
// component is still offered with the question, not installed unasked ("Nie" here).
TEST_F(UpdateWindows, DataFileOnTheCommandLineOpensWithoutInstallingUnasked)
{
    serveVersionFile(QStringLiteral("dane:2.2.2.0;typ:3;pakiet:dane.zlb;strona:;folder:dane;\r\n"));
    servePackage("dane.zlb", vt::surveyPackage(QStringLiteral("2.2.2.0")), QStringLiteral("2.2.2.0"));
    const QString file = vt::makeDataFile(root.filePath(QStringLiteral("Rok 2008.NAJ")), [](db::Connection& c) {
        c.execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, ?)"), {QStringLiteral("Z pliku")});
    });
    program.survey.close();
    ProgramWindows windows(program, window);
    commands.install({file}, server.address());
    messages.answer(MessageAnswer::No); // message 22

    ASSERT_TRUE(window.startUp({file}, root.path()));
    ASSERT_EQ(messages.requests.size(), 1) << messages.shown.join(u'|').toStdString();
    EXPECT_EQ(messages.requests.first().number, 22);
    EXPECT_EQ(surveyVersion(), QStringLiteral("2.2.1.0"));
    EXPECT_FALSE(server.requested.contains("/download/ankieta_update/dane.zlb"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vestrum - ") + QDir::toNativeSeparators(file));
    EXPECT_EQ(userData(), QStringLiteral("Z pliku"));
    window.closeWithoutQuestions();
}

// Installed from the package, the program's own updates come from the package manager: the about box says so.
TEST_F(UpdateWindows, InstalledProgramSaysThePackageManagerUpdatesIt)
{
    vt::PrivateUserDataHome home;
    vt::writeFile(folder() + QStringLiteral("vestrum.ini"), "[Instalacja]\nDane=uzytkownik\n");
    program.state.DataFolder.clear();
    startup::setProgramFolder(program.state, root.path());
    commands.install({}, server.address());
    EXPECT_EQ(window.about().updateNote(), QString::fromUtf8("Program jest aktualizowany przez menedżera pakietów systemu."));
}
