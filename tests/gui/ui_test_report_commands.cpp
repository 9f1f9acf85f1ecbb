#include "gui/main/main_window.h"
#include "gui/main/program_windows.h"
#include "gui/main/section_page.h"
#include "gui/print/paged_text_edit.h"
#include "gui/print/report_choice_window.h"
#include "gui/print/report_commands.h"
#include "gui/print/report_window.h"
#include "print/paged_document.h"
#include "support/temp_survey.h"
#include "survey/form_catalogue.h"
#include "typing.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vestrum;
using vestrum::testing::typeOver;
using vestrum::testing::ScriptedMessages;

namespace {

QString S(const char* utf8) { return QString::fromUtf8(utf8); }

struct ReportFixture : ::testing::Test {
    QTemporaryDir folder;
    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(10, 0))};
    Program program{messages, clock};
    MainWindow window{program};
    ProgramWindows windows{program, window};
    ReportCommands reports{program, window};

    void SetUp() override { ASSERT_TRUE(window.startUp({}, folder.path())); }
    void TearDown() override { window.closeWithoutQuestions(); }
};

// Closes the report window as soon as it shows modally, so a print command returns.
void closeReportWindowWhenShown()
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll] {
        if (auto* report = qobject_cast<ReportWindow*>(QApplication::activeModalWidget())) {
            report->reject();
            poll->deleteLater();
        }
    });
    poll->start(20);
}

} // namespace

TEST_F(ReportFixture, PrintCommandsAreOnTheMenu)
{
    for (const char* caption : {"Widoczny zakres danych", "Wybraną część ankiety", "Całą ankietę"}) {
        QAction* action = window.menuAction(S(caption));
        ASSERT_NE(action, nullptr) << caption;
        EXPECT_TRUE(action->isEnabled()) << caption;
    }
}

TEST_F(ReportFixture, TheVisiblePageChoosesTheEntry)
{
    window.chooseSection(0);
    window.chooseSubPage(0, 0);
    EXPECT_EQ(reports.visibleEntry(), -1) << "the reporting-year page prints nothing";
    window.chooseSubPage(0, 2);
    EXPECT_EQ(reports.visibleEntry(), 2);
    window.chooseSection(7);
    window.chooseSubPage(7, 3);
    EXPECT_EQ(reports.visibleEntry(), 15);
    window.chooseSection(19);
    window.chooseSubPage(19, 1);
    EXPECT_EQ(reports.visibleEntry(), 33);
    window.chooseSection(21);
    EXPECT_EQ(reports.visibleEntry(), 35);
}

