#include "gui/common/progress_window.h"
#include "gui/files/data_commands.h"
#include "datafile/restore_points.h"
#include "gui/files/save_data_window.h"
#include "gui/files/load_data_window.h"
#include "gui/files/restore_window.h"
#include "support/legacy_data_file.h"
#include "typing.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

[[maybe_unused]] void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

void touch(const QString& path, const QByteArray& bytes = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

QListWidgetItem* itemNamed(QListWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

// With VESTRUM_SHOTS set, windows are photographed into that folder for a look by eye.
void shoot(QWidget* window, const char* name)
{
    const QString folder = qEnvironmentVariable("VESTRUM_SHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    window->show();
    QCoreApplication::processEvents();
    window->grab().save(folder + u'/' + QString::fromLatin1(name) + QStringLiteral(".png"));
    window->hide();
}

const QString kNameMissing = QStringLiteral("Proszę podać nazwę pliku, w którym mają zostać zapisane dane.");
const QString kSaved = QStringLiteral("Zbiór został pomyślnie zapisany.");

} // namespace

TEST(SaveWindow, NamesTheFileAndAsksBeforeReplacingOne)
{
    TestProgram t;
    SaveDataWindow window(t.program);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Zapisywanie danych"));
    EXPECT_EQ(window.nameField()->text(), QStringLiteral("*.naj"));
    EXPECT_TRUE(window.saveButton()->isDefault());
    window.browser()->setFolder(t.dir.path());

    window.zapisz();
    EXPECT_EQ(t.messages.shown, QStringList{kNameMissing});
    EXPECT_NE(window.result(), QDialog::Accepted);

    window.show();
    typeOver(window.nameField(), QStringLiteral("wyniki 2008.txt"));
    window.zapisz();
    const QString saved = t.path(QStringLiteral("wyniki 2008.naj"));
    EXPECT_TRUE(QFileInfo::exists(saved));
    ASSERT_FALSE(t.messages.shown.isEmpty());
    EXPECT_EQ(t.messages.shown.last(), kSaved);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(t.program.state.CurrentDataFile, saved);
    EXPECT_TRUE(t.program.state.DataSaved);
    EXPECT_TRUE(t.survey().isOpen());
    shoot(&window, "save_data_window");

    // The file list now shows it; clicking it puts its name in the field.
    QListWidgetItem* item = itemNamed(window.browser()->fileList(), QStringLiteral("wyniki 2008.naj"));
    ASSERT_NE(item, nullptr);
    Q_EMIT window.browser()->fileList()->itemClicked(item);
    EXPECT_EQ(window.nameField()->text(), QStringLiteral("wyniki 2008.naj"));

    const QByteArray before = contents(saved);
    t.survey().execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, 'zmiana')"));
    window.setResult(QDialog::Rejected);
    t.messages.answer(MessageAnswer::No);
    window.zapisz();
    ASSERT_FALSE(t.messages.shown.isEmpty());
    EXPECT_EQ(t.messages.shown.last(),
              QStringLiteral("Uwaga! Wskazany zbiór już istnieje.\nCzy na pewno chcesz zmienić jego zawartość?"));
    EXPECT_EQ(contents(saved), before);
    EXPECT_NE(window.result(), QDialog::Accepted);

    t.messages.answer(MessageAnswer::Yes);
    window.zapisz();
    EXPECT_NE(contents(saved), before);
    EXPECT_EQ(window.result(), QDialog::Accepted);
}

// Each opening starts on "*.naj", so that two presses of Enter cannot overwrite last year's file;
// the window opens centred every time.
TEST(SaveWindow, EveryOpeningStartsWithTheMaskAndCentred)
{
    TestProgram t;
    QWidget owner;
    owner.setGeometry(100, 100, 900, 700);
    owner.show();
    SaveDataWindow window(t.program, &owner);
    window.browser()->setFolder(t.dir.path());
    std::vector<QPoint> centres;
    for (int opening = 0; opening < 2; ++opening) {
        QTimer::singleShot(0, &window, [&] {
            EXPECT_EQ(window.nameField()->text(), QStringLiteral("*.naj"));
            centres.push_back(window.geometry().center());
            typeOver(window.nameField(), QStringLiteral("zeszloroczne.naj"));
            window.reject();
        });
        window.run();
    }
    ASSERT_EQ(centres.size(), 2u);
    EXPECT_EQ(centres[0], centres[1]);
    EXPECT_LE((centres[0] - owner.geometry().center()).manhattanLength(), 2);
}

TEST(SaveWindow, UnreadableDriveIsRefusedAndTheListReturns)
{
    TestProgram t;
    SaveDataWindow window(t.program);
    window.browser()->setFolder(t.dir.path());
    QComboBox* drives = window.browser()->driveList();
    const int before = drives->currentIndex();
    ASSERT_GE(before, 0);
    drives->addItem(QStringLiteral("Z:"), t.path(QStringLiteral("nie_ma_takiego_dysku")));
    window.browser()->chooseDrive(drives->count() - 1);
    EXPECT_EQ(t.messages.shown, QStringList{QStringLiteral("Dysk jest niedostępny")});
    EXPECT_EQ(drives->currentIndex(), before);
    EXPECT_EQ(window.browser()->folder(), t.dir.path());
}

TEST(LoadWindow, LoadsOnlyAChosenExistingFile)
{
    TestProgram t;
    touch(t.path(QStringLiteral("a.naj")));
    touch(t.path(QStringLiteral("b.txt")));
    QDir().mkpath(t.path(QStringLiteral("podfolder")));
    LoadDataWindow window(t.program);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Wczytaj dane za rok"));
    QStringList loaded;
    window.load = [&](const QString& path) { loaded.append(path); };
    window.browser()->setFolder(t.dir.path());
    QListWidget* files = window.browser()->fileList();
    ASSERT_EQ(files->count(), 1);
    EXPECT_EQ(files->item(0)->text(), QStringLiteral("a.naj"));
    QListWidget* folders = window.browser()->folderList();
    ASSERT_GE(folders->count(), 2);
    EXPECT_EQ(folders->item(folders->count() - 1)->text().trimmed(), QStringLiteral("podfolder"));
    Q_EMIT folders->itemActivated(folders->item(folders->count() - 1));
    EXPECT_EQ(window.browser()->folder(), t.path(QStringLiteral("podfolder")));
    EXPECT_EQ(files->count(), 0);
    window.browser()->setFolder(t.dir.path());

    window.wczytaj();
    EXPECT_EQ(t.messages.shown,
              QStringList{QStringLiteral("Dane nie mogą zostać wczytane - nie wskazano skompresowanego zbioru z danymi "
                                         "lub zbiór nie istnieje.")});
    EXPECT_TRUE(loaded.isEmpty());

    files->setCurrentRow(0);
    Q_EMIT files->itemActivated(files->item(0)); // a double click acts as "wczytaj"
    EXPECT_EQ(loaded, QStringList{t.path(QStringLiteral("a.naj"))});
    EXPECT_EQ(window.result(), QDialog::Accepted);
    shoot(&window, "load_data_window");
}

// A single click opens a folder, a double click opens only the folder clicked, and clicking the
// folder in view again shows a file added meanwhile.
TEST(LoadWindow, OneClickOpensAFolderAndOpeningItAgainReadsItAgain)
{
    TestProgram t;
    QDir().mkpath(t.path(QStringLiteral("podfolder/glebiej")));
    LoadDataWindow window(t.program);
    window.show();
    DataFileBrowser* browser = window.browser();
    browser->setFolder(t.dir.path());
    QListWidget* folders = browser->folderList();
    auto folderAt = [folders](const QString& name) -> QListWidgetItem* {
        for (int i = 0; i < folders->count(); ++i)
            if (folders->item(i)->text().trimmed() == name)
                return folders->item(i);
        return nullptr;
    };
    auto click = [&](const QString& name) {
        QListWidgetItem* item = folderAt(name);
        ASSERT_TRUE(item) << qPrintable(name);
        QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, folders->visualItemRect(item).center());
    };
    click(QStringLiteral("podfolder"));
    EXPECT_EQ(browser->folder(), t.path(QStringLiteral("podfolder")));
    touch(t.path(QStringLiteral("podfolder/nowy.naj")));
    EXPECT_EQ(browser->fileList()->count(), 0);
    click(QStringLiteral("podfolder"));
    ASSERT_EQ(browser->fileList()->count(), 1);
    EXPECT_EQ(browser->fileList()->item(0)->text(), QStringLiteral("nowy.naj"));

    QListWidgetItem* deeper = folderAt(QStringLiteral("glebiej"));
    ASSERT_TRUE(deeper);
    // A double click as the mouse sends it: the second click must not open what the first one put there.
    const QPoint at = folders->visualItemRect(deeper).center();
    QTest::mouseClick(folders->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(folders->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(folders->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(browser->folder(), t.path(QStringLiteral("podfolder/glebiej")));
}

TEST(RestoreWindow, ListsPointsOldestFirstWithNoneChosen)
{
    TestProgram t;
    RestoreWindow window(t.program);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Przywracanie danych"));
    QStringList restored;
    window.restore = [&](const QString& path) { restored.append(path); };

    window.fillList();
    EXPECT_EQ(window.pointList()->count(), 0);
    window.przywroc();
    EXPECT_EQ(t.messages.shown, QStringList{QStringLiteral("Nie wybrano żadnego punktu przywracania danych")});

    const QString folder = t.program.state.archiveFolder();
    touch(folder + QStringLiteral("a_2008_03_06-00_00.nar"));
    touch(folder + QStringLiteral("a_2008_03_05-23_59.nar"));
    touch(folder + QStringLiteral("a_2008_03_05-23_59_02.nar")); // a second point in the same minute
    window.fillList();
    ASSERT_EQ(window.pointList()->count(), 3);
    EXPECT_EQ(window.pointList()->item(0)->text(), QStringLiteral("dzień: 2008/03/05  godzina: 23:59"));
    EXPECT_EQ(window.pointList()->item(1)->text(), QStringLiteral("dzień: 2008/03/05  godzina: 23:59 (2)"));
    EXPECT_EQ(window.pointList()->item(2)->text(), QStringLiteral("dzień: 2008/03/06  godzina: 00:00"));
    EXPECT_TRUE(window.pointList()->selectedItems().isEmpty());
    shoot(&window, "restore_window");

    window.pointList()->setCurrentRow(2);
    window.przywroc();
    EXPECT_EQ(restored, QStringList{folder + QStringLiteral("a_2008_03_06-00_00.nar")});
    EXPECT_EQ(window.result(), QDialog::Accepted);
}

// A lone restore point: the list gets the focus with it chosen, so Enter restores it.
TEST(RestoreWindow, EnterOnTheListRestoresThePointItHolds)
{
    TestProgram t;
    RestoreWindow window(t.program);
    QStringList restored;
    window.restore = [&](const QString& path) { restored.append(path); };
    const QString point = t.program.state.archiveFolder() + QStringLiteral("a_2008_03_06-00_00.nar");
    touch(point);
    window.fillList();
    window.show();
    ASSERT_TRUE(bringToFront(&window));
    ASSERT_GT(tabUntil(window.pointList()), 0) << "Tab never reached the list";
    EXPECT_TRUE(window.pointList()->item(0)->isSelected());
    pressKey(Qt::Key_Return);
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(u'|').toStdString();
    EXPECT_EQ(restored, QStringList{point});
}

namespace {

// A main window's worth of wiring around DataCommands.
struct Commands {
    TestProgram t;
    QWidget parent;
    ShellSteps steps;
    ProgressWindow progress{&parent};
    DataCommands commands{t.program, steps, progress, &parent};
    QString title = QStringLiteral("Vestrum");
    int sectionLoads = 0;
    int pendingChecks = 0;

    Commands()
    {
        commands.setTitle = [this](const QString& text) { title = text; };
        steps.loadAllSections = [this] { ++sectionLoads; };
        steps.confirmPendingEdit = [this] { ++pendingChecks; };
        commands.installShellSteps();
    }

    QStringList restorePoints() const
    {
        return QDir(t.program.state.archiveFolder()).entryList({QStringLiteral("*.nar")}, QDir::Files);
    }

    // Picks `file` in the load window once it is up, and presses "wczytaj".
    void pickInLoadWindow(const QString& file)
    {
        QTimer::singleShot(0, &parent, [this, file] {
            LoadDataWindow& window = commands.loadWindow();
            window.browser()->setFolder(QFileInfo(file).absolutePath());
            QListWidget* files = window.browser()->fileList();
            files->setCurrentItem(itemNamed(files, QFileInfo(file).fileName()));
            window.wczytaj();
        });
    }
};

} // namespace

TEST(DataCommands, MenuHoldsTheCommandsInOrder)
{
    Commands c;
    QMenu menu;
    c.commands.addMenuItems(&menu, [](QMenu* m) { m->addAction(QStringLiteral("Łączenie danych")); });
    QStringList captions;
    for (QAction* a : menu.actions())
        captions.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Nowa jednostka"), QStringLiteral("Wczytaj dane"),
                                     QStringLiteral("Wczytaj dane jako dane startowe"), QStringLiteral("Zapisz dane"),
                                     QStringLiteral("Zapisz dane jako ..."), QStringLiteral("-"),
                                     QStringLiteral("Łączenie danych"), QStringLiteral("-"),
                                     QStringLiteral("Zrób kopię zapasową danych"), QStringLiteral("-"),
                                     QStringLiteral("Przywracanie danych")}));
    ASSERT_FALSE(menu.actions().isEmpty());
    QMenu* restore = menu.actions().last()->menu();
    ASSERT_NE(restore, nullptr);
    ASSERT_GE(restore->actions().size(), 2);
    EXPECT_EQ(restore->actions().at(0)->text(), QStringLiteral("Przywróć wcześniej zapisane dane"));
    EXPECT_EQ(restore->actions().at(1)->text(), QStringLiteral("Utwórz punkt przywracania danych"));
}

