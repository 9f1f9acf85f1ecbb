#include "gui/main/chooser.h"
#include "gui/common/accessible_names.h"
#include "survey/form_catalogue.h"
#include "gui/common/hints_panel.h"
#include "gui/main/section_chooser.h"
#include "gui/main/section_page.h"
#include "gui/main/main_window.h"
#include "gui/common/list_grid_view.h"
#include "support/temp_survey.h"
#include "gui/main/section_io.h"
#include "gui/common/user_font.h"
#include "typing.h"

#include <QAccessible>
#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <QHeaderView>
#include <tuple>

using namespace vestrum;
using vestrum::testing::pressKey;
using vestrum::testing::tabUntil;
using vestrum::testing::focusHolderName;
using vestrum::testing::typeOver;
using vestrum::testing::ScriptedMessages;

namespace {

// Records what the window asked of the data routines; a tag can be set to refuse its save.
class RecordingOperations : public SectionOperations {
public:
    std::vector<int> saved, loaded, opened;
    int refuseTag = -1;
    std::optional<int> editorCount;

    bool SaveSection(int tag) override
    {
        if (tag == refuseTag)
            return false;
        saved.push_back(tag);
        return true;
    }
    void LoadSection(int tag) override { loaded.push_back(tag); }
    std::optional<int> OpenListEditor(int kind) override
    {
        opened.push_back(kind);
        return editorCount;
    }
    std::vector<int> versions;
    void PkdVersionChosen(int version) override { versions.push_back(version); }
};

HintTable sourceHints()
{
    return HintTable::load(QFileInfo(QStringLiteral(VESTRUM_FIXTURES "/../../resources/hints")).absoluteFilePath());
}

struct MainWindowTest : ::testing::Test {
    ScriptedMessages messages;
    SystemClock clock;
    Program program{messages, clock};
    RecordingOperations ops;
    std::unique_ptr<MainWindow> window;

