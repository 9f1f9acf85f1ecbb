#include "gui/main/chooser.h"
#include "survey/field_checks.h"
#include "survey/form_catalogue.h"
#include "program/program.h"
#include "gui/main/section_io.h"
#include "gui/main/section_page.h"
#include "gui/common/progress_window.h"
#include "survey/reference_tables.h"
#include "storage/schema.h"
#include "survey/section_data.h"
#include "gui/common/list_grid_view.h"
#include "support/temp_survey.h"
#include "typing.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace vestrum;
using vestrum::testing::typeOver;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

struct SectionIo : ::testing::Test {
    vestrum::testing::TempSurvey temp;
    vestrum::testing::ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 1), QTime(12, 0))};
    Program program{messages, clock};

    SectionIo() { program.survey.open(temp.path(), schema::databasePassword()); }

    // The main window's own page for a section tag, shown and in edit mode.
    std::unique_ptr<SectionPageWidget> page(int tag)
    {
        const form::PageRef ref = form::PageByTag(tag);
        auto w = std::make_unique<SectionPageWidget>(*ref.section, *ref.page);
        w->resize(900, 700);
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        w->enterEditMode();
        return w;
    }
    template <typename T = QLineEdit> T* field(QWidget* root, const char* name)
    {
        return root->findChild<T*>(QString::fromLatin1(name));
    }
};

// Types `text` over a field's value and moves the focus on with Tab.
void typeAndLeave(QLineEdit* edit, const QString& text)
{
    typeOver(edit, text);
    QTest::keyClick(edit, Qt::Key_Tab);
    QCoreApplication::processEvents();
}

} // namespace

TEST_F(SectionIo, EveryPageShowsWhatItsLoaderReadAndGivesItBack)
{
    // Something stored for every kind of control, so nothing collects as its default.
    db::Connection& db = temp.connection;
    db.execute(U("insert into dane_podstawowe (nazwa, Rodzaj, Wojewodztwo, Kod_pocztowy) values (?, ?, ?, ?)"),
               {U("Instytut Łączności Ж"), U("jednostka badawczo-rozwojowa"), U("łódzkie"), U("90-001")});
    db.execute(U("insert into dane_szczegolowe (Zatr_BR_prof_N, Pow_pom_wlasne, Zrodlo_cytowan_lista_A, "
                 "Rok_sprawozdawczy) values (4, 12.5, ?, '2008')"),
               {U("wiersz 1\nwiersz ż")});
    db.execute(U("insert into dane_wydawnictwa (Tytul, Naklad) values ('Zeszyty', 300), ('Biuletyn', NULL)"));
    db.execute(U("insert into dane_dyscypliny (Dyscyplina) values ('28')"));
    ASSERT_GT(Pkd2007Table().size(), 30);
    db.execute(U("insert into dane_pkd (pkd, rok) values (?, 2007)"), {Pkd2007Table()[30].code});
    db.execute(U("insert into dane_wykaz_patentow (rodzaj) values (1), (1)"));

    for (const form::Section& section : form::FormCatalogue()) {
        for (const form::Page& p : section.pages) {
            SectionPageWidget widget(section, p);
            const FieldValues loaded = LoadPage(program, p);
            applyFieldValues(&widget, loaded);
            FieldValues collected = collectFieldValues(&widget, p);
            collected.maxLength = loaded.maxLength;
            EXPECT_EQ(collected, loaded) << qPrintable(section.chooserText + U(" / ") + p.title);
        }
    }
    const form::PageRef grid = form::PageByTag(10);
    SectionPageWidget widget(*grid.section, *grid.page);
    applyFieldValues(&widget, LoadPage(program, *grid.page));
    EXPECT_TRUE(widget.grid()->cell(0, 0).startsWith(U("* "))); // sorted by the first column
    EXPECT_EQ(widget.grid()->cell(0, 1), U("Biuletyn"));
    const form::PageRef unit = form::PageByTag(101);
    SectionPageWidget unitPage(*unit.section, *unit.page);
    applyFieldValues(&unitPage, LoadPage(program, *unit.page));
    EXPECT_EQ(field(&unitPage, "e001")->maxLength(), 250);
}