TEST_F(ReportFixture, TheReportReadsWhatThePagesShowAndFillsTheReportWindow)
{
    auto* town = qobject_cast<QLineEdit*>(window.control(QStringLiteral("e012")));
    ASSERT_NE(town, nullptr);
    auto* unitName = qobject_cast<QLineEdit*>(window.control(QStringLiteral("e001")));
    ASSERT_NE(unitName, nullptr);
    // The unit's name is typed on its own page, which is stored when the address page is chosen;
    // the town is typed there and not stored before printing.
    window.chooseSection(0);
    window.chooseSubPage(0, 1);
    QTest::mouseClick(window.pageByTag(101)->editButton(), Qt::LeftButton);
    typeOver(unitName, S(" Instytut Łączności "));
    messages.answer(MessageAnswer::Yes);
    window.chooseSubPage(0, 2);
    QTest::mouseClick(window.pageByTag(102)->editButton(), Qt::LeftButton);
    typeOver(town, S("Łódź"));

    closeReportWindowWhenShown();
    reports.printVisible();
    const QString text = reports.reportWindow().document()->toPlainText();
    EXPECT_TRUE(text.startsWith(S("1. Informacje o jednostce naukowej\n\nDane adresowe:\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(S("Miejscowość: Łódź"))) << text.toStdString();
    const PageLayout& layout = reports.reportWindow().document()->pageLayout();
    EXPECT_EQ(layout.header_text, S("Vestrum za rok %1").arg(program.state.ReportingYear));
    EXPECT_EQ(layout.footer_text, S("strona &p"));
    EXPECT_EQ(layout.header_Font.pointSize(), 9);
    EXPECT_TRUE(layout.header_Font.bold());
    // The PDF names the unit shown on its page even when that page is not printed.
    const PdfInfo info = pdfInfo(*reports.reportWindow().document()->document());
    EXPECT_EQ(info.title, S("Ankieta Instytut Łączności za rok %1").arg(program.state.ReportingYear));
    EXPECT_EQ(info.author, S("Instytut Łączności"));

    // The reporting-year page: an empty document, still with its header and footer.
    window.chooseSubPage(0, 0);
    closeReportWindowWhenShown();
    reports.printVisible();
    EXPECT_TRUE(reports.reportWindow().document()->toPlainText().isEmpty());
    EXPECT_EQ(reports.reportWindow().document()->pageLayout().footer_text, S("strona &p"));
}

// Pages are built when first needed: the whole-survey report of a freshly started program, most of
// whose pages were never shown, reads what the database holds, as the headless report does.
TEST_F(ReportFixture, TheWholeReportOfAFreshStartIsTheStoredSurveys)
{
    // Data put in place as a load leaves them, then the reload every load, merge and restore runs.
    program.survey.execute(S("insert into dane_podstawowe (nazwa, Miasto) values (?, ?)"),
                           {S("Instytut Łączności"), S("Łódź")});
    program.survey.execute(S("update dane_szczegolowe set Wypelniajacy_nazwisko = ?"), {S("Żółkiewska")});
    for (int group = 1; group <= 2; ++group)
        program.survey.execute(S("insert into dane_wykaz_publikacji (grupa, Czasopismo, Tytul) values (?, ?, ?)"),
                               {group, S("Acta Physica Polonica"), S("Sprężystość %1").arg(group)});
    window.steps().loadAllSections();
    EXPECT_FALSE(window.pageBuilt(24));
    EXPECT_FALSE(window.pageBuilt(form::PageOfControl(S("me8")).page->tag));

    report::TickedEntries every;
    every.set();
    const report::ReportDocument shown = reports.build(every);
    const report::ReportDocument stored
        = report::BuildReport(every, report::StoredSurvey(program), QString::number(program.state.ReportingYear));
    EXPECT_TRUE(shown.plainText().contains(S("Łódź")));
    EXPECT_TRUE(shown.plainText().contains(S("Sprężystość 2")));
    EXPECT_EQ(shown.plainText(), stored.plainText());
    EXPECT_EQ(shown.entryStarts, stored.entryStarts);
    EXPECT_EQ(shown.unitName, S("Instytut Łączności"));
}

TEST_F(ReportFixture, TheChoiceWindowTicksPartsWithTheirParentAndStartsCleared)
{
    report::TickedEntries printed;
    bool asked = false;
    ReportChoiceWindow choice(program, [&](const report::TickedEntries& t) {
        printed = t;
        asked = true;
    });
    EXPECT_EQ(choice.windowTitle(), S("Wydruk"));
    ASSERT_EQ(choice.entryList()->count(), report::kEntryCount);
    EXPECT_EQ(choice.entryList()->item(19)->text(),
              S("12. Udział w sieciach naukowych lub konsorcjach naukowo-przemysłoych"));

    choice.entryList()->item(22)->setCheckState(Qt::Checked);
    report::TickedEntries ticked = choice.ticked();
    EXPECT_EQ(ticked.count(), 5u);
    EXPECT_TRUE(ticked.test(23) && ticked.test(26));
    choice.entryList()->item(22)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(choice.ticked().none());

    choice.allButton()->click();
    EXPECT_TRUE(choice.ticked().all());
    choice.noneButton()->click();
    EXPECT_TRUE(choice.ticked().none());

    choice.entryList()->item(37)->setCheckState(Qt::Checked);
    choice.printButton()->click();
    ASSERT_TRUE(asked);
    EXPECT_EQ(printed.count(), 1u);
    EXPECT_TRUE(printed.test(37));

    choice.entryList()->item(5)->setCheckState(Qt::Checked);
    choice.show();
    EXPECT_TRUE(choice.ticked().none()) << "every opening starts cleared";
    choice.close();
}
