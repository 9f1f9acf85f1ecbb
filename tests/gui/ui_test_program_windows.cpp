#include "gui/main/program_windows.h"
#include "gui/main/main_window.h"
#include "gui/lists/entry_dialog.h"
#include "gui/lists/list_editor.h"
#include "support/temp_survey.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vestrum;
using vestrum::testing::ScriptedMessages;

namespace {

struct ProgramFixture : ::testing::Test {
    QTemporaryDir folder;
    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(10, 0))};
    Program program{messages, clock};
    MainWindow window{program};
    ProgramWindows windows{program, window};

    void SetUp() override { ASSERT_TRUE(window.startUp({}, folder.path())); }
    void TearDown() override { window.closeWithoutQuestions(); }
};

} // namespace

TEST_F(ProgramFixture, MenuCommandsOfBuiltModulesAreEnabled)
{
    for (const char* caption : {"Nowa jednostka", "Wczytaj dane", "Zapisz dane", "Zapisz dane jako ...",
                                "Zrób kopię zapasową danych", "Przywróć wcześniej zapisane dane",
                                "Utwórz punkt przywracania danych", "Czcionka", "Pomoc do programu"}) {
        QAction* action = window.menuAction(QString::fromUtf8(caption));
        ASSERT_NE(action, nullptr) << caption;
        EXPECT_TRUE(action->isEnabled()) << caption;
    }
    EXPECT_TRUE(windows.journalList().isOpen()) << "the journal list is read at start";
    ASSERT_TRUE(window.steps().saveData);
    ASSERT_TRUE(window.steps().weeklyRestorePoint);
}

TEST_F(ProgramFixture, PageSavedThroughTheWindowReachesTheDatabaseAndComesBack)
{
    const int tag = 24; // the person who filled in the survey
    auto* surname = qobject_cast<QLineEdit*>(window.control(QStringLiteral("e241")));
    ASSERT_NE(surname, nullptr);
    surname->setText(QStringLiteral("Żółkiewska"));
    ASSERT_TRUE(windows.SaveSection(tag));
    EXPECT_EQ(program.survey.scalar(QStringLiteral("select Wypelniajacy_nazwisko from dane_szczegolowe")).toString(),
              QStringLiteral("Żółkiewska"));
    EXPECT_FALSE(program.state.DataSaved);
    surname->setText(QStringLiteral("inna"));
    windows.LoadSection(tag);
    EXPECT_EQ(surname->text(), QStringLiteral("Żółkiewska"));
}

TEST_F(ProgramFixture, ListEditorOpenedFromTheMainWindowReturnsTheSavedCount)
{
    program.survey.execute(QStringLiteral("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul) values (1, ?, ?)"),
                           {QStringLiteral("Acta Physica Polonica"), QStringLiteral("Sprężystość")});
    program.survey.execute(QStringLiteral("insert into dane_wykaz_publikacji (grupa, Czasopismo) values (2, 'Inne')"));
    QTimer::singleShot(0, &windows.listEditor(), [this] { windows.listEditor().saveChanges(); });
    const std::optional<int> count = windows.OpenListEditor(3);
    ASSERT_TRUE(count.has_value());
    EXPECT_EQ(*count, 1);
    EXPECT_EQ(program.survey.scalar(QStringLiteral("select count(*) from dane_wykaz_publikacji")).toInt(), 2)
        << "the other group is left alone";

    QTimer::singleShot(0, &windows.listEditor(), [this] {
        messages.answer(MessageAnswer::Yes);
        windows.listEditor().discardChanges();
    });
    EXPECT_FALSE(windows.OpenListEditor(4).has_value());
}

TEST_F(ProgramFixture, ListThatCannotBeReadEndsWithAMessageNotACrash)
{
    program.survey.execute(QStringLiteral("DROP TABLE dane_wykaz_patentow"));
    messages.shown.clear();
    QTimer::singleShot(0, &windows.listEditor(), [this] {
        if (windows.listEditor().isVisible())
            windows.listEditor().discardChanges();
    });
    EXPECT_FALSE(windows.OpenListEditor(28).has_value());
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_TRUE(messages.shown.last().contains(QStringLiteral("dane_wykaz_patentow")));
}

// The lists kept in a section grid limit their entry fields as the other lists do: "Rok wyboru"
// takes four characters.
TEST_F(ProgramFixture, EntriesOfSectionGridListsTakeTheDeclaredWidths)
{
    int yearLimit = -1;
    QTimer::singleShot(0, &windows.listEditor(), [&] {
        QTimer::singleShot(0, &windows.entryDialog(), [&] {
            EntryDialog& dialog = windows.entryDialog();
            const int year = dialog.form().indexOfField(QStringLiteral("Data_wyboru"));
            if (auto* field = qobject_cast<QLineEdit*>(dialog.input(year)))
                yearLimit = field->maxLength();
            messages.answer(MessageAnswer::Yes);
            dialog.discardChanges();
        });
        windows.listEditor().addEntry();
        windows.listEditor().discardChanges();
    });
    windows.OpenListEditor(14);
    EXPECT_EQ(yearLimit, 4);
}
