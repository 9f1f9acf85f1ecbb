#include "base/clock.h"
#include "program/program.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"
#include "lists/journal_identification.h"
#include "gui/lists/journal_search_window.h"
#include "gui/lists/unmatched_journals_window.h"
#include "gui/common/list_grid_view.h"
#include "support/temp_survey.h"
#include "typing.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace vestrum;
using vestrum::testing::typeOver;
using lists::Journal;

namespace {

struct Entry {
    const char* name;
    int points;
    int part;
};

// The program with a small journal list open, and the search window over it.
struct JournalWindow {
    QTemporaryDir dir;
    vestrum::testing::ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 1), QTime(10, 0))};
    Program program{messages, clock};
    lists::JournalList list{program.journals};
    std::unique_ptr<JournalSearchWindow> window;

    explicit JournalWindow(const std::vector<Entry>& entries)
    {
        const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        if (entries.empty()) {
            journals::createJournalListDatabase(path);
            program.journals.open(path, schema::databasePassword());
        } else {
            db::Connection::create(path, schema::databasePassword());
            program.journals.open(path, schema::databasePassword());
            db::Transaction transaction(program.journals);
            program.journals.execute(QStringLiteral(
                "CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, rodzaj INTEGER)"));
            for (const Entry& e : entries)
                program.journals.execute(QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, ?)"),
                                         {QString::fromUtf8(e.name), e.points, e.part});
            transaction.commit();
        }
        list.open();
        window = std::make_unique<JournalSearchWindow>(program, list);
    }

    QString currentName() const
    {
        const QModelIndex index = window->grid()->currentIndex();
        return index.isValid() ? index.sibling(index.row(), 0).data().toString() : QStringLiteral("<none>");
    }
    int rows() const { return window->grid()->model()->rowCount(); }

    // Shows the window modally and runs `act` once it is up; the window must be closed by `act`
    // or it is closed with "wróć" after a few seconds.
    template <typename Open>
    auto openAndRun(Open open, std::function<void()> act)
    {
        QTimer::singleShot(0, window.get(), [this, act] {
            if (!QTest::qWaitForWindowExposed(window.get()))
                return;
            act();
            if (window->isVisible())
                window->backButton()->click();
        });
        QTimer::singleShot(10000, window.get(), [this] { window->reject(); });
        return open();
    }
};

const std::vector<Entry> kEntries = {
    {"Acta Physica Polonica B", 15, 1},
    {"Acta Physica Polonica A", 15, 0},
    {"Journal of Physics", 20, 0},
    {"Annals of Physics", 25, 1},
    {"Physics Letters", 30, 1},
    {"ŁÓDZKIE STUDIA TEOLOGICZNE", 6, 2},
    {"Annales de l'Université de Lyon", 4, 1},
    {"100% Science", 2, 1},
    {"100 Years of Science", 5, 1},
    {"Applied Physics", 10, 2},
};

void pressEnter(QWidget* w)
{
    QTest::keyClick(w, Qt::Key_Return);
}

} // namespace