    void SetUp() override
    {
        window = std::make_unique<MainWindow>(program);
        window->setSectionOperations(ops);
        window->setHintTable(sourceHints());
        window->resize(1000, 700);
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override { window->closeWithoutQuestions(); }

    SectionPageWidget* page(int tag) { return window->pageByTag(tag); }
    QPushButton* button(int tag, const char* which)
    {
        return window->findChild<QPushButton*>(QString::fromLatin1(which) + QString::number(tag));
    }
    int questionsShown() const
    {
        return static_cast<int>(std::count(messages.shown.begin(), messages.shown.end(), MainWindow::pendingEditQuestion()));
    }
};

QColor base(QWidget* w) { return w->palette().color(QPalette::Disabled, QPalette::Base); }

} // namespace

TEST_F(MainWindowTest, EveryLabelAndControlOfTheCatalogueIsOnTheWindow)
{
    const auto& catalogue = form::FormCatalogue();
    ASSERT_EQ(catalogue.size(), 24u);
    ASSERT_EQ(form::SectionChooserItems().size(), 24);
    for (int s = 0; s < 24; ++s) {
        EXPECT_EQ(window->sectionChooser()->itemText(s), form::SectionChooserItems()[s]);
        QWidget* holder = window->pageControl()->widget(s);
        ASSERT_NE(holder, nullptr) << s;
        EXPECT_EQ(holder->objectName(), catalogue[s].pageName);
        for (const form::Page& p : catalogue[s].pages) {
            SectionPageWidget* w = nullptr;
            for (SectionPageWidget* candidate : window->pages())
                if (&candidate->page() == &p)
                    w = candidate;
            ASSERT_NE(w, nullptr);
            EXPECT_TRUE(holder->isAncestorOf(w));
            QStringList labels;
            for (QLabel* l : w->findChildren<QLabel*>())
                labels << l->text();
            for (const form::Row& row : p.rows) {
                if (!row.label.isEmpty()) {
                    EXPECT_TRUE(labels.contains(row.label)) << row.label.toStdString();
                }
                for (const QString& caption : row.captions) {
                    EXPECT_TRUE(labels.contains(caption)) << caption.toStdString();
                }
                for (const form::Control& c : row.controls) {
                    QWidget* control = w->control(c.name);
                    ASSERT_NE(control, nullptr) << c.name.toStdString();
                    if (c.kind == form::ControlKind::ListButton) {
                        EXPECT_EQ(qobject_cast<QPushButton*>(control)->text(), QStringLiteral("wykaz (0 pozycji)"));
                    }
                    if (c.kind == form::ControlKind::DropDown) {
                        auto* combo = qobject_cast<QComboBox*>(control);
                        ASSERT_NE(combo, nullptr);
                        QStringList items;
                        for (int i = 0; i < combo->count(); ++i)
                            items << combo->itemText(i);
                        EXPECT_EQ(items, c.items);
                    }
                }
            }
            if (p.editable()) {
                ASSERT_NE(w->editButton(), nullptr);
                EXPECT_EQ(w->editButton()->text(), p.editCaption);
                EXPECT_EQ(w->saveButton()->text(), QStringLiteral("zapisz zmiany"));
                EXPECT_EQ(w->discardButton()->text(), QString::fromUtf8("pomiń zmiany"));
            }
        }
        if (catalogue[s].hasSubPages()) {
            QTabWidget* tabs = window->subPageControl(s);
            ASSERT_NE(tabs, nullptr);
            EXPECT_EQ(tabs->objectName(), catalogue[s].subPageControl);
            for (int i = 0; i < tabs->count(); ++i)
                EXPECT_EQ(tabs->tabText(i), catalogue[s].pages[i].title);
        }
    }
    // The grids carry the headers of their list kinds.
    EXPECT_EQ(page(22)->grid()->headers().value(2), QStringLiteral("Rok produkcji "));
    EXPECT_EQ(page(21)->grid()->columnCount(), 5);
}

TEST_F(MainWindowTest, StartsOnTheYearPageInViewMode)
{
    EXPECT_EQ(window->pageControl()->currentIndex(), 0);
    EXPECT_EQ(window->shownPage(), page(100));
    EXPECT_FALSE(page(100)->inEditMode());
    EXPECT_FALSE(window->control(QStringLiteral("c000"))->isEnabled());
    EXPECT_FALSE(program.state.PendingEdit);
    // The edit mode colours: view, then white; the sums keep their grey in both.
    SectionPageWidget* s3 = page(3);
    auto* field = s3->control(QStringLiteral("me311"));
    auto* sum = s3->control(QStringLiteral("me361"));
    EXPECT_EQ(base(field), QColor(244, 244, 234));
    window->chooseSection(2);
    window->EnterEditMode(s3);
    EXPECT_TRUE(field->isEnabled());
    EXPECT_EQ(field->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(sum->palette().color(QPalette::Base), SumColour());
    EXPECT_TRUE(program.state.PendingEdit);
    EXPECT_TRUE(s3->saveButton()->isVisibleTo(s3));
    EXPECT_FALSE(s3->editButton()->isVisibleTo(s3));
}

TEST_F(MainWindowTest, SectionChangeInEditModeAsksOnceAndStoresOrRestores)
{
    window->chooseSection(3);
    window->EnterEditMode(page(4));
    messages.answer(MessageAnswer::Yes);
    window->chooseSection(4);
    EXPECT_EQ(questionsShown(), 1);
    ASSERT_FALSE(messages.requests.isEmpty());
    EXPECT_EQ(messages.requests.last().number, 3);
    EXPECT_EQ(ops.saved, std::vector<int>{4});
    EXPECT_FALSE(page(4)->inEditMode());
    EXPECT_FALSE(program.state.PendingEdit);
    EXPECT_EQ(window->pageControl()->currentIndex(), 4);

    window->EnterEditMode(page(5));
    messages.answer(MessageAnswer::No);
    window->chooseSection(5);
    EXPECT_EQ(questionsShown(), 2);
    EXPECT_EQ(ops.loaded, std::vector<int>{5});
    EXPECT_EQ(ops.saved, std::vector<int>{4});
    EXPECT_FALSE(program.state.PendingEdit);
    EXPECT_EQ(window->pageControl()->currentIndex(), 5);

    // Silenced after a "Tak": later changes store without asking.
    window->EnterEditMode(page(6));
    messages.answer(MessageAnswer::Yes, true);
    window->chooseSection(16);
    window->EnterEditMode(page(18));
    window->chooseSection(17);
    EXPECT_EQ(questionsShown(), 3);
    EXPECT_EQ(ops.saved, (std::vector<int>{4, 6, 18}));

    // Without an edit nothing is asked.
    window->chooseSection(0);
    EXPECT_EQ(questionsShown(), 3);
}

TEST_F(MainWindowTest, AddressDataStoredWhenLeftForTheDisciplines)
{
    window->chooseSubPage(0, 2);
    EXPECT_EQ(window->shownPage(), page(102));
    window->EnterEditMode(page(102));
    EXPECT_TRUE(window->control(QStringLiteral("e011"))->hasFocus() || !window->isActiveWindow());
    messages.answer(MessageAnswer::Yes);
    window->chooseSubPage(0, 3);
    EXPECT_EQ(ops.saved, std::vector<int>{102});
    EXPECT_FALSE(page(102)->inEditMode());
    EXPECT_FALSE(page(103)->inEditMode());
    EXPECT_FALSE(program.state.PendingEdit);
    EXPECT_FALSE(page(103)->chooser()->catalogue()->isEnabled());
}

TEST_F(MainWindowTest, RefusedSaveKeepsEditModeButAPendingCheckMovesOn)
{
    window->chooseSection(16);
    SectionPageWidget* s17 = page(18);
    window->EnterEditMode(s17);
    ops.refuseTag = 18;
    s17->saveButton()->click();
    EXPECT_TRUE(s17->inEditMode());
    EXPECT_TRUE(program.state.PendingEdit);

    messages.answer(MessageAnswer::Yes);
    window->chooseSection(17);
    EXPECT_EQ(window->pageControl()->currentIndex(), 17);
    EXPECT_FALSE(program.state.PendingEdit);
    EXPECT_TRUE(ops.saved.empty());
    // Nothing stored; the page shows the stored values again instead of staying editable.
    EXPECT_FALSE(s17->inEditMode());
    EXPECT_EQ(ops.loaded, std::vector<int>{18});
}

TEST_F(MainWindowTest, SetSectionEditableLeavesRowsMarkedOneAlone)
{
    window->chooseSection(6);
    SectionPageWidget* s7 = page(7);
    auto* rights = s7->control(QStringLiteral("BitBtn36"));
    EXPECT_TRUE(rights->isEnabled());
    EXPECT_FALSE(s7->control(QStringLiteral("me711"))->isEnabled());
    window->SetSectionEditable(s7, true);
    EXPECT_TRUE(rights->isEnabled());
    window->SetSectionEditable(s7, false);
    EXPECT_TRUE(rights->isEnabled());
    EXPECT_FALSE(s7->control(QStringLiteral("me711"))->isEnabled());

    // The licence counts and the publication total stay usable too.
    EXPECT_TRUE(window->control(QStringLiteral("me1519_1"))->isEnabled());
    EXPECT_TRUE(window->control(QStringLiteral("me8"))->isEnabled());
}

TEST_F(MainWindowTest, EnterMovesThroughRowsAndAcrossTheTables)
{
    window->activateWindow();
    (void)QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000);
    window->chooseSection(2);
    SectionPageWidget* s3 = page(3);
    window->EnterEditMode(s3);
    auto key = [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); };
    auto* me311 = s3->control(QStringLiteral("me311"));
    me311->setFocus();
    key(me311);
    EXPECT_EQ(QApplication::focusWidget(), s3->control(QStringLiteral("me312")));
    s3->control(QStringLiteral("me313"))->setFocus();
    key(s3->control(QStringLiteral("me313")));
    EXPECT_EQ(QApplication::focusWidget(), s3->control(QStringLiteral("me314")));
    key(s3->control(QStringLiteral("me314")));
    EXPECT_EQ(QApplication::focusWidget(), s3->control(QStringLiteral("me321")));
    // From the last row (the sums are skipped) to "zapisz zmiany".
    s3->control(QStringLiteral("me354"))->setFocus();
    key(s3->control(QStringLiteral("me354")));
    EXPECT_EQ(QApplication::focusWidget(), s3->saveButton());