TEST_F(SectionIo, ARefusedFieldKeepsItsTextAndTheFocusAnAcceptedOneIsRewritten)
{
    auto w = page(5);
    installFieldChecks(w.get(), program, &w->page());
    QLineEdit* me51 = field(w.get(), "me51");
    QLineEdit* me52 = field(w.get(), "me52");

    // Tab takes the focus on to me52, which is left empty: it would be refused too, were it
    // tested when the focus comes back from it.
    typeAndLeave(me51, U("12.5"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return me51->hasFocus(); }, 2000));
    EXPECT_EQ(me51->text(), U("12.5"));
    EXPECT_TRUE(me52->text().isEmpty());
    QTest::qWait(50);
    EXPECT_EQ(messages.shown, QStringList{checks::RefusalMessage()});

    messages.shown.clear();
    typeAndLeave(me51, U("12,5"));
    EXPECT_EQ(me51->text(), U("12,50"));
    EXPECT_TRUE(me52->hasFocus());
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(SectionIo, ChoosingTheYearSetsTheReportingYearAndSavingStoresIt)
{
    auto w = page(100);
    installFieldChecks(w.get(), program, &w->page());
    loadSectionPage(w.get(), program, 100);
    EXPECT_EQ(program.state.ReportingYear, 2007);
    field<QComboBox>(w.get(), "c000")->setCurrentIndex(1);
    EXPECT_EQ(program.state.ReportingYear, 2008);
    ASSERT_TRUE(saveSectionPage(w.get(), program, 100));
    EXPECT_EQ(temp.connection.scalar(U("select Rok_sprawozdawczy from dane_szczegolowe")).toString(), U("2008"));
}

TEST_F(SectionIo, LeavingASection3FieldRecomputesItsColumnOnThePage)
{
    auto w = page(3);
    installFieldChecks(w.get(), program, &w->page());
    applyFieldValues(w.get(), LoadSection(program, 3));
    // me321 is never visited: the recompute shows it as 0 (a non-number counts as 0 as well).
    typeOver(field(w.get(), "me331"), U("5"));
    typeAndLeave(field(w.get(), "me311"), U("3"));
    EXPECT_EQ(field(w.get(), "me321")->text(), U("0"));
    EXPECT_EQ(field(w.get(), "me361")->text(), U("8"));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(SectionIo, ARefusedSection18SaveWritesNothingAndFocusesTheFirstFailingTotal)
{
    auto w = page(19);
    applyFieldValues(w.get(), LoadSection(program, 19));
    typeOver(field(w.get(), "me1909"), U("5,00"));
    typeOver(field(w.get(), "me1913"), U("1,00"));
    EXPECT_FALSE(saveSectionPage(w.get(), program, 19));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].count(u'\n'), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return field(w.get(), "me1908")->hasFocus(); }, 2000));
    EXPECT_EQ(temp.connection.scalar(U("select count(*) from dane_szczegolowe")).toInt(), 0);

    typeOver(field(w.get(), "me1908"), U("5,00"));
    typeOver(field(w.get(), "me1912"), U("1,00"));
    typeOver(field(w.get(), "me1901"), U("5,00"));
    SetDataSaved(program.state, true);
    EXPECT_TRUE(saveSectionPage(w.get(), program, 19));
    EXPECT_FALSE(program.state.DataSaved);
    EXPECT_DOUBLE_EQ(temp.connection.scalar(U("select Przych_BR_um_sprzed_zagr from dane_szczegolowe")).toDouble(), 5.0);
}

TEST_F(SectionIo, SwitchingTheClassificationEmptiesTheChoiceAndDiscardBringsItBack)
{
    ASSERT_GT(Pkd2007Table().size(), 40);
    temp.connection.execute(U("insert into dane_pkd (pkd, rok) values (?, 2007)"), {Pkd2007Table()[40].code});
    auto w = page(104);
    loadSectionPage(w.get(), program, 104);
    auto* chosen = field<QListWidget>(w.get(), "lb032");
    auto* catalogue = field<QTreeWidget>(w.get(), "lv031");
    ASSERT_EQ(chosen->count(), 1);
    EXPECT_EQ(catalogue->topLevelItemCount(), Pkd2007Table().size());

    field<QRadioButton>(w.get(), "rb031")->setChecked(true);
    applyPkdVersion(w.get(), 2004);
    EXPECT_EQ(chosen->count(), 0);
    EXPECT_EQ(catalogue->topLevelItemCount(), Pkd2004Table().size());

    loadSectionPage(w.get(), program, 104); // "pomiń zmiany"
    EXPECT_EQ(chosen->count(), 1);
    EXPECT_EQ(chosen->item(0)->text(), Pkd2007Table()[40].line());
    EXPECT_TRUE(field<QRadioButton>(w.get(), "rb032")->isChecked());
    EXPECT_EQ(catalogue->topLevelItemCount(), Pkd2007Table().size());
}