TEST(DataCommands, NewUnitMakesARestorePointAndStartsAfresh)
{
    Commands c;
    RunState& state = c.t.program.state;
    c.t.survey().execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko) VALUES ('Kowalski')"));
    state.CurrentDataFile = c.t.path(QStringLiteral("stary.naj"));
    SetDataSaved(state, true);
    c.title = QStringLiteral("Vestrum - stary.naj");

    c.t.messages.answer(MessageAnswer::No);
    c.commands.newUnit();
    ASSERT_FALSE(c.t.messages.shown.isEmpty());
    EXPECT_EQ(c.t.messages.shown.last(),
              QStringLiteral("Utworzenie nowej jednostki spowoduje usunięcie wszystkich danych!\nCzy chcesz kontynuować?"));
    EXPECT_TRUE(c.restorePoints().isEmpty());

    c.commands.newUnit();
    EXPECT_EQ(c.restorePoints(), QStringList{QStringLiteral("a_2008_03_05-09_07.nar")});
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT count(*) FROM dane_kierownictwo")).toInt(), 0);
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT id FROM dane_podstawowe")).toInt(), -1);
    EXPECT_EQ(c.sectionLoads, 1);
    EXPECT_EQ(c.pendingChecks, 2);
    EXPECT_TRUE(state.CurrentDataFile.isEmpty());
    EXPECT_EQ(c.title, QStringLiteral("Vestrum"));
    EXPECT_FALSE(state.DataSaved);
    EXPECT_FALSE(state.NewDataFlag);

    c.commands.newUnit();
    ASSERT_FALSE(c.t.messages.shown.isEmpty());
    EXPECT_EQ(c.t.messages.shown.last(),
              QStringLiteral("Uwaga!!!\nUtworzenie danych dla nowej jednostki spowoduje całkowite usunięcie "
                             "wprowadzonych danych!\nCzy chcesz kontynuować?"));
}