    messages.answer(MessageAnswer::No);
    window->chooseSection(4);
    window->EnterEditMode(page(5));
    auto* me53 = page(5)->control(QStringLiteral("me53"));
    me53->setFocus();
    key(me53); // over the group heading
    EXPECT_EQ(QApplication::focusWidget(), page(5)->control(QStringLiteral("me54")));

    messages.answer(MessageAnswer::No);
    window->chooseSection(6);
    window->EnterEditMode(page(7));
    auto* me711 = page(7)->control(QStringLiteral("me711"));
    me711->setFocus();
    key(me711);
    EXPECT_EQ(QApplication::focusWidget(), page(7)->control(QStringLiteral("me712")));
    key(page(7)->control(QStringLiteral("me712")));
    EXPECT_EQ(QApplication::focusWidget(), page(7)->control(QStringLiteral("me721")));
}

TEST_F(MainWindowTest, DisciplineChooserAddsOnceRemovesAndSearches)
{
    window->chooseSubPage(0, 3);
    SectionPageWidget* p = page(103);
    window->EnterEditMode(p);
    CodeChooserWidget* chooser = p->chooser();
    EXPECT_EQ(chooser->catalogueHeaders(), (QStringList{QStringLiteral("kod"), QStringLiteral("* dyscyplina")}));
    EXPECT_EQ(chooser->catalogue()->topLevelItemCount(), 64);

    EXPECT_FALSE(chooser->addSelected()); // nothing selected
    chooser->setSearchText(QStringLiteral("fizyk"));
    ASSERT_TRUE(chooser->search());
    EXPECT_EQ(chooser->catalogueName(chooser->selectedCatalogueRow()), QStringLiteral("fizyka"));
    EXPECT_TRUE(chooser->addSelected());
    EXPECT_FALSE(chooser->addSelected());
    EXPECT_EQ(chooser->chosenLines(), QStringList{QStringLiteral("25 - fizyka")});

    // Sorted by code, the first match from the top is geofizyka (17).
    chooser->sortByColumn(0);
    EXPECT_EQ(chooser->catalogueHeaders(), (QStringList{QStringLiteral("* kod"), QStringLiteral("dyscyplina")}));
    ASSERT_TRUE(chooser->search());
    EXPECT_EQ(chooser->catalogueName(chooser->selectedCatalogueRow()), QStringLiteral("geofizyka"));
    emit chooser->catalogue()->itemDoubleClicked(chooser->catalogue()->currentItem(), 1);
    EXPECT_EQ(chooser->chosenLines().size(), 2);

    // Not found: its message, and the selection stays.
    const int before = chooser->selectedCatalogueRow();
    chooser->setSearchText(QStringLiteral("xyz"));
    EXPECT_FALSE(chooser->search());
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(), QString::fromUtf8("Nie znaleziono dyscypliny zawierającej podany ciąg znaków"));
    EXPECT_EQ(chooser->selectedCatalogueRow(), before);

    chooser->chosen()->selectAll();
    qobject_cast<QPushButton*>(p->control(QStringLiteral("b026")))->click();
    EXPECT_TRUE(chooser->chosenLines().isEmpty());

    // The classification chooser starts sorted by code on the 2007 edition and has its own message.
    CodeChooserWidget* pkd = page(104)->chooser();
    ASSERT_FALSE(pkd->catalogueHeaders().isEmpty());
    EXPECT_EQ(pkd->catalogueHeaders().first(), QStringLiteral("* kod"));
    EXPECT_TRUE(qobject_cast<QAbstractButton*>(page(104)->control(QStringLiteral("rb032")))->isChecked());
    // A click on a long name keeps the codes in view: the catalogue does not scroll sideways.
    window->chooseSubPage(0, 4);
    window->EnterEditMode(page(104));
    QTreeWidget* codes = pkd->catalogue();
    codes->resize(260, 200);
    QApplication::processEvents();
    ASSERT_GT(codes->header()->sectionSize(1), codes->viewport()->width()); // names wider than the view
    QTest::mouseClick(codes->viewport(), Qt::LeftButton, {}, QPoint(codes->viewport()->width() - 20, 8));
    EXPECT_GE(pkd->selectedCatalogueRow(), 0);
    EXPECT_EQ(codes->horizontalScrollBar()->value(), 0);
    QTest::keyClick(codes, Qt::Key_Down);
    EXPECT_EQ(codes->horizontalScrollBar()->value(), 0);
    pkd->setSearchText(QStringLiteral("qqqq"));
    EXPECT_FALSE(pkd->search());
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(),
              QString::fromUtf8("Nie znaleziono opisu działalności zawierającej podany ciąg znaków"));
}