TEST(JournalWindow, LayoutAndCaptions)
{
    JournalWindow f(kEntries);
    JournalSearchWindow& w = *f.window;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Lista czasopism MEiN"));
    EXPECT_GE(w.minimumWidth(), 380);
    EXPECT_GE(w.minimumHeight(), 320);
    QStringList items;
    for (int i = 0; i < w.kindBox()->count(); ++i)
        items.append(w.kindBox()->itemText(i));
    EXPECT_EQ(items, (QStringList{QStringLiteral("wszystkie"),
                                  QStringLiteral("lista A - czasopisma wyróżnione w Journal Citation Reports (JCR)"),
                                  QStringLiteral("lista B - pozostałe czasopisma zagraniczne i czasopisma polskie"),
                                  QStringLiteral("grupy określające punktowane czasopisma, których brak na liście B")}));
    EXPECT_EQ(w.findBeginningButton()->text(), QStringLiteral("znajdź"));
    EXPECT_EQ(w.findBeginningButton()->toolTip(),
              QStringLiteral("wyszukiwanie po początku nazwy czasopisma (np. po pierwszej literze)"));
    EXPECT_EQ(w.findFragmentButton()->toolTip(),
              QStringLiteral("znajduje pierwsze wystąpienie podanego fragmentu nazwy czasopisma"));
    EXPECT_EQ(w.nextButton()->text(), QStringLiteral("następny"));
    EXPECT_EQ(w.nextButton()->toolTip(),
              QStringLiteral("znajduje kolejne wystąpienia podanego fragmentu nazwy czasopisma"));
    EXPECT_FALSE(w.nextButton()->isEnabled());
    EXPECT_EQ(w.assignButton()->text(), QStringLiteral("przypisz"));
    EXPECT_EQ(w.backButton()->text(), QStringLiteral("wróć"));
    EXPECT_EQ(w.grid()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("* Czasopismo"));
    EXPECT_EQ(w.grid()->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("L.punktów"));
    EXPECT_EQ(w.grid()->selectionBehavior(), QAbstractItemView::SelectRows);

    // Changing "Rodzaj listy" filters the grid.
    w.kindBox()->setCurrentIndex(JournalSearchWindow::ListB);
    EXPECT_EQ(f.rows(), 6);
    w.kindBox()->setCurrentIndex(JournalSearchWindow::MissingFromListB);
    EXPECT_EQ(f.rows(), 2);
    w.kindBox()->setCurrentIndex(JournalSearchWindow::AllJournals);
    EXPECT_EQ(f.rows(), 10);

    // The window keeps its place under its own entry of the settings.
    WindowMemory& memory = f.program.state.Windows[static_cast<size_t>(RememberedWindow::ListaMnii)];
    memory = WindowMemory{450, 520, 30, 40, false};
    w.show();
    EXPECT_EQ(w.size(), QSize(520, 450));
    w.resize(560, 470);
    w.hide();
    EXPECT_EQ(memory.width, 560);
    EXPECT_EQ(memory.height, 470);
}

TEST(JournalWindow, FromEntryDialogSearchesTheBeginningAfterShowing)
{
    JournalWindow f(kEntries);
    JournalSearchWindow& w = *f.window;

    // Kind 3 browses list A only, and the choice cannot be changed; the listed name is the text.
    w.prepareForEntry(QStringLiteral("Journal of"), QStringLiteral("Acta"), 3);
    EXPECT_EQ(w.kindBox()->currentIndex(), JournalSearchWindow::ListA);
    EXPECT_FALSE(w.kindBox()->isEnabled());
    EXPECT_EQ(f.rows(), 2);
    EXPECT_EQ(w.beginningField()->text(), QStringLiteral("Journal of"));
    EXPECT_EQ(w.fragmentField()->text(), QStringLiteral("Journal of"));

    // Other kinds: every journal, changeable; an empty listed name gives the typed title. A title
    // that is only a beginning puts the window on the first name with that beginning, 100 ms after
    // the window shows.
    w.prepareForEntry(QString(), QStringLiteral("acta physica"), 4);
    EXPECT_EQ(w.kindBox()->currentIndex(), JournalSearchWindow::AllJournals);
    EXPECT_TRUE(w.kindBox()->isEnabled());
    EXPECT_EQ(w.beginningField()->text(), QStringLiteral("acta physica"));
    w.show();
    EXPECT_EQ(f.currentName(), QStringLiteral("100 Years of Science"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.currentName() == QStringLiteral("Acta Physica Polonica A"); }, 2000));
    EXPECT_TRUE(f.messages.shown.isEmpty());
    w.hide();

    // Not on the list: the message names the typed text.
    w.prepareForEntry(QString(), QStringLiteral("Zoology"), 5);
    w.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !f.messages.shown.isEmpty(); }, 2000));
    EXPECT_EQ(f.messages.shown, QStringList{QStringLiteral("Nie znaleziono czasopisma: \"Zoology\"")});
    EXPECT_EQ(f.messages.requests.value(0).kind, MessageKind::Information);
    w.hide();
}