TEST(DataCommands, StartingDataLeaveNoDataFileBehind)
{
    Commands c;
    RunState& state = c.t.program.state;
    c.t.survey().execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer) VALUES (1, 'P.9')"));
    c.t.survey().execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko) VALUES ('Nowak')"));
    const QString file = c.t.path(QStringLiteral("2007.naj"));
    datafiles::WriteDataFile(c.t.program, file);
    SetDataSaved(state, false);

    c.pickInLoadWindow(file);
    c.commands.loadStartingData();
    ASSERT_FALSE(c.t.messages.shown.isEmpty());
    EXPECT_EQ(c.t.messages.shown.first(),
              QStringLiteral("Uwaga!!!\nWczytanie nowego zbioru danych spowoduje całkowite usunięcie wprowadzonych "
                             "zmian danych!\nCzy chcesz kontynuować?"));
    EXPECT_EQ(c.restorePoints().size(), 1);
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT count(*) FROM dane_wykaz_patentow")).toInt(), 0);
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT count(*) FROM dane_kierownictwo")).toInt(), 1);
    EXPECT_TRUE(state.CurrentDataFile.isEmpty());
    EXPECT_EQ(c.title, QStringLiteral("Vestrum"));
    EXPECT_TRUE(state.DataSaved);
    EXPECT_FALSE(state.NewDataFlag);
    EXPECT_FALSE(state.StartingDataMode);
    EXPECT_EQ(c.sectionLoads, 1);

    // A file that cannot be loaded leaves the tie to the current data file alone.
    const QString broken = c.t.path(QStringLiteral("zly.naj"));
    touch(broken, QByteArray(100, 'x'));
    state.CurrentDataFile = file;
    SetDataSaved(state, false);
    c.t.messages.shown.clear();
    c.pickInLoadWindow(broken);
    c.commands.loadStartingData();
    ASSERT_FALSE(c.t.messages.shown.isEmpty());
    EXPECT_EQ(c.t.messages.shown.last(), QStringLiteral("Skompresowany zbiór jest uszkodzony"));
    EXPECT_EQ(state.CurrentDataFile, file);
    EXPECT_FALSE(state.DataSaved);
}

