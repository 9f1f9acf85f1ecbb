#include "gui/files/journal_list_import_window.h"

#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "storage/journal_list.h"
#include "support/temp_survey.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace vestrum;
using vestrum::testing::ScriptedMessages;

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

struct JournalListWindowTest : ::testing::Test {
    QTemporaryDir folder;
    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2026, 3, 4), QTime(10, 0))};
    Program program{messages, clock};
    MainWindow window{program};
    ProgramWindows windows{program, window};

    void SetUp() override { ASSERT_TRUE(window.startUp({}, folder.path())); }
    void TearDown() override { window.closeWithoutQuestions(); }

    QString edition(const char* rows)
    {
        const QString path = folder.filePath(QStringLiteral("wykaz.csv"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("Wykaz czasopism naukowych\n,,,,,,,,archeologia\nLp.,Tytu\xc5\x82 1,issn,e-issn,Tytu\xc5\x82 2,"
                   "issn,e-issn,Punkty,101\n");
        file.write(rows);
        return path;
    }
};

} // namespace

TEST_F(JournalListWindowTest, TheNewEditionShowsItsChangesReplacesTheListOnSaveAndThePreviousComesBack)
{
    const int shipped = windows.journalList().totalCount();
    ASSERT_GT(shipped, 29000);
    auto* importWindow = window.findChild<JournalListImportWindow*>();
    ASSERT_NE(importWindow, nullptr);
    ASSERT_TRUE(window.menuAction(S("Wczytaj wykaz czasopism z pliku ministerstwa…"))->isEnabled());

    // The picker's choice: what it changes is shown before anything changes.
    ASSERT_TRUE(importWindow->showChangesOf(edition("1,2D Materials,2053-1583,2053-1583,,,,200,x\n2,Nowe,,,,,,40,\n")));
    importWindow->show();
    const QString changes = importWindow->changes()->toPlainText();
    EXPECT_TRUE(changes.startsWith(S("dodane: 1\n  Nowe (40 pkt)\nusunięte: %1\n").arg(shipped - 1)))
        << changes.toStdString();
    EXPECT_TRUE(changes.contains(S("zmienione punkty: 1\n  2D Materials (140 -> 200 pkt)\n")));
    EXPECT_EQ(windows.journalList().totalCount(), shipped);

    QTest::mouseClick(importWindow->saveButton(), Qt::LeftButton);
    EXPECT_FALSE(importWindow->isVisible());
    EXPECT_EQ(windows.journalList().totalCount(), 2);
    const auto identified = windows.journalList().identify(S("2d materials"));
    ASSERT_TRUE(identified);
    EXPECT_EQ(identified->points, S("200"));
    EXPECT_TRUE(QFile::exists(journals::previousListPath(program.state.journalListPath())));

    messages.answer(MessageAnswer::Yes);
    window.menuAction(S("Przywróć poprzedni wykaz czasopism"))->trigger();
    EXPECT_EQ(windows.journalList().totalCount(), shipped);
    EXPECT_EQ(messages.shown.last(), S("Przywrócono poprzedni wykaz czasopism."));
}

TEST_F(JournalListWindowTest, AFileThatIsNoJournalListIsToldAndChangesNothing)
{
    auto* importWindow = window.findChild<JournalListImportWindow*>();
    ASSERT_NE(importWindow, nullptr);
    const QString path = folder.filePath(QStringLiteral("inny.csv"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("Nazwa;Punkty\nCzasopismo;20\n");
    file.close();
    EXPECT_FALSE(importWindow->showChangesOf(path));
    EXPECT_FALSE(importWindow->isVisible());
    EXPECT_TRUE(messages.shown.last().contains(S("nie jest wykazem czasopism ministerstwa")));
    EXPECT_FALSE(QFile::exists(journals::previousListPath(program.state.journalListPath())));

    window.menuAction(S("Przywróć poprzedni wykaz czasopism"))->trigger();
    EXPECT_EQ(messages.shown.last(), S("Nie ma poprzedniego wykazu czasopism do przywrócenia."));
}