// The shipped list has no journal in list A: kind 3, locked to it, shows the whole list and says
// why, so that its searches can find something.
TEST(JournalWindow, ALockedPartWithoutJournalsShowsTheWholeListAndSaysWhy)
{
    JournalWindow f({{"Acta Physica Polonica B", 15, 1}, {"Annals of Physics", 25, 1}, {"Applied Physics", 10, 2}});
    JournalSearchWindow& w = *f.window;
    w.prepareForEntry(QString(), QStringLiteral("Annals"), 3);
    EXPECT_EQ(f.rows(), 3);
    EXPECT_EQ(w.kindBox()->currentIndex(), JournalSearchWindow::AllJournals);
    EXPECT_FALSE(w.kindBox()->isEnabled());
    EXPECT_FALSE(w.statusLine()->isHidden());
    EXPECT_TRUE(w.statusLine()->text().contains(QStringLiteral("lista A")));
    EXPECT_TRUE(w.statusLine()->text().contains(QStringLiteral("cała lista")));
    w.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.currentName() == QStringLiteral("Annals of Physics"); }, 2000));
    EXPECT_TRUE(f.messages.shown.isEmpty());
    w.hide();

    // A part that holds journals keeps the lock and says nothing.
    JournalWindow full(kEntries);
    full.window->prepareForEntry(QString(), QStringLiteral("Acta"), 3);
    EXPECT_EQ(full.rows(), 2);
    EXPECT_TRUE(full.window->statusLine()->isHidden());
}

TEST(JournalWindow, SearchCommands)
{
    JournalWindow f(kEntries);
    JournalSearchWindow& w = *f.window;
    w.prepareForGroup(QString());
    w.kindBox()->setCurrentIndex(JournalSearchWindow::AllJournals);
    w.show();

    // Polish capitals typed in lower case; Enter runs the search.
    typeOver(w.beginningField(), QStringLiteral("łódzkie"));
    pressEnter(w.beginningField());
    EXPECT_EQ(f.currentName(), QStringLiteral("ŁÓDZKIE STUDIA TEOLOGICZNE"));
    typeOver(w.beginningField(), QStringLiteral("annales de l'u"));
    w.findBeginningButton()->click();
    EXPECT_EQ(f.currentName(), QStringLiteral("Annales de l'Université de Lyon"));
    typeOver(w.beginningField(), QStringLiteral("100%"));
    w.findBeginningButton()->click();
    EXPECT_EQ(f.currentName(), QStringLiteral("100% Science"));
    EXPECT_TRUE(f.messages.shown.isEmpty());

    // A blank fragment does nothing at all.
    typeOver(w.fragmentField(), QStringLiteral("  "));
    pressEnter(w.fragmentField());
    EXPECT_TRUE(f.messages.shown.isEmpty());
    EXPECT_FALSE(w.nextButton()->isEnabled());

    // Fragment, then "następny" up to the last match, which stays current.
    typeOver(w.fragmentField(), QStringLiteral("PHYSIC"));
    pressEnter(w.fragmentField());
    EXPECT_TRUE(w.isVisible()); // Enter did not press "przypisz"
    EXPECT_EQ(f.currentName(), QStringLiteral("Acta Physica Polonica A"));
    ASSERT_TRUE(w.nextButton()->isEnabled());
    QStringList walked;
    for (int i = 0; i < 5; ++i) {
        w.nextButton()->click();
        walked.append(f.currentName());
    }
    ASSERT_FALSE(walked.empty());
    EXPECT_EQ(walked.last(), QStringLiteral("Physics Letters"));
    EXPECT_TRUE(f.messages.shown.isEmpty());
    w.nextButton()->click();
    EXPECT_EQ(f.messages.shown, QStringList{QStringLiteral("Nie znaleziono już podanego ciągu znaków")});
    EXPECT_EQ(f.currentName(), QStringLiteral("Physics Letters"));

    // A clicked row is where "następny" continues from.
    w.grid()->setCurrentIndex(w.grid()->model()->index(0, 0));
    w.nextButton()->click();
    EXPECT_EQ(f.currentName(), QStringLiteral("Acta Physica Polonica A"));

    // Not found: "następny" disabled.
    f.messages.shown.clear();
    typeOver(w.fragmentField(), QStringLiteral("% phys"));
    w.findFragmentButton()->click();
    EXPECT_EQ(f.messages.shown, QStringList{QStringLiteral("Nie znaleziono podanego ciągu znaków")});
    EXPECT_FALSE(w.nextButton()->isEnabled());

    // A journal outside the chosen part of the list is not found.
    f.messages.shown.clear();
    w.kindBox()->setCurrentIndex(JournalSearchWindow::ListA);
    typeOver(w.beginningField(), QStringLiteral("Physics"));
    w.findBeginningButton()->click();
    EXPECT_EQ(f.messages.shown, QStringList{QStringLiteral("Nie znaleziono czasopisma: \"Physics\"")});
    w.hide();
}

