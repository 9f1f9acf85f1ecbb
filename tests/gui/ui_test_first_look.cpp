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
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vestrum;

namespace {

constexpr int kSettle = 2000; // ms

QString shotsFolder() { return qEnvironmentVariable("VESTRUM_SHOTS"); }

// Photographs the screen; callers wait first, in the event loop of the window shown, so that the
// window manager has framed it and it has painted itself.
void photograph(const char* name)
{
    QDir().mkpath(shotsFolder());
    const QString script = QStringLiteral(VESTRUM_FIXTURES "/../../scripts/screenshot.sh");
    const QString out = shotsFolder() + u'/' + QString::fromLatin1(name) + QStringLiteral(".png");
    EXPECT_EQ(QProcess::execute(QStringLiteral("bash"), {script, out}), 0) << name;
    // The window's own picture of itself as well: some X servers leave a dialog's inside black.
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->grab().save(shotsFolder() + u'/' + QString::fromLatin1(name) + QStringLiteral("_inside.png"));
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

    program.state.UserFont = {QStringLiteral("Arial"), 12}; // the default, installed here under another name
    FontWindow font(program.state.UserFont, &window);
    QTimer::singleShot(kSettle, &font, [&font] {
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
    QTest::qWait(kSettle);
    photograph("i15_pkd2004");
    messages.answer(MessageAnswer::No);
    window.DiscardPage(pkd);

    // The list editor and the entry dialog opened for the first time.
    QTimer::singleShot(kSettle, &windows.listEditor(), [&] {
        photograph("i15_list_editor");
        QTimer::singleShot(kSettle, &windows.entryDialog(), [&] {
            photograph("i15_entry_dialog");
            windows.entryDialog().done(QDialog::Rejected);
        });
        windows.listEditor().addEntry();
        windows.listEditor().done(QDialog::Rejected);
    });
    windows.OpenListEditor(3);

    QTimer::singleShot(kSettle, &window, [] {
        photograph("i15_about");
        if (QWidget* about = QApplication::activeModalWidget())
            about->close();
    });
    window.menuAction(QStringLiteral("O programie"))->trigger();

    MessageBox box(&window);
    QTimer::singleShot(kSettle, &box, [&box] {
        photograph("i15_message_box");
        // The frame and its title-bar buttons, enlarged.
        const QString shot = shotsFolder() + QStringLiteral("/i15_message_box.png");
        QImage(shot).copy(box.frameGeometry().adjusted(-4, -4, 4, 4)).scaled(box.frameGeometry().size() * 2)
            .save(shotsFolder() + QStringLiteral("/i15_message_box_frame.png"));
        box.reject();
    });
    box.present({QStringLiteral("Czy na pewno chcesz zakończyć pracę programu?"), MessageKind::Information, 1,
                 MbYes | MbNo});
    window.closeWithoutQuestions();
}