TEST_F(MainWindowTest, GridSortsByHeaderAndFitsColumns)
{
    window->chooseSection(1);
    ListGridView* grid = page(2)->grid();
    QString longText;
    for (int i = 0; i < 40; ++i)
        longText += QStringLiteral("wyraz%1 ").arg(i);
    grid->setDataRows({{QStringLiteral("b"), longText, QString(), QStringLiteral("1")},
                       {QStringLiteral("A"), longText, QString(), QStringLiteral("2")},
                       {QStringLiteral("a"), longText, QString(), QStringLiteral("3")}});
    QHeaderView* headerRow = grid->horizontalHeader();
    QTest::mouseClick(headerRow->viewport(), Qt::LeftButton, {},
                      QPoint(headerRow->sectionViewportPosition(0) + 20, headerRow->height() / 2));
    EXPECT_EQ(grid->cell(0, 0), QStringLiteral("* Nazwisko i imię"));
    EXPECT_EQ(grid->cell(3, 1), QStringLiteral("2"));
    EXPECT_EQ(grid->cell(3, 2), QStringLiteral("3"));
    EXPECT_EQ(grid->cell(3, 3), QStringLiteral("1"));
    EXPECT_EQ(grid->currentDataRow(), 0);

    grid->resize(300, 200);
    FitGridColumns(grid);
    // Narrowed columns keep their headers' longest words (the headers wrap); the grid is too narrow
    // for more, so nothing else is left.
    for (int c = 0; c < grid->columnCount(); ++c) {
        int longestWord = 0;
        for (const QString& word : grid->cell(c, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            longestWord = std::max(longestWord, QFontMetrics(grid->headerFont()).horizontalAdvance(word));
        EXPECT_GE(grid->columnWidth(c), longestWord + 8) << c;
        if (c != 1) {
            EXPECT_LE(grid->columnWidth(c), longestWord + 10) << c;
        }
    }
    EXPECT_LT(grid->columnWidth(1), QFontMetrics(grid->font()).horizontalAdvance(longText));
    EXPECT_GT(grid->rowHeight(0), grid->headerHeight()); // the long text wraps

    // The edit button opens the list editor of the grid's kind, double click too.
    page(2)->editButton()->click();
    emit grid->doubleClicked(grid->model()->index(0, 0));
    EXPECT_EQ(ops.opened, (std::vector<int>{0, 0}));
}

TEST_F(MainWindowTest, ListButtonCaptionChangesOnlyAfterASavedEditor)
{
    window->chooseSection(7);
    auto* bb801 = qobject_cast<QPushButton*>(window->control(QStringLiteral("bb801")));
    bb801->click();
    EXPECT_EQ(bb801->text(), QStringLiteral("wykaz (0 pozycji)"));
    ops.editorCount = 12;
    bb801->click();
    EXPECT_EQ(bb801->text(), QStringLiteral("liczba=12 -> wykaz"));
    EXPECT_EQ(ops.opened, (std::vector<int>{3, 3}));
}

TEST_F(MainWindowTest, HintsPanelFollowsPagesAndTheSetting)
{
    HintsPanelWidget* panel = window->hintsPanel();
    EXPECT_TRUE(panel->isVisibleTo(window.get())); // hint 1 on "Rok sprawozdawczy"
    EXPECT_TRUE(panel->hintText().startsWith(QString::fromUtf8("Jednostka wypełniająca")));
    window->chooseSection(1); // hint 6 has no text
    EXPECT_FALSE(panel->isVisibleTo(window.get()));
    window->chooseSection(2);
    EXPECT_TRUE(panel->isVisibleTo(window.get()));
    EXPECT_FALSE(panel->hintText().contains(QStringLiteral("<br>")));

    panel->closeButton()->click();
    EXPECT_EQ(program.state.Flags.flag(23), 0);
    EXPECT_FALSE(panel->isVisibleTo(window.get()));
    window->chooseSection(4);
    EXPECT_FALSE(panel->isVisibleTo(window.get()));

    window->menuAction(QStringLiteral("Pokazuj podpowiedzi i wyjaśnienia"))->trigger();
    EXPECT_EQ(program.state.Flags.flag(23), 1);
    window->chooseSection(5);
    EXPECT_TRUE(panel->isVisibleTo(window.get()));
    window->chooseSubPage(0, 0);
    window->chooseSection(19); // section 20 hides the panel
    EXPECT_FALSE(panel->isVisibleTo(window.get()));
}

TEST_F(MainWindowTest, MenuCommandsConfirmThePendingEditFirst)
{
    QAction* load = window->menuAction(QStringLiteral("Wczytaj dane"));
    ASSERT_NE(load, nullptr);
    EXPECT_FALSE(load->isEnabled()); // its window comes later
    EXPECT_TRUE(window->menuAction(QStringLiteral("Koniec"))->isEnabled());
    EXPECT_FALSE(window->menuAction(QStringLiteral("Ustawienia serwera proxy"))->isVisible());

    bool ran = false;
    window->setMenuCommand(QStringLiteral("Wczytaj dane"), [&] {
        ran = true;
        EXPECT_FALSE(program.state.PendingEdit);
    });
    window->chooseSection(3);
    window->EnterEditMode(page(4));
    messages.answer(MessageAnswer::Yes);
    load->trigger();
    EXPECT_TRUE(ran);
    EXPECT_EQ(ops.saved, std::vector<int>{4});

    // "Pokazuj podpowiedzi" is not one of them.
    window->EnterEditMode(page(4));
    window->menuAction(QStringLiteral("Pokazuj podpowiedzi i wyjaśnienia"))->trigger();
    EXPECT_TRUE(program.state.PendingEdit);

    // "Koniec" saves or discards the edit before the closing question, even when the user then stays.
    messages.shown.clear();
    messages.answer(MessageAnswer::Yes); // save the edit
    messages.answer(MessageAnswer::No);  // close? no
    window->menuAction(QStringLiteral("Koniec"))->trigger();
    EXPECT_EQ(ops.saved, (std::vector<int>{4, 4}));
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown[1].startsWith(QStringLiteral("Czy na pewno chcesz zakończyć")));
    EXPECT_FALSE(program.state.PendingEdit);
}

TEST_F(MainWindowTest, FieldContextMenuCutsCopiesPastesAndDeletes)
{
    auto* e = qobject_cast<QLineEdit*>(window->control(QStringLiteral("e001")));
    window->chooseSubPage(0, 1);
    window->EnterEditMode(page(101));
    typeOver(e, QString::fromUtf8("Łódź"));
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    std::unique_ptr<QMenu> menu(SectionPageWidget::createFieldMenu(e, nullptr));
    QStringList captions;
    for (QAction* a : menu->actions())
        captions << a->text();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Wytnij"), QStringLiteral("Kopiuj"), QStringLiteral("Wklej"),
                                     QString::fromUtf8("Usuń")}));
    ASSERT_EQ(menu->actions().size(), 4);
    menu->actions()[0]->trigger();
    EXPECT_TRUE(e->text().isEmpty());
    menu->actions()[2]->trigger();
    EXPECT_EQ(e->text(), QString::fromUtf8("Łódź"));
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    menu->actions()[3]->trigger();
    EXPECT_TRUE(e->text().isEmpty());
}