TEST(JournalWindow, AssignAndGoBack)
{
    JournalWindow f(kEntries);
    JournalSearchWindow& w = *f.window;

    auto chosen = f.openAndRun([&] { return w.chooseForEntry(QString(), QStringLiteral("Physics"), 4); },
                               [&] {
                                   EXPECT_TRUE(QTest::qWaitFor(
                                       [&] { return f.currentName() == QStringLiteral("Physics Letters"); }));
                                   w.assignButton()->click();
                               });
    EXPECT_EQ(chosen, (Journal{QStringLiteral("Physics Letters"), QStringLiteral("30")}));

    // Double click on a row assigns it.
    chosen = f.openAndRun([&] { return w.chooseForEntry(QString(), QStringLiteral("Annals"), 6); },
                          [&] {
                              EXPECT_TRUE(QTest::qWaitFor(
                                  [&] { return f.currentName() == QStringLiteral("Annals of Physics"); }));
                              const QModelIndex index = w.grid()->currentIndex();
                              QWidget* viewport = w.grid()->viewport();
                              const QPoint at = w.grid()->visualRect(index).center();
                              QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
                              QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
                          });
    EXPECT_EQ(chosen, (Journal{QStringLiteral("Annals of Physics"), QStringLiteral("25")}));

    // "wróć" changes nothing.
    chosen = f.openAndRun([&] { return w.chooseForEntry(QString(), QStringLiteral("Journal"), 4); },
                          [&] { w.backButton()->click(); });
    EXPECT_FALSE(chosen);
}