TEST(DataCommands, SaveDataWritesTheCurrentFileSilentlyAndRestorePointSaysSo)
{
    Commands c;
    RunState& state = c.t.program.state;
    const QString file = c.t.path(QStringLiteral("biezacy.naj"));
    datafiles::WriteDataFile(c.t.program, file);
    const QByteArray before = contents(file);
    c.t.survey().execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (3, 'nowa')"));
    SetDataSaved(state, false);
    state.ReportingYear = 2007;

    c.steps.saveData(); // as the closing sequence runs it
    EXPECT_TRUE(c.t.messages.shown.isEmpty());
    EXPECT_TRUE(state.DataSaved);
    EXPECT_NE(contents(file), before);
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT Rok_sprawozdawczy FROM dane_szczegolowe")).toString(),
              QStringLiteral("2007"));

    c.commands.makeRestorePoint();
    ASSERT_EQ(c.t.messages.requests.size(), 1);
    EXPECT_EQ(c.t.messages.requests[0].text, QStringLiteral("Punkt przywracania danych został pomyślnie utworzony."));
    EXPECT_EQ(c.t.messages.requests[0].number, 7);

    // Restoring it brings the point's data back, ties them to no file and marks them unsaved.
    ASSERT_FALSE(c.restorePoints().isEmpty());
    const QString point = c.t.program.state.archiveFolder() + c.restorePoints().first();
    const QByteArray pointBytes = contents(point);
    c.t.survey().execute(QStringLiteral("DELETE FROM dane_podstawowe"));
    QTimer::singleShot(0, &c.parent, [&] {
        RestoreWindow& window = c.commands.restoreWindow();
        window.pointList()->setCurrentRow(0);
        window.przywroc();
    });
    c.commands.restoreData();
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString(), QStringLiteral("nowa"));
    ASSERT_EQ(c.t.messages.requests.size(), 2);
    EXPECT_EQ(c.t.messages.requests[1].text,
              QStringLiteral("Przywrócono dane z punktu %1.").arg(restorepoints::RestorePointLine(c.restorePoints().first())));
    EXPECT_EQ(c.t.messages.requests[1].number, 0);
    EXPECT_FALSE(state.DataSaved);
    EXPECT_EQ(c.sectionLoads, 1);
    EXPECT_EQ(c.title, QStringLiteral("Vestrum"));

    // So "Zapisz dane" asks for a name instead of writing over the restore point.
    bool askedForName = false;
    QTimer::singleShot(0, &c.parent, [&] {
        SaveDataWindow& window = c.commands.saveWindow();
        askedForName = window.isVisible() && window.nameField()->text() == QStringLiteral("*.naj");
        window.reject();
    });
    c.commands.saveData();
    EXPECT_TRUE(askedForName);
    EXPECT_EQ(contents(point), pointBytes);
    EXPECT_FALSE(state.DataSaved);
}