TEST_F(MainWindowTest, SubPageRulesOfSectionsEightAndTwenty)
{
    window->chooseSection(7);
    window->chooseSubPage(7, 3);
    window->EnterEditMode(page(8));
    messages.answer(MessageAnswer::Yes);
    window->chooseSubPage(7, 0);
    EXPECT_EQ(ops.saved, std::vector<int>{8});
    EXPECT_FALSE(page(8)->inEditMode());

    window->chooseSection(19);
    EXPECT_EQ(window->shownPage(), page(21));
    window->chooseSubPage(19, 1);
    window->EnterEditMode(page(25)); // "dodaj, usuń lub zmień" on "Systemy jakości" is an edit mode
    EXPECT_TRUE(page(25)->inEditMode());
    messages.answer(MessageAnswer::No);
    window->chooseSubPage(19, 0);
    EXPECT_EQ(ops.loaded, std::vector<int>{25});
    EXPECT_FALSE(page(25)->inEditMode());
}

// Pages are built when first needed: one built after the user's font was applied gets it as well, its
// grid fitted to it, and tells the section operations it was built so they can hook and load it.
TEST_F(MainWindowTest, APageBuiltAfterTheFontChangeTakesTheUserFont)
{
    struct BuiltPages : RecordingOperations {
        std::vector<int> tags;
        void PageBuilt(int tag, QWidget*) override { tags.push_back(tag); }
    } built;
    window->setSectionOperations(built);
    EXPECT_EQ(built.tags, window->builtPageTags()) << "pages built before are handed over at once";
    const form::PageRef grid = form::PageOfControl(QStringLiteral("sg2"));
    ASSERT_NE(grid.page, nullptr);
    const int gridTag = grid.page->tag;
    ASSERT_FALSE(window->pageBuilt(24));
    ASSERT_FALSE(window->pageBuilt(gridTag));
    SectionPageWidget* before = page(21); // a grid page built before the change, for comparison
    SectionPageWidget* editable = page(23);

    program.state.UserFont = {QStringLiteral("Liberation Serif"), 17};
    window->applyUserFont();
    QWidget* surname = window->control(QStringLiteral("e241"));
    ASSERT_NE(surname, nullptr);
    EXPECT_EQ(surname->font().family(), QStringLiteral("Liberation Serif"));
    EXPECT_EQ(surname->font().pointSize(), 17);
    // Sized from the font as the pages built before were, not only drawn in it.
    EXPECT_EQ(page(gridTag)->grid()->verticalHeader()->defaultSectionSize(),
              before->grid()->verticalHeader()->defaultSectionSize());
    EXPECT_EQ(page(24)->editButton()->height(), editable->editButton()->height());
    EXPECT_GT(page(24)->editButton()->height(), QFontMetrics(QFont(QStringLiteral("Liberation Serif"), 12)).height());
    ASSERT_FALSE(built.tags.empty());
    EXPECT_EQ(built.tags.back(), gridTag);
    EXPECT_NE(std::find(built.tags.begin(), built.tags.end(), 24), built.tags.end());
    window->setSectionOperations(ops);
}

