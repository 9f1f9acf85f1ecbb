// Pictures of what a user meets first, for looking at by eye. With VESTRUM_SHOTS set to a folder
// and a window manager on the X display (QT_QPA_PLATFORM=xcb), the whole screen is photographed
// by scripts/screenshot.sh, so that the window frames and their buttons show too.
#include "gui/common/message_box.h"
#include "gui/lists/entry_dialog.h"
#include "gui/lists/list_editor.h"
#include "gui/main/font_window.h"
#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "gui/main/section_page.h"
#include "support/temp_survey.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vestrum;

namespace {

QString shotsFolder() { return qEnvironmentVariable("VESTRUM_SHOTS"); }

// Waits for the window manager to frame the window, then photographs the screen.
void photograph(const char* name)
{
    QTest::qWait(600);
    QDir().mkpath(shotsFolder());
    const QString script = QStringLiteral(VESTRUM_FIXTURES "/../../scripts/screenshot.sh");
    const QString out = shotsFolder() + u'/' + QString::fromLatin1(name) + QStringLiteral(".png");
    EXPECT_EQ(QProcess::execute(QStringLiteral("bash"), {script, out}), 0) << name;
}

} // namespace

TEST(FirstLook, WindowsAUserMeetsFirst)
{
    if (shotsFolder().isEmpty())
        GTEST_SKIP() << "set VESTRUM_SHOTS to a folder to take pictures";
    QTemporaryDir folder;
    vestrum::testing::ScriptedMessages messages;
    SystemClock clock;
    Program program{messages, clock};
    MainWindow window{program};
    ProgramWindows windows{program, window};
    ASSERT_TRUE(window.startUp({}, folder.path()));
    QTest::qWait(500);

    FontWindow font(program.state.UserFont, &window);
    QTimer::singleShot(0, &font, [&font] {
        photograph("i15_font_window");
        font.reject();
    });
    font.chooseFont();

    // Section 1, the activity codes, switched to the 2004 edition.
    window.chooseSection(0);
    window.chooseSubPage(0, 4);
    SectionPageWidget* pkd = window.pageByTag(104);
    window.EnterEditMode(pkd);
    qobject_cast<QAbstractButton*>(pkd->control(QStringLiteral("rb031")))->click();
    photograph("i15_pkd2004");
    messages.answer(MessageAnswer::No);
    window.DiscardPage(pkd);

    // The list editor and the entry dialog opened for the first time.
    QTimer::singleShot(0, &windows.listEditor(), [&] {
        photograph("i15_list_editor");
        QTimer::singleShot(0, &windows.entryDialog(), [&] {
            photograph("i15_entry_dialog");
            messages.answer(MessageAnswer::Yes);
            windows.entryDialog().discardChanges();
        });
        windows.listEditor().addEntry();
        windows.listEditor().discardChanges();
    });
    windows.OpenListEditor(3);

    MessageBox box(&window);
    QTimer::singleShot(0, &box, [&box] {
        photograph("i15_message_box");
        box.reject();
    });
    box.present({QStringLiteral("Czy na pewno chcesz zakończyć pracę programu?"), MessageKind::Information, 1,
                 MbYes | MbNo});
    window.closeWithoutQuestions();
}