TEST_F(SectionIo, LoadingEverythingStepsThroughTheSectionsAndFillsTheListButtons)
{
    temp.connection.execute(U("insert into dane_wykaz_publikacji (grupa) values (1), (1), (3)"));
    QWidget window;
    std::vector<std::unique_ptr<SectionPageWidget>> pages;
    for (const form::Section& s : form::FormCatalogue())
        for (const form::Page& p : s.pages)
            pages.push_back(std::make_unique<SectionPageWidget>(s, p, &window));
    ProgressWindow progress;
    loadAllSectionsInto(&window, program, progress);
    EXPECT_EQ(progress.maximum(), 24);
    EXPECT_EQ(progress.position(), 24);
    EXPECT_EQ(progress.label(), U("Inne ważne informacje"));
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window.findChild<QPushButton*>(U("bb801"))->text(), U("liczba=2 -> wykaz"));
    EXPECT_EQ(field(&window, "me8")->text(), U("3"));

    setListCaption(&window, 28, 4);
    afterListEditor(&window, program, 28, true);
    EXPECT_EQ(window.findChild<QPushButton*>(U("bb804"))->text(), U("liczba=4 -> wykaz"));
    EXPECT_EQ(field(&window, "me8")->text(), U("7"));

    temp.connection.execute(U("insert into dane_wykaz_licencji (oplata) values (500000), (1000000.01)"));
    afterListEditor(&window, program, 169, false); // closed without saving: the counts stay
    EXPECT_EQ(field(&window, "me1519_2")->text(), U("0"));
    afterListEditor(&window, program, 169, true);
    EXPECT_EQ(field(&window, "me1519_2")->text(), U("1"));
    EXPECT_EQ(field(&window, "me1519_3")->text(), U("1"));
}

// A keyboard user fills section 5 with Enter only: each field shows "0,00" when reached, the
// typed amount replaces it, and the last Enter presses "zapisz zmiany". A mouse click afterwards
// places the caret instead of selecting.
TEST_F(SectionIo, AmountsTypedWithEnterOnlyReplaceWhatTheFieldsShowed)
{
    const form::PageRef ref = form::PageByTag(5);
    SectionPageWidget w(*ref.section, *ref.page);
    installFieldChecks(&w, program, &w.page());
    loadSectionPage(&w, program, 5);
    QObject::connect(&w, &SectionPageWidget::editClicked, &w, [&] { w.enterEditMode(); });
    QObject::connect(&w, &SectionPageWidget::saveClicked, &w, [&] { saveSectionPage(&w, program, 5); });
    w.resize(900, 700);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.editButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.editButton(), Qt::Key_Return);
    ASSERT_TRUE(w.inEditMode());

    QMap<QString, int> typed;
    for (int step = 0; step < 40; ++step) {
        auto* line = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        if (!line)
            break;
        const int amount = 100 + step;
        QTest::keyClicks(line, QString::number(amount));
        typed[line->objectName()] = amount;
        QTest::keyClick(line, Qt::Key_Return);
    }
    ASSERT_EQ(QApplication::focusWidget(), w.saveButton());
    ASSERT_GE(typed.size(), 3);
    QTest::keyClick(w.saveButton(), Qt::Key_Return);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(U(" | ")).toStdString();

    const FieldValues stored = LoadSection(program, 5);
    for (auto it = typed.cbegin(); it != typed.cend(); ++it)
        EXPECT_EQ(QString(stored.text.value(it.key())).replace(u',', u'.').toDouble(), it.value()) << qPrintable(it.key());

    QLineEdit* me52 = field(&w, "me52");
    QTest::mouseClick(me52, Qt::LeftButton, {}, QPoint(me52->width() - 4, me52->height() / 2));
    EXPECT_TRUE(me52->hasFocus());
    EXPECT_FALSE(me52->hasSelectedText());
}

// On a fresh database the drop-downs show their "- wybierz ... -" item; saved untouched, the
// stored value stays empty, while a choice made with the keyboard is stored.
TEST_F(SectionIo, AChoosePromptShownForNothingStoredSavesAsEmpty)
{
    temp.connection.execute(U("insert into dane_podstawowe (nazwa) values ('Instytut')"));
    auto w = page(101);
    loadSectionPage(w.get(), program, 101);
    auto* kind = field<QComboBox>(w.get(), "c005");
    auto* category = field<QComboBox>(w.get(), "c006");
    EXPECT_EQ(kind->currentText(), U("- wybierz rodzaj -"));
    EXPECT_EQ(category->currentText(), U("- wybierz kategorię - "));
    category->setFocus(Qt::TabFocusReason);
    QTest::keyClick(category, Qt::Key_Down);
    ASSERT_TRUE(saveSectionPage(w.get(), program, 101));
    EXPECT_EQ(temp.connection.scalar(U("select coalesce(Rodzaj, '') from dane_podstawowe")).toString(), QString());
    EXPECT_EQ(temp.connection.scalar(U("select Kategoria from dane_podstawowe")).toString(), U("1"));
}
