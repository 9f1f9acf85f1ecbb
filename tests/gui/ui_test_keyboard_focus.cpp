// The focus as a keyboard user meets it in the running program, with real message boxes: it comes
// back where it was when a window closes, and a field the program sends the user back to is ready
// to be typed over.
#include "base/clock.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/message_box.h"
#include "gui/lists/list_editor.h"
#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "gui/main/section_page.h"
#include "program/program.h"
#include "survey/form_catalogue.h"
#include "typing.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::testing;

namespace {

// Answers every message box that opens with Enter, as a person does to its focused "Tak" or
// "Dalej", and keeps what the boxes said.
class BoxAnswerer {
public:
    QStringList said;

    BoxAnswerer()
    {
        poll_.setInterval(20);
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<MessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            said << box->textLabel()->text();
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box->leftButton(), Qt::Key_Return);
        });
        poll_.start();
    }

private:
    QTimer poll_;
};

// Runs `inside` once a modal window other than a message box is up.
void whenWindowOpens(std::function<void(QWidget&)> inside)
{
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, inside] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || qobject_cast<MessageBox*>(modal) || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        inside(*modal);
    });
    poll->start();
}

// The program as main() builds it, its messages in real boxes.
struct RunningProgram : ::testing::Test {
    QTemporaryDir folder;
    MessageBox boxes;
    BoxAnswerer answers;
    FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(10, 0))};
    Program program{boxes, clock};
    MainWindow window{program};
    ProgramWindows windows{program, window};

    void SetUp() override
    {
        ASSERT_TRUE(window.startUp({}, folder.path()));
        ASSERT_TRUE(bringToFront(&window));
    }
    void TearDown() override { window.closeWithoutQuestions(); }

    // The focus is back in the main window, which is the active one, on `control`.
    void expectBackOn(QWidget* control, const char* after)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isActiveWindow(); }, 2000)) << "no window active " << after;
        EXPECT_EQ(QApplication::focusWidget(), control) << after << ": the focus is with " << focusHolderName();
    }
};

} // namespace

TEST_F(RunningProgram, ClosingAWindowGivesTheFocusBackToWhatOpenedIt)
{
    // The list editor left with Esc and "Tak" to the question whether to drop the changes.
    window.chooseSection(7);
    auto* listButton = qobject_cast<QPushButton*>(window.control(QStringLiteral("bb801")));
    listButton->setFocus(Qt::TabFocusReason);
    QWidget* focusInEditor = nullptr;
    whenWindowOpens([&](QWidget& editor) {
        (void)bringToFront(&editor);
        focusInEditor = QApplication::focusWidget();
        pressKey(Qt::Key_Escape);
    });
    pressKey(Qt::Key_Return);
    EXPECT_FALSE(windows.listEditor().isVisible());
    EXPECT_TRUE(answers.said.contains(QStringLiteral("Czy na pewno chcesz pominąć wprowadzone zmiany?")));
    expectBackOn(listButton, "the list editor closed");
    // Reopened, the editor starts on its rows again, so a habitual Enter does not save and close it.
    ASSERT_NE(focusInEditor, nullptr);
    EXPECT_EQ(focusInEditor, windows.listEditor().grid());
    QWidget* focusReopened = nullptr;
    whenWindowOpens([&](QWidget& editor) {
        (void)bringToFront(&editor);
        focusReopened = QApplication::focusWidget();
        windows.listEditor().saveButton()->setFocus(Qt::TabFocusReason); // left on its last command
        pressKey(Qt::Key_Escape);
    });
    pressKey(Qt::Key_Return);
    whenWindowOpens([&](QWidget& editor) {
        (void)bringToFront(&editor);
        focusReopened = QApplication::focusWidget();
        pressKey(Qt::Key_Escape);
    });
    pressKey(Qt::Key_Return);
    EXPECT_EQ(focusReopened, windows.listEditor().grid());
    expectBackOn(listButton, "the list editor closed again");

    // A window of the menu, closed with Esc, gives the focus back to the field it was opened from.
    window.chooseSection(0);
    window.chooseSubPage(0, 1);
    SectionPageWidget* basic = window.pageByTag(101);
    basic->editButton()->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Return);
    auto* name = qobject_cast<QLineEdit*>(window.control(QStringLiteral("e001")));
    ASSERT_EQ(QApplication::focusWidget(), name);
    whenWindowOpens([](QWidget& about) {
        (void)bringToFront(&about);
        pressKey(Qt::Key_Escape);
    });
    window.menuAction(QStringLiteral("O programie"))->trigger();
    expectBackOn(name, "the about box closed");
}

// A sum refused on "zapisz zmiany": "Dalej" sends the user back to the field with its whole value
// selected, so the number typed replaces it instead of being added to it.
TEST_F(RunningProgram, TheFieldARefusalReturnsToIsTypedOver)
{
    const form::PageRef ref = form::PageByTag(18);
    window.chooseSection(ref.sectionIndex);
    SectionPageWidget* page = window.pageByTag(18);
    page->editButton()->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Return);
    ASSERT_TRUE(page->inEditMode());
    typeOver(page->control(QStringLiteral("me1801")), QStringLiteral("200"));
    typeOver(page->control(QStringLiteral("me1802")), QStringLiteral("300"));
    pressKey(Qt::Key_Tab);
    page->saveButton()->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Return);
    ASSERT_FALSE(answers.said.isEmpty()) << "the sums were not refused";
    EXPECT_TRUE(page->inEditMode());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isActiveWindow(); }, 2000));
    auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(field, nullptr) << focusHolderName();
    EXPECT_FALSE(field->text().isEmpty());
    EXPECT_EQ(field->selectedText(), field->text()) << field->objectName().toStdString();
    typeKeys(field, QStringLiteral("300"));
    EXPECT_EQ(field->text(), QStringLiteral("300"));
    window.DiscardPage(page);
}