TEST(DataCommands, DamagedWorkingDataAskBeforeAChangeThatCannotKeepThemInARestorePoint)
{
    Commands c;
    RunState& state = c.t.program.state;
    db::Connection& survey = c.t.survey();
    {
        db::Transaction transaction(survey);
        for (int i = 0; i < 2000; ++i)
            survey.execute(QStringLiteral("INSERT INTO dane_wykaz_patentow (rodzaj, numer, tytul) VALUES (1, ?, ?)"),
                           {QStringLiteral("P.%1").arg(i), QStringLiteral("Wynalazek numer %1").arg(i)});
        transaction.commit();
    }
    survey.close();
    damageLastPage(state.DatabasePath);
    survey.open(state.DatabasePath, schema::databasePassword());
    SetDataSaved(state, true);

    c.t.messages.answer(MessageAnswer::Yes); // a new unit?
    c.t.messages.answer(MessageAnswer::No);  // without a restore point?
    c.commands.newUnit();
    ASSERT_EQ(c.t.messages.shown.size(), 2);
    EXPECT_EQ(c.t.messages.shown[1], QStringLiteral("Uwaga! Dane w programie są uszkodzone, dlatego punkt przywracania "
                                                   "danych nie został utworzony.\nCzy mimo to chcesz kontynuować?"));
    EXPECT_TRUE(c.restorePoints().isEmpty());
    EXPECT_EQ(c.sectionLoads, 0) << "\"Nie\" changes nothing";

    // The menu command says why no point was made and where to go back to.
    c.t.messages.shown.clear();
    c.commands.makeRestorePoint();
    ASSERT_EQ(c.t.messages.shown.size(), 1);
    EXPECT_TRUE(c.t.messages.shown[0].startsWith(QStringLiteral("Błąd!!!\nPunkt przywracania danych nie został "
                                                                "utworzony.\n\nUwaga! Dane w programie są uszkodzone")));
}