TEST(JournalWindow, GroupIdentification)
{
    JournalWindow f(kEntries);
    JournalSearchWindow& w = *f.window;
    ListGridView grid;
    grid.setHeaders({QStringLiteral("Czasopismo"), QStringLiteral("Tytuł"), QStringLiteral("Autor (Autorzy)"),
                     QStringLiteral("Rok, nr, str."), QStringLiteral("Czasopismo z listy MNiSW."),
                     QStringLiteral("L.punktów")});
    grid.clearData();

    // An empty list: the message, and no window.
    EXPECT_FALSE(w.identifyGroup(&grid));
    EXPECT_EQ(f.messages.shown, QStringList{QStringLiteral("W wykazie brak pozycji do identyfikacji.")});
    EXPECT_FALSE(w.isVisible());

    grid.setDataRows({{QStringLiteral("Appl. Phys."), QStringLiteral("t1")},
                      {QStringLiteral("Applied Phys"), QStringLiteral("t2")},
                      {QStringLiteral("Appl Physics"), QStringLiteral("t3")}});
    grid.setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid.selectDataRow(1);
    grid.selectionModel()->select(QItemSelection(grid.model()->index(1, 0), grid.model()->index(2, 0)),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);

    bool changed = f.openAndRun([&] { return w.identifyGroup(&grid); }, [&] {
        // The groups of journals missing from list B, changeable, with the current row's journal as
        // text and no search of its own.
        EXPECT_EQ(w.kindBox()->currentIndex(), JournalSearchWindow::MissingFromListB);
        EXPECT_TRUE(w.kindBox()->isEnabled());
        EXPECT_EQ(w.beginningField()->text(), QStringLiteral("Applied Phys"));
        QTest::qWait(250);
        EXPECT_EQ(f.currentName(), QStringLiteral("Applied Physics")); // first row of that part
        EXPECT_EQ(f.messages.shown.size(), 1);
        w.grid()->setCurrentIndex(w.grid()->model()->index(1, 0));
        w.assignButton()->click();
    });
    EXPECT_TRUE(changed);
    EXPECT_EQ(grid.cell(4, 1), QString());
    EXPECT_EQ(grid.cell(4, 2), QStringLiteral("ŁÓDZKIE STUDIA TEOLOGICZNE"));
    EXPECT_EQ(grid.cell(5, 2), QStringLiteral("6,00")); // the editor's amount format, as typed rows
    EXPECT_EQ(grid.cell(4, 3), QStringLiteral("ŁÓDZKIE STUDIA TEOLOGICZNE"));

    // Going back leaves the rows alone.
    changed = f.openAndRun([&] { return w.identifyGroup(&grid); }, [&] { w.backButton()->click(); });
    EXPECT_FALSE(changed);
    EXPECT_EQ(grid.cell(5, 3), QStringLiteral("6,00"));
}

TEST(JournalWindow, GroupIdentificationWithoutMissingGroupsShowsTheWholeListAndSaysWhy)
{
    // Like the shipped list: journals of parts A and B only.
    JournalWindow f({{"Acta Physica Polonica B", 15, 0}, {"Annals of Physics", 40, 0}, {"Applied Physics", 10, 1}});
    JournalSearchWindow& w = *f.window;
    ListGridView grid;
    grid.setHeaders({QStringLiteral("Czasopismo"), QStringLiteral("Tytuł"), QStringLiteral("Autor (Autorzy)"),
                     QStringLiteral("Rok, nr, str."), QStringLiteral("Czasopismo z listy MNiSW."),
                     QStringLiteral("L.punktów")});
    grid.setDataRows({{QStringLiteral("Annals Phys."), QStringLiteral("t1")}});
    grid.selectDataRow(0);

    const bool changed = f.openAndRun([&] { return w.identifyGroup(&grid); }, [&] {
        EXPECT_EQ(f.rows(), 3);
        EXPECT_EQ(w.kindBox()->currentIndex(), JournalSearchWindow::AllJournals);
        EXPECT_TRUE(w.kindBox()->isEnabled());
        EXPECT_FALSE(w.statusLine()->isHidden());
        EXPECT_TRUE(w.statusLine()->text().contains(QStringLiteral("cała lista")));
        w.grid()->setFocus();
        QTest::keyClick(w.grid(), Qt::Key_Home);
        QTest::keyClick(w.grid(), Qt::Key_Down);
        EXPECT_EQ(f.currentName(), QStringLiteral("Annals of Physics"));
        QTest::mouseClick(w.assignButton(), Qt::LeftButton);
    });
    EXPECT_TRUE(changed);
    EXPECT_EQ(grid.cell(4, 1), QStringLiteral("Annals of Physics"));
    EXPECT_EQ(grid.cell(5, 1), QStringLiteral("40,00"));
}

// With VESTRUM_SHOTS set to a folder, the window with a fragment search over the shipped list is
// written there as a picture.
TEST(JournalWindow, PictureOfAFragmentSearch)
{
    const QString folder = qEnvironmentVariable("VESTRUM_SHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "VESTRUM_SHOTS not set";
    JournalWindow f({});
    JournalSearchWindow& w = *f.window;
    w.prepareForGroup(QString());
    w.kindBox()->setCurrentIndex(JournalSearchWindow::AllJournals);
    w.resize(640, 480);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    typeOver(w.fragmentField(), QStringLiteral("łódz"));
    w.findFragmentButton()->click();
    w.nextButton()->click();
    QTest::qWait(100);
    QDir().mkpath(folder);
    EXPECT_TRUE(w.grab().save(QDir(folder).filePath(QStringLiteral("lista_mnii_fragment.png"))));
    w.hide();
}

// --- "Nieprzypisane czasopisma" -----------------------------------------------------------------

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Presses a key on whatever has the focus, as the user's keyboard does.
void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    QTest::keyClick(focused, static_cast<Qt::Key>(key), modifiers);
}