// Screenshots of every page in view and edit mode, for looking at: VESTRUM_SHOTS=<folder>.
TEST_F(MainWindowTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("VESTRUM_SHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "set VESTRUM_SHOTS to a folder to take screenshots";
    QDir().mkpath(folder);
    QStringList longRow;
    for (int c = 0; c < 11; ++c)
        longRow << QString::fromUtf8("Zażółć gęślą jaźń %1 tekst dłuższy niż nagłówek kolumny").arg(c);
    page(22)->grid()->setDataRows({longRow, longRow});
    page(2)->grid()->setDataRows({{QString::fromUtf8("Żółkiewski Stanisław"), QStringLiteral("Dyrektor"),
                                   QStringLiteral("22 123 45 67"), QStringLiteral("dyrektor@example.pl")}});
    for (int size : {12, 16}) {
        program.state.UserFont = {QStringLiteral("Arial"), size};
        window->applyUserFont();
        window->resize(1024, 740);
        const auto& catalogue = form::FormCatalogue();
        ASSERT_EQ(catalogue.size(), 24u);
        for (int s = 0; s < 24; ++s)
            for (int p = 0; p < static_cast<int>(catalogue[s].pages.size()); ++p) {
                messages.answer(MessageAnswer::No);
                window->chooseSection(s);
                window->chooseSubPage(s, p);
                QApplication::processEvents();
                const QString base = QStringLiteral("%1/%2_s%3_%4").arg(folder).arg(size).arg(s + 1, 2, 10, QLatin1Char('0')).arg(p);
                window->grab().save(base + QStringLiteral("_view.png"));
                SectionPageWidget* w = window->page(s, p);
                if (w->page().editable() && w->page().kind != form::PageKind::Grid) {
                    window->EnterEditMode(w);
                    QApplication::processEvents();
                    window->grab().save(base + QStringLiteral("_edit.png"));
                    window->DiscardPage(w);
                }
            }
        window->sectionChooser()->showPopup();
        QApplication::processEvents();
        window->sectionChooser()->view()->window()->grab().save(
            QStringLiteral("%1/%2_chooser.png").arg(folder).arg(size));
        window->sectionChooser()->hidePopup();
    }
    // The menu bar as F10 leaves it: its first title chosen, no menu open.
    window->activateWindow();
    (void)QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_F10);
    QApplication::processEvents();
    window->grab().save(folder + QStringLiteral("/menu_f10.png"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
}

TEST_F(MainWindowTest, TextSectionsUseTheirOwnSaveAndDiscard)
{
    window->chooseSection(23);
    SectionPageWidget* other = page(26);
    auto* text = qobject_cast<QPlainTextEdit*>(other->control(QStringLiteral("m251")));
    EXPECT_FALSE(text->isEnabled());
    EXPECT_EQ(base(text), QColor(244, 244, 234));
    other->editButton()->click();
    EXPECT_TRUE(text->isEnabled());
    EXPECT_EQ(text->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_TRUE(program.state.PendingEdit);
    other->saveButton()->click();
    EXPECT_EQ(ops.saved, std::vector<int>{26});
    EXPECT_FALSE(text->isEnabled());
    EXPECT_FALSE(program.state.PendingEdit);

    window->chooseSection(21);
    page(23)->editButton()->click();
    page(23)->discardButton()->click();
    EXPECT_EQ(ops.loaded, std::vector<int>{23});
    EXPECT_FALSE(page(23)->control(QStringLiteral("m231"))->isEnabled());
    EXPECT_TRUE(page(23)->editButton()->isVisibleTo(page(23)));
}

TEST_F(MainWindowTest, ChoosingFromAUnitDropDownMovesOn)
{
    window->activateWindow();
    (void)QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000);
    window->chooseSubPage(0, 1);
    window->EnterEditMode(page(101));
    auto* kind = qobject_cast<QComboBox*>(window->control(QStringLiteral("c005")));
    kind->setFocus(Qt::TabFocusReason);
    QTest::keyClick(kind, Qt::Key_Down, Qt::AltModifier); // opens the list
    ASSERT_TRUE(kind->view()->isVisible());
    QTest::keyClick(kind->view(), Qt::Key_Down);
    QTest::keyClick(kind->view(), Qt::Key_Return);
    EXPECT_EQ(kind->currentIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), window->control(QStringLiteral("c006")));
    // The patent sub-pages never ask: they have no edit mode.
    messages.answer(MessageAnswer::No);
    window->chooseSection(14);
    const int asked = questionsShown();
    window->chooseSubPage(14, 2);
    EXPECT_EQ(questionsShown(), asked);
}

// Only a real change of the classification version empties the chosen codes.
TEST_F(MainWindowTest, ClickingTheVersionAlreadyShownChangesNothing)
{
    window->chooseSection(0);
    window->chooseSubPage(0, 4);
    SectionPageWidget* p = page(104);
    window->EnterEditMode(p);
    auto* v2004 = qobject_cast<QAbstractButton*>(p->control(QStringLiteral("rb031")));
    auto* v2007 = qobject_cast<QAbstractButton*>(p->control(QStringLiteral("rb032")));
    ASSERT_TRUE(v2007->isChecked());
    v2007->click();
    EXPECT_TRUE(ops.versions.empty());
    v2004->click();
    v2004->click();
    EXPECT_EQ(ops.versions, std::vector<int>{2004});
    v2007->click();
    EXPECT_EQ(ops.versions, (std::vector<int>{2004, 2007}));
}

// The edit button hides itself: the focus goes to the first control of the first row, a list
// button too, and never to the scroll area behind the page.
TEST_F(MainWindowTest, EditModeFocusesTheFirstRowsControlOrStaysOnThePage)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000));
    window->chooseSection(6);
    QTest::mouseClick(page(7)->editButton(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), page(7)->control(QStringLiteral("BitBtn36")));
    messages.answer(MessageAnswer::No);
    window->chooseSection(2);
    QTest::mouseClick(page(3)->editButton(), Qt::LeftButton);
    ASSERT_TRUE(page(3)->inEditMode());
    EXPECT_EQ(QApplication::focusWidget(), page(3));
    // Sections 5 and 17 open on a group heading: the first field below it takes the keystrokes.
    for (const auto& [section, tag, first] : {std::tuple{4, 5, "me51"}, std::tuple{16, 18, "me1801"}}) {
        messages.answer(MessageAnswer::No);
        window->chooseSection(section);
        QTest::mouseClick(page(tag)->editButton(), Qt::LeftButton);
        ASSERT_TRUE(page(tag)->inEditMode());
        EXPECT_EQ(QApplication::focusWidget(), page(tag)->control(QString::fromLatin1(first))) << tag;
    }
}