// A working database damaged on disk under the running program (cut short, emptied, its header overwritten) no
// longer opens: each command that replaces the working data sets it aside whole, says where, and goes on into a
// new database. Before, the restore point such a command makes first failed, and the command stopped there.
TEST(DataCommands, AWorkingDatabaseThatNoLongerOpensIsSetAsideByTheCommandsThatReplaceIt)
{
    enum class Way { LoadData, NewUnit, RestoreData };
    const std::vector<std::pair<Way, std::string>> ways{
        {Way::LoadData, "Wczytaj dane"}, {Way::NewUnit, "Nowa jednostka"}, {Way::RestoreData, "Przywróć"}};
    for (const FileDamage damage : everyFileDamage()) {
        for (const auto& [way, wayName] : ways) {
            SCOPED_TRACE(describe(damage) + ", " + wayName);
            Commands c;
            RunState& state = c.t.program.state;
            c.t.survey().execute(QStringLiteral("INSERT INTO dane_podstawowe (id, nazwa) VALUES (1, 'zapisana')"));
            const QString file = c.t.path(QStringLiteral("wyniki.naj"));
            datafiles::WriteDataFile(c.t.program, file);
            ASSERT_TRUE(restorepoints::MakeRestorePoint(c.t.program));
            SetDataSaved(state, true);
            damageFile(state.DatabasePath, damage);
            const QByteArray damaged = contents(state.DatabasePath);
            c.t.messages.shown.clear();

            switch (way) {
            case Way::LoadData:
                c.pickInLoadWindow(file);
                c.commands.loadData();
                break;
            case Way::NewUnit:
                c.commands.newUnit();
                break;
            case Way::RestoreData:
                QTimer::singleShot(0, &c.parent, [&] {
                    RestoreWindow& window = c.commands.restoreWindow();
                    window.pointList()->setCurrentRow(0);
                    window.przywroc();
                });
                c.commands.restoreData();
                break;
            }

            const QString aside = state.DatabasePath + QStringLiteral(".uszkodzona-2008_03_05-09_07");
            EXPECT_EQ(contents(aside), damaged) << "the damaged database is kept whole";
            EXPECT_TRUE(c.t.messages.shown.join(u'\n').contains(QDir::toNativeSeparators(aside)))
                << c.t.messages.shown.join(u'\n').toStdString();
            EXPECT_TRUE(datafiles::WorkingDataDamage(c.t.program).isEmpty());
            ASSERT_TRUE(c.t.survey().isOpen());
            const QString unit = c.t.survey().scalar(QStringLiteral("SELECT nazwa FROM dane_podstawowe")).toString();
            EXPECT_EQ(unit, way == Way::NewUnit ? QString() : QStringLiteral("zapisana"));
            EXPECT_EQ(c.sectionLoads, 1);
            EXPECT_EQ(c.restorePoints().size(), 1) << "no point can be made of a file that does not open";
        }
    }
}
