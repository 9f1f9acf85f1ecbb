#include "datafile/data_file.h"
#include "datafile/merge.h"
#include "gui/common/message_box.h"
#include "gui/common/progress_window.h"
#include "gui/files/data_commands.h"
#include "gui/files/load_data_window.h"
#include "gui/files/merge_window.h"
#include "support/legacy_data_file.h"
#include "typing.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

// With VESTRUM_SHOTS set, windows are photographed into that folder for a look by eye.
void shoot(QWidget* window, const char* name)
{
    const QString folder = qEnvironmentVariable("VESTRUM_SHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    const bool wasVisible = window->isVisible();
    window->show();
    QCoreApplication::processEvents();
    window->grab().save(folder + u'/' + QString::fromLatin1(name) + QStringLiteral(".png"));
    if (!wasVisible)
        window->hide();
}

const QString kQuestion = QStringLiteral(
    "Uwaga!!!\nŁączenie danych spowoduje zmianę danych obecnie znajdujących się w systemie!\nCzy chcesz kontynuować?");

int count(db::Connection& c, const QString& table)
{
    return c.scalar(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)).toInt();
}

// A main window's worth of wiring around DataCommands, with a second unit's data file at hand.
struct MergeCommands {
    TestProgram t;
    QWidget parent;
    ShellSteps steps;
    ProgressWindow progress{&parent};
    DataCommands commands{t.program, steps, progress, &parent};
    int sectionLoads = 0;
    int firstSectionShown = 0;

    MergeCommands()
    {
        steps.loadAllSections = [this] { ++sectionLoads; };
        commands.showFirstSection = [this] { ++firstSectionShown; };
        commands.installShellSteps();
        t.survey().execute(QStringLiteral("INSERT INTO dane_szczegolowe (Zatr_poza_BR) VALUES (10)"));
        t.survey().execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko) VALUES ('Nowak Jan')"));
    }

    MergeWindow& window() { return commands.mergeWindow(); }

    // The other unit: one new head, one already held, and 5 people outside B+R.
    QString otherFile()
    {
        TempSurvey other;
        other.connection.execute(QStringLiteral("INSERT INTO dane_szczegolowe (Zatr_poza_BR) VALUES (5)"));
        other.connection.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko) VALUES ('NOWAK JAN')"));
        other.connection.execute(QStringLiteral("INSERT INTO dane_kierownictwo (Nazwisko) VALUES ('Bąk Ewa')"));
        other.connection.close();
        const QString path = t.path(QStringLiteral("inna.naj"));
        archiveDatabase(other.path(), path);
        return path;
    }

    // Runs `steps` one after another inside the window's modal loop.
    void inWindow(std::vector<std::function<void()>> script)
    {
        QTimer::singleShot(0, &parent, [this, script = std::move(script)] {
            for (const auto& step : script)
                step();
            if (window().isVisible())
                window().reject();
        });
    }

    std::function<void()> pick(const QString& file)
    {
        return [this, file] {
            window().dalej();
            DataFileBrowser* browser = window().browser();
            browser->setFolder(QFileInfo(file).absolutePath());
            const auto found = browser->fileList()->findItems(QFileInfo(file).fileName(), Qt::MatchExactly);
            ASSERT_FALSE(found.isEmpty());
            browser->fileList()->setCurrentItem(found.front());
        };
    }
};

} // namespace

TEST(MergeWindow, TicksItemsOnPageOneAndKeepsThemBetweenUses)
{
    TestProgram t;
    MergeWindow window(t.program);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Łączenie danych"));
    QListWidget* items = window.itemList();
    ASSERT_EQ(items->count(), 23);
    EXPECT_EQ(items->item(22)->text(), QStringLiteral("Inne ważne informacje"));
    EXPECT_EQ(window.ticked(), merge::NoItems());

    window.wszystkie();
    EXPECT_EQ(window.ticked(), merge::AllItems());
    window.zaden();
    EXPECT_EQ(window.ticked(), merge::NoItems());
    items->item(1)->setCheckState(Qt::Checked);
    Q_EMIT items->itemActivated(items->item(7));
    const merge::ItemChoice chosen = window.ticked();
    EXPECT_TRUE(chosen[1] && chosen[7]);
    shoot(&window, "merge_window_range");

    window.dalej();
    EXPECT_EQ(window.currentPage(), 1);
    QFile(t.path(QStringLiteral("wydział_fizyki.naj"))).open(QIODevice::WriteOnly);
    window.browser()->setFolder(t.dir.path());
    EXPECT_EQ(window.browser()->fileList()->count(), 1);
    shoot(&window, "merge_window_file");
    window.wroc();
    EXPECT_EQ(window.currentPage(), 0);

    // Closed with "wróć" and opened again: at page 1, with the same ticks.
    window.dalej();
    QTimer::singleShot(0, &window, [&window] { window.reject(); });
    EXPECT_FALSE(window.run());
    EXPECT_EQ(window.currentPage(), 0);
    EXPECT_EQ(window.ticked(), chosen);
}