// A keyboard-only user: Enter presses the focused "wpisz/zmień dane" and "zapisz zmiany", and
// moves on from a drop-down as from a text field.
TEST_F(MainWindowTest, EnterPressesTheFocusedButtonAndMovesOnFromADropDown)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000));
    auto enter = [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); };
    window->chooseSubPage(0, 1);
    page(101)->editButton()->setFocus(Qt::TabFocusReason);
    enter();
    ASSERT_TRUE(page(101)->inEditMode());
    auto* kind = qobject_cast<QComboBox*>(window->control(QStringLiteral("c005")));
    kind->setFocus(Qt::TabFocusReason);
    enter(); // the choice kept as it is
    EXPECT_EQ(QApplication::focusWidget(), window->control(QStringLiteral("c006")));
    enter();
    EXPECT_EQ(QApplication::focusWidget(), window->control(QStringLiteral("e007")));
    page(101)->saveButton()->setFocus(Qt::TabFocusReason);
    enter();
    EXPECT_EQ(ops.saved, std::vector<int>{101});
    EXPECT_FALSE(page(101)->inEditMode());
}

// A field reached with Tab or Shift+Tab has what it holds selected, to be typed over.
TEST_F(MainWindowTest, TabOrShiftTabIntoAFieldSelectsItsText)
{
    auto* superior = qobject_cast<QLineEdit*>(window->control(QStringLiteral("e001")));
    ASSERT_NE(superior, nullptr);
    window->chooseSubPage(0, 1);
    window->EnterEditMode(page(101));
    typeOver(superior, QStringLiteral("Akademia Nauk"));

    QTest::keyClick(superior, Qt::Key_Tab);
    QWidget* next = QApplication::focusWidget();
    ASSERT_NE(next, nullptr);
    ASSERT_NE(next, superior);
    QTest::keyClick(next, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), superior) << focusHolderName();
    EXPECT_EQ(superior->selectedText(), QStringLiteral("Akademia Nauk"));

    QTest::keyClick(superior, Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), superior) << focusHolderName();
    EXPECT_EQ(superior->selectedText(), QStringLiteral("Akademia Nauk"));
}

// F10, Right, Right, Enter opens "Drukowanie" on its first entry and runs nothing; a second Enter
// runs that entry.
TEST_F(MainWindowTest, F10MovesAlongTheMenuTitlesAndEnterOpensBeforeItRuns)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000));
    int printed = 0;
    window->setMenuCommand(QStringLiteral("Widoczny zakres danych"), [&] { ++printed; });
    auto key = [this](Qt::Key k) {
        QWidget* target = QApplication::activePopupWidget();
        if (!target)
            target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        QTest::keyClick(target, k);
        QApplication::processEvents();
    };
    key(Qt::Key_F10);
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    QAction* print = window->menuBar()->actions().value(2);
    ASSERT_EQ(print->text(), QStringLiteral("Drukowanie"));
    EXPECT_EQ(window->menuBar()->activeAction(), print);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    key(Qt::Key_Return);
    ASSERT_EQ(QApplication::activePopupWidget(), print->menu());
    EXPECT_EQ(print->menu()->activeAction(), window->menuAction(QStringLiteral("Widoczny zakres danych")));
    EXPECT_EQ(printed, 0);
    key(Qt::Key_Return);
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// "Koniec" has no submenu; a keyboard-only user still reaches and runs it, with F10 or Alt.
TEST_F(MainWindowTest, KoniecRunsFromTheKeyboard)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000));
    QSignalSpy quit(window->menuAction(QStringLiteral("Koniec")), &QAction::triggered);
    messages.answer(MessageAnswer::No); // "Czy na pewno chcesz zakończyć pracę programu?"
    auto key = [this](Qt::Key k) {
        QWidget* target = QApplication::activePopupWidget();
        if (!target)
            target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        QTest::keyClick(target, k);
        QApplication::processEvents();
    };
    key(Qt::Key_F10);
    EXPECT_EQ(window->menuBar()->activeAction(), window->menuBar()->actions().value(0)) << "F10 selects the first menu";
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "and opens none";
    for (int i = 0; i < 4; ++i)
        key(Qt::Key_Right);
    EXPECT_EQ(window->menuBar()->activeAction(), window->menuAction(QStringLiteral("Koniec")));
    key(Qt::Key_Return);
    EXPECT_EQ(quit.count(), 1);

    // Alt, then round from the first entry to the last.
    messages.answer(MessageAnswer::No);
    QTest::keyPress(window.get(), Qt::Key_Alt, Qt::AltModifier);
    QTest::keyRelease(window.get(), Qt::Key_Alt, Qt::NoModifier);
    QApplication::processEvents();
    key(Qt::Key_Left);
    EXPECT_EQ(window->menuBar()->activeAction(), window->menuAction(QStringLiteral("Koniec")));
    key(Qt::Key_Return);
    EXPECT_EQ(quit.count(), 2);
}

namespace {

// The names of the places a screen reader is told the focus went, for as long as it lives.
struct AnnouncedFocus {
    QStringList names;
    AnnouncedFocus()
    {
        ListenToAnnouncements([this](QObject* control, int child) {
            QAccessibleInterface* announced = QAccessible::queryAccessibleInterface(control);
            if (announced && child >= 0)
                announced = announced->child(child);
            names << (announced ? announced->text(QAccessible::Name) : QStringLiteral("?"));
        });
    }
    ~AnnouncedFocus() { ListenToAnnouncements({}); }
};

// Whether the title is drawn in the palette's highlight, as a title chosen by the keyboard must be.
bool drawnHighlighted(QMenuBar* bar, QAction* title)
{
    const QRect place = bar->actionGeometry(title);
    const QImage drawn = bar->grab(place).toImage();
    const QColor highlight = bar->palette().color(QPalette::Highlight);
    int highlighted = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            highlighted += drawn.pixelColor(x, y) == highlight;
    return highlighted > drawn.width() * drawn.height() / 3;
}

} // namespace