lists::ListGrid publications(const std::vector<const char*>& journals)
{
    lists::ListGrid grid({S("Czasopismo"), S("Tytuł"), S("Autor (Autorzy)"), S("Rok, nr, str."),
                          S("Czasopismo z listy MNiSW."), S("L.punktów")});
    std::vector<QStringList> rows;
    int n = 0;
    for (const char* journal : journals)
        rows.push_back({S(journal), QStringLiteral("t%1").arg(++n), S("a"), S("2009"), QString(), S("0")});
    grid.setRows(std::move(rows));
    return grid;
}

} // namespace

TEST(UnmatchedJournalsWindow, KeyboardAloneAssignsSkipsSearchesAndMarksTitles)
{
    JournalWindow f(kEntries);
    UnmatchedJournalsWindow w(f.program);
    std::optional<Journal> found = Journal{S("Annals of Physics"), S("25")};
    QStringList searchedFor;
    w.setJournalSearch([&](const QString& title) {
        searchedFor << title;
        return found;
    });
    lists::ListGrid grid = publications({"Physcs Letters", "Zeszyty Wydziału", "physcs letters", "Anals of Physic",
                                         "Acta Physica Polonica", "Nieznane"});
    ASSERT_TRUE(w.prepare(grid, 4, f.list.sharedMatcher()));
    EXPECT_EQ(w.windowTitle(), S("Nieprzypisane czasopisma"));
    // Most rows first, then the Polish order of titles.
    ASSERT_EQ(w.titleTable()->rowCount(), 5);
    EXPECT_EQ(w.titleTable()->item(0, 0)->text(), S("Physcs Letters"));
    EXPECT_EQ(w.titleTable()->item(0, 1)->text(), S("2"));
    EXPECT_EQ(w.titleTable()->item(1, 0)->text(), S("Acta Physica Polonica"));
    EXPECT_TRUE(w.heading()->text().contains(S("5 tytułów w 6 pozycjach")));

    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(QApplication::focusWidget(), w.titleTable());

    // Enter goes to the suggestions, Enter there assigns the first one to both rows of the title.
    EXPECT_TRUE(w.suggestionList()->item(0)->text().startsWith(S("Physics Letters — 30 pkt, część B")));
    press(Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.suggestionList());
    press(Qt::Key_Return);
    EXPECT_EQ(grid.cell(lists::kListedJournalColumn, 0), S("Physics Letters"));
    EXPECT_EQ(grid.cell(lists::kPointsColumn, 2), S("30,00"));
    EXPECT_EQ(w.changedRows(), 2);
    EXPECT_EQ(w.titleTable()->rowCount(), 4);
    EXPECT_EQ(QApplication::focusWidget(), w.titleTable());

    // "Acta Physica Polonica" is near both parts A and B: Down chooses the second suggestion.
    EXPECT_EQ(w.titleTable()->item(w.titleTable()->currentRow(), 0)->text(), S("Acta Physica Polonica"));
    ASSERT_GE(w.suggestionList()->count(), 2);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.suggestionList());
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    const QString chosen = grid.cell(lists::kListedJournalColumn, 4);
    EXPECT_TRUE(chosen == S("Acta Physica Polonica A") || chosen == S("Acta Physica Polonica B")) << chosen.toStdString();

    // "pomiń" (Tab to it, Space) leaves the rows and goes on to the next title.
    const QString skipped = w.titleTable()->item(w.titleTable()->currentRow(), 0)->text();
    w.skipButton()->setFocus();
    press(Qt::Key_Space);
    EXPECT_NE(w.titleTable()->item(w.titleTable()->currentRow(), 0)->text(), skipped);
    EXPECT_EQ(w.titleTable()->rowCount(), 3);

    // "szukaj na liście": the journal found there fills the title's rows.
    w.titleTable()->setFocus();
    press(Qt::Key_Home, Qt::ControlModifier);
    while (w.titleTable()->item(w.titleTable()->currentRow(), 0)->text() != S("Anals of Physic"))
        press(Qt::Key_Down);
    w.searchButton()->setFocus();
    press(Qt::Key_Space);
    EXPECT_EQ(searchedFor, QStringList{S("Anals of Physic")});
    EXPECT_EQ(grid.cell(lists::kListedJournalColumn, 3), S("Annals of Physics"));
    EXPECT_EQ(grid.cell(lists::kPointsColumn, 3), S("25,00"));

    // "nie ma na liście": the title is not offered again in this kind of list.
    while (w.titleTable()->item(w.titleTable()->currentRow(), 0)->text() != S("Nieznane"))
        w.titleTable()->setCurrentCell(w.titleTable()->currentRow() + 1, 0);
    w.absentButton()->setFocus();
    press(Qt::Key_Space);
    EXPECT_TRUE(w.absentTitles(4).contains(S("nieznane")));
    ASSERT_TRUE(w.isVisible());
    press(Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(grid.cell(lists::kListedJournalColumn, 1), QString()); // skipped: untouched

    ASSERT_TRUE(w.prepare(grid, 4, f.list.sharedMatcher()));
    EXPECT_EQ(w.titleTable()->rowCount(), 1); // "Zeszyty Wydziału" only
    EXPECT_TRUE(w.absentTitles(5).isEmpty());
    // Once its text changes, a title marked absent is offered again.
    grid.setCell(lists::kJournalColumn, 5, S("Nieznane II"));
    ASSERT_TRUE(w.prepare(grid, 4, f.list.sharedMatcher()));
    EXPECT_EQ(w.titleTable()->rowCount(), 2);
    // Nothing left to offer: nothing to show.
    lists::ListGrid done = publications({});
    EXPECT_FALSE(w.prepare(done, 4, f.list.sharedMatcher()));
}