TEST(MergeCommand, RefusalKeepsTheWindowOpenAndAMergeReloadsTheSections)
{
    MergeCommands c;
    RunState& state = c.t.program.state;
    SetDataSaved(state, true);
    const QString good = c.otherFile();
    {
        // The 2005 version's password.
        QTemporaryDir scratch;
        const QString old = scratch.filePath(QStringLiteral("ankieta.mdb"));
        db::Connection::create(old, schema::legacyDatabasePassword());
        archiveDatabase(old, c.t.path(QStringLiteral("2005.naj")));
    }

    // "Nie" to the question: no restore point, no window.
    c.t.messages.answer(MessageAnswer::No);
    c.commands.mergeData();
    EXPECT_EQ(c.t.messages.shown, QStringList{kQuestion});
    ASSERT_FALSE(c.t.messages.requests.isEmpty());
    EXPECT_EQ(c.t.messages.requests.front().number, 6);
    EXPECT_FALSE(QDir(state.archiveFolder()).exists());

    bool openAfterRefusal = false;
    c.window().zaden();
    c.window().itemList()->item(1)->setCheckState(Qt::Checked);
    c.window().itemList()->item(3)->setCheckState(Qt::Checked);
    c.inWindow({c.pick(c.t.path(QStringLiteral("2005.naj"))), [&] { c.window().polaczDane(); },
                [&] { openAfterRefusal = c.window().isVisible(); }, c.pick(good),
                [&] { c.window().polaczDane(); }});
    c.t.messages.shown.clear();
    c.t.messages.requests.clear();
    c.commands.mergeData();

    ASSERT_EQ(c.t.messages.shown.size(), 3);
    EXPECT_EQ(c.t.messages.shown[1], merge::NotCurrentDataFileMessage());
    // The completed merge says how many rows it added.
    EXPECT_EQ(c.t.messages.shown[2], QStringLiteral("Łączenie danych zostało zakończone. Dodano pozycji: 1."));
    EXPECT_EQ(c.t.messages.requests[2].number, 0);
    EXPECT_EQ(c.t.messages.requests[1].buttons, static_cast<unsigned>(MbOk));
    EXPECT_TRUE(openAfterRefusal);
    MessageBox box;
    box.prepare(c.t.messages.requests[1]);
    EXPECT_EQ(box.leftButton()->text(), QStringLiteral("Dalej"));
    shoot(&box, "merge_refusal");

    // The progress window went through every caption and the two steps, its bar stopping at the end.
    EXPECT_EQ(c.progress.windowTitle(), QStringLiteral("Łączenie danych"));
    EXPECT_EQ(c.progress.maximum(), 22);
    EXPECT_EQ(c.progress.position(), 22);
    EXPECT_EQ(c.progress.label(), QStringLiteral("Inne ważne informacje"));
    shoot(&c.progress, "merge_progress");
    EXPECT_EQ(QDir(state.archiveFolder()).entryList({QStringLiteral("*.nar")}).size(), 1);
    EXPECT_EQ(count(c.t.survey(), QStringLiteral("dane_kierownictwo")), 2);
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT Zatr_poza_BR FROM dane_szczegolowe")).toInt(), 15);
    EXPECT_EQ(c.sectionLoads, 1);
    EXPECT_EQ(c.firstSectionShown, 1);
    EXPECT_FALSE(state.DataSaved);
}

TEST(MergeCommand, FailedMergeChangesNothingAndReloadsNothing)
{
    MergeCommands c;
    RunState& state = c.t.program.state;
    SetDataSaved(state, true);
    const QString file = c.otherFile();
    c.t.survey().execute(QStringLiteral("CREATE TRIGGER awaria BEFORE INSERT ON dane_kierownictwo "
                                        "BEGIN SELECT RAISE(ABORT, 'dysk pełny'); END"));
    c.window().wszystkie();
    bool openAfterFailure = false;
    c.inWindow({c.pick(file), [&] { c.window().polaczDane(); }, [&] { openAfterFailure = c.window().isVisible(); }});

    c.commands.mergeData();

    EXPECT_TRUE(openAfterFailure);
    ASSERT_FALSE(c.t.messages.shown.isEmpty());
    EXPECT_TRUE(c.t.messages.shown.last().startsWith(QStringLiteral("Uwaga! Łączenie danych nie powiodło się")));
    EXPECT_EQ(count(c.t.survey(), QStringLiteral("dane_kierownictwo")), 1);
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT Zatr_poza_BR FROM dane_szczegolowe")).toInt(), 10);
    EXPECT_EQ(c.sectionLoads, 0);
    EXPECT_TRUE(state.DataSaved);
}