// F10 and a lone Alt show which title they chose and tell a screen reader, as every arrow after them does;
// Esc gives the keyboard back, and either key works again after it.
TEST_F(MainWindowTest, AMenuTitleChosenByTheKeyboardIsDrawnAndAnnounced)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000));
    QMenuBar* bar = window->menuBar();
    const QList<QAction*> titles = bar->actions();
    ASSERT_GE(titles.size(), 2);
    for (const bool byAlt : {true, false}) {
        SCOPED_TRACE(byAlt ? "Alt" : "F10");
        AnnouncedFocus announced;
        QWidget* before = QApplication::focusWidget();
        ASSERT_NE(before, nullptr);
        if (byAlt) {
            QTest::keyPress(window.get(), Qt::Key_Alt, Qt::AltModifier);
            QTest::keyRelease(window.get(), Qt::Key_Alt, Qt::NoModifier);
        } else {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_F10);
        }
        QApplication::processEvents();
        ASSERT_EQ(bar->activeAction(), titles[0]);
        EXPECT_TRUE(drawnHighlighted(bar, titles[0]));
        EXPECT_EQ(announced.names, QStringList{QStringLiteral("Operacje na danych")});

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QApplication::processEvents();
        EXPECT_TRUE(drawnHighlighted(bar, titles[1]));
        EXPECT_FALSE(drawnHighlighted(bar, titles[0]));
        EXPECT_EQ(announced.names.value(1), QStringLiteral("Ustawienia"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QApplication::processEvents();
        EXPECT_FALSE(drawnHighlighted(bar, titles[1]));
        EXPECT_EQ(QApplication::focusWidget(), before) << "Esc gives the keyboard back";
    }
}

// An arrow on a closed drop-down changes its value and nothing else: every value can be reached
// with the arrows. Enter moves on; so does a choice from the opened list (ChoosingFromAUnitDropDownMovesOn).
TEST_F(MainWindowTest, ArrowsOnAClosedDropDownKeepTheFocusThere)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000));
    auto* chooser = window->findChild<SectionChooserWidget*>();
    chooser->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 4; ++i) {
        pressKey(Qt::Key_Down);
        EXPECT_EQ(QApplication::focusWidget(), chooser) << "after Down " << i + 1;
    }
    EXPECT_EQ(chooser->currentIndex(), 4);
    EXPECT_EQ(window->shownPage(), page(5));
    pressKey(Qt::Key_Return);
    EXPECT_TRUE(page(5)->isAncestorOf(QApplication::focusWidget())) << vestrum::testing::focusHolderName();

    window->chooseSection(0);
    window->chooseSubPage(0, 1);
    page(101)->editButton()->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Return);
    ASSERT_TRUE(page(101)->inEditMode());
    auto* category = qobject_cast<QComboBox*>(window->control(QStringLiteral("c006")));
    category->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 3; ++i) {
        pressKey(Qt::Key_Down);
        EXPECT_EQ(QApplication::focusWidget(), category) << "after Down " << i + 1;
    }
    EXPECT_EQ(category->currentText(), QStringLiteral("3"));
    pressKey(Qt::Key_Up);
    EXPECT_EQ(category->currentText(), QStringLiteral("2"));
    pressKey(Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), window->control(QStringLiteral("e007")));
    messages.answer(MessageAnswer::No);
    window->DiscardPage(page(101));
}

// The Tab order of the main window: the sub-page tabs are a stop of their own whose arrows turn the
// pages, and the hints panel comes after the page's commands, below which it sits.
TEST_F(MainWindowTest, TabReachesTheSubPageTabsAndTheHintsPanelLast)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 3000));
    QTabWidget* tabs = window->subPageControl(0);
    window->chooseSection(0);
    window->findChild<SectionChooserWidget*>()->setFocus(Qt::TabFocusReason);
    ASSERT_GT(tabUntil(tabs->tabBar()), 0) << "Tab never reached the tabs";
    pressKey(Qt::Key_Right);
    EXPECT_EQ(tabs->currentIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), tabs->tabBar());
    pressKey(Qt::Key_Left);
    EXPECT_EQ(tabs->currentIndex(), 0);

    // Section 3 is built after the panel: its "wpisz/zmień dane" still comes first.
    window->chooseSection(2);
    HintsPanelWidget* hints = window->hintsPanel();
    ASSERT_TRUE(hints->isVisible());
    window->findChild<SectionChooserWidget*>()->setFocus(Qt::TabFocusReason);
    const int toEdit = tabUntil(page(3)->editButton());
    ASSERT_GT(toEdit, 0);
    window->findChild<SectionChooserWidget*>()->setFocus(Qt::TabFocusReason);
    const int toClose = tabUntil(hints->closeButton());
    EXPECT_GT(toClose, toEdit);
}

// A count loaded from a data file widens the list button to show its whole caption; a screen reader
// hears the point it belongs to before the caption, which is alike on every point.
TEST_F(MainWindowTest, ListButtonsShowTheirWholeCaptionAndAreNamedByTheirPoint)
{
    window->chooseSection(7);
    auto* bb801 = qobject_cast<QPushButton*>(window->control(QStringLiteral("bb801")));
    ApplyUserFont(window.get(), program.state.UserFont); // buttons sized to their captions, as at start
    setListCaption(window.get(), 25, 1664);
    EXPECT_EQ(bb801->text(), QStringLiteral("liczba=1664 -> wykaz"));
    EXPECT_GE(bb801->minimumWidth(), bb801->fontMetrics().horizontalAdvance(bb801->text()) + 8);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(bb801);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->text(QAccessible::Name),
              QString::fromUtf8("8.1.a Publikacje w czasopismach wyróżnionych przez Journal Citation Reports: "
                                "liczba=1664 -> wykaz"));
}
