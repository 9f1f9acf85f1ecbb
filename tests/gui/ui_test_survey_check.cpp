#include "gui/check/survey_check_window.h"
#include "gui/lists/list_editor.h"
#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "gui/main/section_page.h"
#include "support/temp_survey.h"
#include "survey/form_catalogue.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace vestrum;
using vestrum::testing::ScriptedMessages;

namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

struct SurveyCheckWindowTest : ::testing::Test {
    QTemporaryDir folder;
    ScriptedMessages messages;
    FixedClock clock { QDateTime(QDate(2026, 12, 8), QTime(10, 0)) };
    Program program { messages, clock };
    MainWindow window { program };
    ProgramWindows windows { program, window };

    void SetUp() override
    {
        ASSERT_TRUE(window.startUp({}, folder.path()));
        program.survey.execute(U("insert into dane_podstawowe (DataZal, Regon) values ('31/02/2004', '123456789')"));
        // The editor sorts by name: the repeated "b" is its third row.
        for (const char* name : { "B", "A", "b" })
            program.survey.execute(U("insert into dane_wykaz_konferencji (rodzaj, nazwa) values (3, ?)"), { U(name) });
    }
    void TearDown() override { window.closeWithoutQuestions(); }

    SurveyCheckWindow* runFromMenu()
    {
        QAction* action = window.menuAction(U("Sprawdź ankietę"));
        if (!action || !action->isEnabled())
            return nullptr;
        action->trigger();
        return window.findChild<SurveyCheckWindow*>();
    }

    QTreeWidgetItem* findingItem(SurveyCheckWindow* checkWindow, const QString& field)
    {
        const QList<QTreeWidgetItem*> found
            = checkWindow->tree()->findItems(field, Qt::MatchExactly | Qt::MatchRecursive, 3);
        return found.isEmpty() ? nullptr : found.front();
    }
};

} // namespace

TEST_F(SurveyCheckWindowTest, MenuEntryListsTheFindingsGroupedBySectionWithCounts)
{
    SurveyCheckWindow* checkWindow = runFromMenu();
    ASSERT_NE(checkWindow, nullptr);
    EXPECT_TRUE(checkWindow->isVisible());
    QTreeWidget* tree = checkWindow->tree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_TRUE(tree->topLevelItem(0)->text(0).startsWith(U("1. ")));
    EXPECT_TRUE(tree->topLevelItem(0)->text(0).contains(U("błędy: 1, ostrzeżenia: 1")));
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);
    EXPECT_TRUE(tree->topLevelItem(1)->text(0).startsWith(U("13. ")));
    EXPECT_TRUE(checkWindow->summary()->text().contains(U("błędy: 2, ostrzeżenia: 1")));

    // Fixed and checked again: the window follows the data.
    program.survey.execute(U("update dane_podstawowe set DataZal = '28/02/2004', Regon = '123456785'"));
    program.survey.execute(U("delete from dane_wykaz_konferencji where nazwa = 'b'"));
    checkWindow->checkAgain();
    EXPECT_EQ(tree->topLevelItemCount(), 0);
    EXPECT_EQ(checkWindow->summary()->text(), U("Nie znaleziono błędów ani ostrzeżeń."));
}

TEST_F(SurveyCheckWindowTest, DoubleClickOnAFieldOpensItsPageInEditMode)
{
    SurveyCheckWindow* checkWindow = runFromMenu();
    ASSERT_NE(checkWindow, nullptr);
    QTreeWidgetItem* item = findingItem(checkWindow, U("Data założenia (dd/mm/rrrr)"));
    ASSERT_NE(item, nullptr);
    // Pages are built when first needed: the jump builds the field's page, which reads what was stored.
    EXPECT_FALSE(window.pageBuilt(form::PageOfControl(U("e004")).page->tag));
    checkWindow->open(item);
    auto* field = qobject_cast<QLineEdit*>(window.control(U("e004")));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), U("31/02/2004"));
    EXPECT_TRUE(field->hasFocus() || !window.isActiveWindow());
    SectionPageWidget* page = window.shownPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->tag(), form::PageOfControl(U("e004")).page->tag);
    EXPECT_EQ(window.editingPage(), page);
    EXPECT_TRUE(window.control(U("e004"))->isEnabled());
    window.DiscardPage(page);
}

TEST_F(SurveyCheckWindowTest, DoubleClickOnAListRowOpensTheEditorOnThatRow)
{
    SurveyCheckWindow* checkWindow = runFromMenu();
    ASSERT_NE(checkWindow, nullptr);
    const QList<QTreeWidgetItem*> rows
        = checkWindow->tree()->findItems(U("3"), Qt::MatchExactly | Qt::MatchRecursive, 2);
    ASSERT_EQ(rows.size(), 1);
    int kind = -1;
    int selected = -1;
    QTimer::singleShot(0, &windows.listEditor(), [&] {
        kind = windows.listEditor().kind();
        selected = windows.listEditor().selectedRows().first;
        windows.listEditor().discardChanges();
    });
    checkWindow->open(rows.front());
    EXPECT_EQ(kind, 23);
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(window.shownPage()->section().number, 13);

    // Once the editor is closed the window checks again and shows the list as it now is.
    program.survey.execute(U("delete from dane_wykaz_konferencji where nazwa = 'b'"));
    QTest::qWait(50);
    EXPECT_EQ(checkWindow->tree()->topLevelItemCount(), 1);
}