TEST(MergeCommand, ASumOutsideTheWholeNumbersIsRefusedBeforeAnyChange)
{
    MergeCommands c;
    c.t.survey().execute(QStringLiteral("UPDATE dane_szczegolowe SET Zatr_poza_BR = 2147483645"));
    const QString file = c.otherFile(); // 5 more people outside B+R, and a new head
    c.window().wszystkie();
    bool openAfterRefusal = false;
    c.inWindow({c.pick(file), [&] { c.window().polaczDane(); }, [&] { openAfterRefusal = c.window().isVisible(); }});

    c.commands.mergeData();

    EXPECT_TRUE(openAfterRefusal);
    ASSERT_FALSE(c.t.messages.shown.empty());
    EXPECT_EQ(c.t.messages.shown.last().section(u'\n', 0, 0),
              merge::NotMergeableMessage(QStringLiteral("dane_szczegolowe"), QStringLiteral("Zatr_poza_BR"), 1, file));
    EXPECT_EQ(c.t.survey().scalar(QStringLiteral("SELECT Zatr_poza_BR FROM dane_szczegolowe")).toLongLong(), 2147483645);
    EXPECT_EQ(count(c.t.survey(), QStringLiteral("dane_kierownictwo")), 1);
    EXPECT_EQ(c.sectionLoads, 0);
}

TEST(MergeCommand, NoItemTickedStillChecksTheFileAndReloads)
{
    MergeCommands c;
    const QString file = c.otherFile();
    c.window().zaden();
    c.inWindow({c.pick(file), [&] { c.window().polaczDane(); }});
    c.commands.mergeData();
    EXPECT_EQ(c.t.messages.shown,
              QStringList({kQuestion, QStringLiteral("Łączenie danych zostało zakończone. Dodano pozycji: 0.")}));
    EXPECT_EQ(count(c.t.survey(), QStringLiteral("dane_kierownictwo")), 1);
    EXPECT_EQ(c.sectionLoads, 1);
    EXPECT_FALSE(c.t.program.state.DataSaved);

    // Nothing chosen in the file list.
    c.inWindow({[&] { c.window().dalej(); }, [&] { c.window().browser()->fileList()->setCurrentRow(-1); },
                [&] { c.window().polaczDane(); }});
    c.commands.mergeData();
    ASSERT_FALSE(c.t.messages.shown.isEmpty());
    EXPECT_EQ(c.t.messages.shown.last(), merge::NoFileChosenMessage());
    EXPECT_EQ(c.sectionLoads, 1);
}

TEST(MergeCommand, NoRestorePointNoMerge)
{
    MergeCommands c;
    // A file where the folder of restore points should be.
    QFile blocker(c.t.path(QStringLiteral("archiwum")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    c.inWindow({});
    c.commands.mergeData();
    ASSERT_FALSE(c.t.messages.shown.isEmpty());
    EXPECT_EQ(c.t.messages.shown.last(), QStringLiteral("Błąd!!!\nPunkt przywracania danych nie został utworzony."));
    EXPECT_EQ(c.sectionLoads, 0);
}

// Keys alone: Tab reaches the check list of page one and Space ticks its current item; on page two
// the only data file of the folder is chosen as the list gets the focus, so "połącz dane" merges it.
TEST(MergeCommand, KeysAloneTickAnItemAndMergeTheOnlyFile)
{
    MergeCommands c;
    const QString lone = c.t.path(QStringLiteral("jeden/inna.naj"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(lone).absolutePath()));
    ASSERT_TRUE(QFile::rename(c.otherFile(), lone));
    bool ticked = false;
    c.inWindow({[&] {
        MergeWindow& w = c.window();
        ASSERT_TRUE(bringToFront(&w));
        ASSERT_GT(tabUntil(w.itemList()), 0) << "Tab never reached the check list";
        pressKey(Qt::Key_Space);
        ticked = w.itemList()->item(w.itemList()->currentRow())->checkState() == Qt::Checked;
        ASSERT_GT(tabUntil(w.findChild<QPushButton*>(QStringLiteral("bb_dalej"))), 0);
        pressKey(Qt::Key_Return);
        w.browser()->setFolder(QFileInfo(lone).absolutePath());
        ASSERT_GT(tabUntil(w.browser()->fileList()), 0) << "Tab never reached the file list";
        ASSERT_GT(tabUntil(w.findChild<QPushButton*>(QStringLiteral("bb_polacz"))), 0);
        pressKey(Qt::Key_Return);
    }});
    c.commands.mergeData();
    EXPECT_TRUE(ticked);
    ASSERT_FALSE(c.t.messages.shown.isEmpty());
    EXPECT_TRUE(c.t.messages.shown.last().startsWith(QStringLiteral("Łączenie danych zostało zakończone")))
        << c.t.messages.shown.join(u'|').toStdString();
}