// With VESTRUM_SHOTS set to a folder, the window with 200 unmatched titles over the shipped list is
// written there as a picture; with VESTRUM_SHOW_MS it also stays on screen that long.
TEST(UnmatchedJournalsWindow, PictureOfTwoHundredTitles)
{
    const QString folder = qEnvironmentVariable("VESTRUM_SHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "VESTRUM_SHOTS not set";
    JournalWindow f({});
    UnmatchedJournalsWindow w(f.program);
    std::vector<QByteArray> typed;
    for (int i = 0; i < 200; ++i) {
        // Listed titles misspelt (a letter dropped), and some that no journal resembles.
        QString name = f.list.journal((i * 7919) % f.list.count()).name;
        if (i % 5 == 4)
            name = QStringLiteral("Zeszyty Naukowe Wydziału Zamiejscowego nr %1").arg(i);
        else
            name.remove(name.size() / 2, 1);
        typed.push_back(name.toUtf8());
    }
    std::vector<const char*> journals;
    for (const QByteArray& t : typed) {
        journals.push_back(t.constData());
        if (journals.size() % 7 == 0)
            journals.push_back(t.constData()); // a few titles on two rows
    }
    lists::ListGrid grid = publications(journals);
    ASSERT_TRUE(w.prepare(grid, 4, f.list.sharedMatcher()));
    EXPECT_EQ(w.titleTable()->rowCount(), 200);
    w.resize(900, 600);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(100);
    QDir().mkpath(folder);
    EXPECT_TRUE(w.grab().save(QDir(folder).filePath(QStringLiteral("nieprzypisane_czasopisma.png"))));
    QTest::qWait(qEnvironmentVariableIntValue("VESTRUM_SHOW_MS"));
    w.hide();
}
