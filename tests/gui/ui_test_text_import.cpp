#include "base/clock.h"
#include "base/codepage.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/progress_window.h"
#include "gui/import/text_import_window.h"
#include "gui/lists/list_editor.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "program/program.h"
#include "storage/schema.h"
#include "support/temp_survey.h"
#include "import/workbook_files.h"
#include "typing.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

using namespace vestrum;
using vestrum::testing::typeOver;
using vestrum::testing::ScriptedMessages;
using vestrum::testing::TempSurvey;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

struct ImportFixture : ::testing::Test {
    TempSurvey survey;
    QTemporaryDir journalFolder;
    ScriptedMessages messages;
    SystemClock clock;
    Program program { messages, clock };
    lists::JournalList journals { program.journals };
    ProgressWindow progress;
    std::unique_ptr<TextImportWindow> window;

    void SetUp() override
    {
        program.survey.open(survey.path(), schema::databasePassword());
        const QString path = journalFolder.filePath(QStringLiteral("lista_czasopism.mdb"));
        db::Connection::create(path, schema::databasePassword());
        program.journals.open(path, schema::databasePassword());
        program.journals.execute(QStringLiteral(
            "CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, rodzaj INTEGER)"));
        program.journals.execute(
            QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, 70, 1)"), { S("Kwartalnik Historyczny") });
        journals.open();
        window = std::make_unique<TextImportWindow>(program, journals, progress);
    }

    // Positions 1.. go to columns 0.. in order.
    void mapInOrder(int positions)
    {
        for (int p = 0; p < positions; ++p)
            window->setMapColumn(p, p);
    }

    QStringList previewRow(int row) const
    {
        QStringList cells;
        for (int c = 0; c < window->preview()->columnCount(); ++c)
            cells << window->preview()->cell(c, row);
        return cells;
    }
};

} // namespace

TEST_F(ImportFixture, InstructionsShowWhileMessage24IsOnAndDalejCanTurnThemOff)
{
    window->prepare(21);
    EXPECT_EQ(window->currentPage(), TextImportWindow::InstructionsPage);
    window->continueFromInstructions();
    EXPECT_EQ(window->currentPage(), TextImportWindow::StructurePage);
    EXPECT_EQ(program.state.Flags.flag(MessageFlags::ImportInstructionFlag), 1);

    window->prepare(21);
    EXPECT_FALSE(window->dontShowAgainBox()->isChecked());
    window->dontShowAgainBox()->setChecked(true);
    window->continueFromInstructions();
    EXPECT_EQ(program.state.Flags.flag(MessageFlags::ImportInstructionFlag), 0);
    window->prepare(21);
    EXPECT_EQ(window->currentPage(), TextImportWindow::StructurePage);
}

TEST_F(ImportFixture, PublicationsAreReadIdentifiedAndCountedInTheHeading)
{
    window->prepare(3);
    mapInOrder(3);
    window->setImportText(S("kwartalnik historyczny;Dzieje Mazowsza;Nowak Anna\n\nGazeta;Felieton;Kowalski\n"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->currentPage(), TextImportWindow::PreviewPage);
    EXPECT_EQ(window->previewHeading()->text(), S("Weryfikacja wyników i ładowanie danych - wczytano 2 pozycji"));
    EXPECT_EQ(previewRow(1),
        (QStringList { S("kwartalnik historyczny"), S("Dzieje Mazowsza"), S("Nowak Anna"), S(""),
            S("Kwartalnik Historyczny"), S("70,00"), S("") }));
    EXPECT_EQ(previewRow(2).mid(4), (QStringList { S(""), S("0,00"), S("") }));
    ASSERT_FALSE(messages.requests.isEmpty());
    EXPECT_EQ(messages.requests.last().number, 12);
    EXPECT_FALSE(progress.isVisible());

    // An empty text gives one empty row, counted.
    window->showPage(TextImportWindow::StructurePage);
    window->clearText();
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->previewHeading()->text(), S("Weryfikacja wyników i ładowanie danych - wczytano 1 pozycji"));
    EXPECT_EQ(window->preview()->dataRowCount(), 1);
}

TEST_F(ImportFixture, RefusalsLeaveTheTextAndThePreviewAsTheyWere)
{
    window->prepare(21);
    window->setMapColumn(0, 0);
    window->setImportText(S("Zjazd"));
    ASSERT_TRUE(window->readIntoStructure());
    window->showPage(TextImportWindow::StructurePage);
    window->show();

    typeOver(window->separatorField(), QString());
    EXPECT_FALSE(window->readIntoStructure());
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(), S("Nie podano znaku separatora"));

    QTest::mouseClick(window->byLinesOption(), Qt::LeftButton);
    EXPECT_FALSE(window->separatorField()->isEnabled());
    EXPECT_TRUE(window->lineCountField()->isEnabled());
    typeOver(window->lineCountField(), S("13"));
    EXPECT_FALSE(window->readIntoStructure());
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(),
        S("Ilość linii, które obejmują jeden opis, nie może być większa niż 12 (ani mniejsza od 1)."));
    // Leaving the field with Tab checks it as well; a blank field may be left.
    const qsizetype shown = messages.shown.size();
    typeOver(window->lineCountField(), S("x"));
    QTest::keyClick(window->lineCountField(), Qt::Key_Tab);
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(), S("Podana wartość jest nieprawidłowa"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return window->lineCountField()->hasFocus(); }, 1000));
    typeOver(window->lineCountField(), QString());
    QTest::keyClick(window->lineCountField(), Qt::Key_Tab);
    EXPECT_EQ(messages.shown.size(), shown + 1);
    EXPECT_FALSE(window->lineCountField()->hasFocus());

    typeOver(window->lineCountField(), S("1"));
    window->setMapColumn(5, 0);
    EXPECT_FALSE(window->readIntoStructure());
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(),
        S("Do conajmniej dwóch pól przypisano taką samą zawartość tematyczną: nazwa konferencji"));

    EXPECT_EQ(window->textField()->toPlainText(), S("Zjazd"));
    EXPECT_EQ(window->preview()->cell(0, 1), S("Zjazd"));
    EXPECT_EQ(window->currentPage(), TextImportWindow::StructurePage);
}

TEST_F(ImportFixture, TheFieldMapIsKeptAsColumnNumbersWithinAGroupAndResetForAnother)
{
    window->prepare(25);
    window->setMapColumn(0, 5); // "nakłady"
    window->setMapColumn(1, 0);
    window->prepare(26);
    EXPECT_EQ(window->mapList(0)->currentText(), S("udział wnioskodawcy"));
    EXPECT_EQ(window->mapList(1)->currentText(), S("numer projektu"));
    EXPECT_EQ(window->mapList(0)->count(), 7);

    window->prepare(27);
    for (int p = 0; p < 12; ++p)
        EXPECT_EQ(window->mapList(p)->currentIndex(), 0) << p;
    EXPECT_EQ(window->mapList(0)->currentText(), S("- pomiń -"));

    // Publications offer "ISSN" last, chosen with the keys: it shows in the preview's extra column
    // and identifies the row, and the hand-over leaves it out.
    program.journals.execute(QStringLiteral("ALTER TABLE lista_ministerstwa ADD COLUMN issn VARCHAR(9)"));
    program.journals.execute(QStringLiteral("ALTER TABLE lista_ministerstwa ADD COLUMN eissn VARCHAR(9)"));
    program.journals.execute(QStringLiteral("UPDATE lista_ministerstwa SET issn = '0023-5903'"));
    journals.open();
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(3);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitFor([this] { return window->isActiveWindow(); }, 1000);
    EXPECT_EQ(window->mapList(0)->count(), 8);
    window->mapList(0)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(window->mapList(0)->currentText(), S("Czasopismo"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), window->mapList(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    EXPECT_EQ(window->mapList(1)->currentText(), S("ISSN"));
    EXPECT_EQ(window->mapColumns()[1], lists::kIssnColumn);
    window->setImportText(S("Kwartalnik Histor.;0023-5903"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->preview()->cell(lists::kIssnColumn, 0), S("ISSN"));
    EXPECT_EQ(previewRow(1).mid(4), (QStringList { S("Kwartalnik Historyczny"), S("70,00"), S("0023-5903") }));
    EXPECT_TRUE(window->enterIntoList());
    ASSERT_EQ(window->acceptedRows().size(), 1u);
    // The ISSN goes into the list with the row.
    EXPECT_EQ(window->acceptedRows()[0].value(lists::kIssnColumn), S("0023-5903"));
}

TEST_F(ImportFixture, FailingRowsShowEveryErrorAndPassingRowsAreAcceptedInTheListedSpelling)
{
    window->prepare(47);
    mapInOrder(3);
    window->setImportText(S("KRAJOWA;Medal;Minister\n- wybierz -;Nagroda;Rektor\nobca;Dyplom;PAN"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_FALSE(window->enterIntoList());
    EXPECT_EQ(window->currentPage(), TextImportWindow::ErrorsPage);
    const QStringList lines = window->errorText()->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].isEmpty());
    EXPECT_TRUE(lines[1].endsWith(S("klasyfikacji - wiersz 2")));
    EXPECT_TRUE(lines[2].endsWith(S("klasyfikacji - wiersz 3")));
    EXPECT_TRUE(window->acceptedRows().empty());

    window->showPage(TextImportWindow::StructurePage);
    window->setImportText(S("KRAJOWA;Medal;Minister\nZagraniczna;Dyplom;PAN"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_TRUE(window->enterIntoList());
    EXPECT_EQ(window->acceptedRows(),
        (std::vector<QStringList> {
            { S("krajowa"), S("Medal"), S("Minister") }, { S("zagraniczna"), S("Dyplom"), S("PAN") } }));
}

TEST_F(ImportFixture, LeavingAsksMessage18AndNieKeepsTheWindowOpen)
{
    window->prepare(21);
    window->show();
    messages.answer(MessageAnswer::No);
    window->reject();
    ASSERT_FALSE(messages.requests.isEmpty());
    EXPECT_EQ(messages.requests.last().number, 18);
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.last(), S("Czy na pewno chcesz pominąć wprowadzone zmiany?"));
    EXPECT_TRUE(window->isVisible());
    messages.answer(MessageAnswer::Yes);
    window->reject();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ImportFixture, TheEncodingChooserShowsTheDetectedOneAndTheTextFollowsItsChoice)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wykaz"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(codepage::toIso88592(S("Zjazd Łódzki\r\nSympozjum Śląskie\r\n")));
    file.close();
    window->prepare(21);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitFor([this] { return window->isActiveWindow(); }, 1000);
    window->loadTextFromFile(path);
    EXPECT_EQ(window->textField()->toPlainText(), S("Zjazd Łódzki\nSympozjum Śląskie\n"));
    EXPECT_EQ(window->encodingChooser()->currentText(), S("ISO-8859-2"));
    EXPECT_EQ(window->textField()->textCursor().position(), 0);

    // One key up is Windows-1250, and the text is read again at once; one down is back.
    window->encodingChooser()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(window->encodingChooser()->currentText(), S("Windows-1250"));
    EXPECT_EQ(window->textField()->toPlainText(), S("Zjazd Łódzki\nSympozjum ¦l±skie\n"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(window->textField()->toPlainText(), S("Zjazd Łódzki\nSympozjum Śląskie\n"));
    // The workbook entry is no encoding a text can be read in.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(window->encodingChooser()->currentText(), S("ISO-8859-2"));

    QGuiApplication::clipboard()->setText(S("Konferencja Łódzka"));
    window->pasteFromClipboard();
    EXPECT_EQ(window->textField()->toPlainText(), S("Konferencja Łódzka"));
    EXPECT_FALSE(window->encodingChooser()->isEnabled());
}

TEST_F(ImportFixture, AHeaderRowIsTickedForTheUserWhoCanUntickItAndTheMapShowsItsCaptions)
{
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(25);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitFor([this] { return window->isActiveWindow(); }, 1000);
    mapInOrder(6);
    QGuiApplication::clipboard()->setText(S("numer projektu;tytuł projektu;data rozpoczęcia;data zakończenia;kierownik "
                                            "projektu;nakłady\n"
                                            "N 1;\"Badania; etap 2\";01/01/2007;31/12/2008;Nowak Anna;1500,50\n"));
    window->pasteFromClipboard();
    EXPECT_TRUE(window->headerBox()->isChecked());
    EXPECT_FALSE(window->headerNotice()->text().isEmpty());
    EXPECT_EQ(window->mapLabel(0)->text(), S("1. numer projektu"));
    EXPECT_EQ(window->mapLabel(6)->text(), S("7."));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->preview()->dataRowCount(), 1);
    EXPECT_EQ(previewRow(1).mid(0, 2), (QStringList { S("N 1"), S("Badania; etap 2") }));

    // Unticked with the space bar, the captions leave the map and the row is read as data.
    window->showPage(TextImportWindow::StructurePage);
    window->headerBox()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(window->headerBox()->isChecked());
    EXPECT_TRUE(window->headerNotice()->text().isEmpty());
    EXPECT_EQ(window->mapLabel(0)->text(), S("1."));
    // With the quotes off, "Badania; etap 2" is cut at its separator.
    window->quotesBox()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(window->quotesBox()->isChecked());
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->preview()->dataRowCount(), 2);
    EXPECT_EQ(previewRow(2).mid(1, 2), (QStringList { S("\"Badania"), S("etap 2\"") }));
    // A text without a header row takes back a tick the guess made, never one the user made.
    window->showPage(TextImportWindow::StructurePage);
    window->quotesBox()->setChecked(true);
    window->pasteFromClipboard();
    EXPECT_TRUE(window->headerBox()->isChecked());
    window->setImportText(S("N 2;T;01/01/2007;31/12/2008;K;1,00"));
    EXPECT_FALSE(window->headerBox()->isChecked());
    window->headerBox()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    window->setImportText(S("N 3;T;01/01/2007;31/12/2008;K;1,00"));
    EXPECT_TRUE(window->headerBox()->isChecked());
}

TEST_F(ImportFixture, AWorkbookIsReadCellByCellFromTheSheetChosen)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("konferencje.xlsx"));
    const auto members = vestrum::testing::XlsxMembers(
        { { S("Pierwszy"), R"(<row r="1"><c r="A1" t="inlineStr"><is><t>Zjazd; letni</t></is></c></row></sheetData>)" },
            { S("Drugi"), R"(<row r="1"><c r="A1" t="inlineStr"><is><t>Sympozjum</t></is></c></row>
                             <row r="2"><c r="A2" t="inlineStr"><is><t>Kongres</t></is></c></row></sheetData>)" } },
        {});
    vestrum::testing::WriteZip(path, members);
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(21);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitFor([this] { return window->isActiveWindow(); }, 1000);
    window->setMapColumn(0, 0);
    window->loadTextFromFile(path);
    EXPECT_TRUE(window->readsWorkbook());
    EXPECT_EQ(window->encodingChooser()->currentText(), S("arkusz"));
    EXPECT_FALSE(window->separatorField()->isEnabled());
    EXPECT_TRUE(window->textField()->isReadOnly());
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(previewRow(1), QStringList { S("Zjazd; letni") });

    window->showPage(TextImportWindow::StructurePage);
    window->sheetChooser()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(window->textField()->toPlainText(), S("Sympozjum\nKongres"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->preview()->dataRowCount(), 2);

    // Emptying the text leaves the workbook.
    window->showPage(TextImportWindow::StructurePage);
    window->clearText();
    EXPECT_FALSE(window->readsWorkbook());
    EXPECT_TRUE(window->separatorField()->isEnabled());
    EXPECT_FALSE(window->sheetChooser()->isVisibleTo(window.get()));
}

TEST_F(ImportFixture, TheHandOverAppendsToTheEditorsListAndMarksItChanged)
{
    lists::ListGrid stored(lists::ListKindInfoOf(21).headers());
    stored.setRows({ { S("Alfa") }, { S("Beta") }, { S("Gamma") } });
    lists::SaveList(program.survey, 21, stored);
    ListEditor editor(program);
    editor.prepare(21);
    program.state.PendingEdit = false;
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);

    window->prepare(21);
    window->setMapColumn(0, 0);
    QTimer::singleShot(0, window.get(), [this] {
        window->setImportText(S("Delta\nEpsilon"));
        window->readIntoStructure();
        window->enterIntoList();
    });
    ImportTextIntoEditor(editor, *window);
    EXPECT_EQ(editor.list().rowCount(), 5);
    EXPECT_EQ(editor.list().row(3), QStringList { S("Delta") });
    EXPECT_EQ(editor.selectedRows(), std::make_pair(3, 3));
    EXPECT_TRUE(program.state.PendingEdit);
}

// The separator is an editable drop-down: its arrow keys offer ";", "," and "tabulator", and
// "tabulator" (or "tab" typed) cuts the fields at TABs only.
TEST_F(ImportFixture, TheSeparatorListOffersATabulatorWhichCutsAtTabs)
{
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(3);
    mapInOrder(2);
    window->setImportText(S("Gazeta;Lokalna\tFelieton, cz. 1\n"));
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QComboBox* separator = window->separatorField();
    ASSERT_TRUE(separator->isEditable());
    separator->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return separator->hasFocus(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(separator->currentText(), S(","));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(separator->currentText(), S("tabulator"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(previewRow(1).mid(0, 2), (QStringList { S("Gazeta;Lokalna"), S("Felieton, cz. 1") }));

    window->showPage(TextImportWindow::StructurePage);
    window->activateWindow(); // after the progress window of the identification
    separator->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return separator->hasFocus(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Tab"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(previewRow(1).mid(0, 2), (QStringList { S("Gazeta;Lokalna"), S("Felieton, cz. 1") }));

    // ";" typed over it is a separator again.
    window->showPage(TextImportWindow::StructurePage);
    window->activateWindow(); // after the progress window of the identification
    separator->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return separator->hasFocus(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(";"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(previewRow(1).mid(0, 2), (QStringList { S("Gazeta"), S("Lokalna\tFelieton, cz. 1") }));
    window->hide();
}

// At its first size the text box shows a good part of a text and the preview of an ordinary
// file of publications needs no sideways scrolling.
TEST_F(ImportFixture, TheFirstSizeShowsSeveralLinesAndTheWholePreview)
{
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(3);
    window->show();
    QTest::qWait(50);
    const int lines = window->textField()->viewport()->height() / QFontMetrics(window->textField()->font()).lineSpacing();
    EXPECT_GE(lines, 8);
    EXPECT_LE(window->width(), window->screen()->availableGeometry().width());
    mapInOrder(4);
    window->setImportText(S("Kwartalnik Historyczny;Dzieje Mazowsza w średniowieczu;Nowak Anna, Kowalski Jan;2020, 3, 15-30\n"
                            "Gazeta Lokalna;Felieton;Wiśniewska Ewa;2008\n"));
    ASSERT_TRUE(window->readIntoStructure());
    QTest::qWait(50);
    EXPECT_FALSE(window->preview()->horizontalScrollBar()->isVisible());
    window->hide();
}

// The first row the import brought is selected and in view, below a long list of tall rows.
TEST_F(ImportFixture, TheHandOverShowsTheFirstImportedRow)
{
    std::vector<QStringList> rows;
    for (int r = 0; r < 60; ++r)
        rows.push_back({ S("Konferencja %1 o bardzo długiej nazwie, która zawija się w komórce wykazu na kilka linii i zajmuje miejsce").arg(r, 2, 10, QLatin1Char('0')) });
    lists::ListGrid stored(lists::ListKindInfoOf(21).headers());
    stored.setRows(rows);
    lists::SaveList(program.survey, 21, stored);
    ListEditor editor(program);
    editor.prepare(21);
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    editor.resize(500, 400);
    editor.show();
    QTest::qWait(50);

    window->prepare(21);
    window->setMapColumn(0, 0);
    QTimer::singleShot(0, window.get(), [this] {
        window->setImportText(S("Zjazd A\nZjazd B"));
        window->readIntoStructure();
        window->enterIntoList();
    });
    ImportTextIntoEditor(editor, *window);
    QTest::qWait(50);
    EXPECT_EQ(editor.selectedRows(), std::make_pair(60, 60));
    ListGridView* grid = editor.grid();
    const QRect shown = grid->visualRect(grid->model()->index(60, 0));
    EXPECT_TRUE(grid->viewport()->rect().contains(shown)) << shown.y() << " of " << grid->viewport()->height();
    editor.hide();
}

TEST_F(ImportFixture, AHiddenSheetIsMarkedAndTheWindowOpensOnTheFirstShownOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("konferencje.xlsx"));
    const auto members = vestrum::testing::XlsxMembersWithStates(
        { { S("Archiwum"), R"(<row r="1"><c r="A1" t="inlineStr"><is><t>Zjazd 1999</t></is></c></row></sheetData>)" },
            { S("Bieżące"), R"(<row r="1"><c r="A1" t="inlineStr"><is><t>Sympozjum</t></is></c></row></sheetData>)" } },
        { "hidden", "" }, {});
    vestrum::testing::WriteZip(path, members);
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(21);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitFor([this] { return window->isActiveWindow(); }, 1000);
    window->setMapColumn(0, 0);
    window->loadTextFromFile(path);
    EXPECT_EQ(window->sheetChooser()->currentText(), S("Bieżące"));
    EXPECT_EQ(window->sheetChooser()->itemText(0), S("Archiwum (ukryty)"));
    EXPECT_EQ(window->textField()->toPlainText(), S("Sympozjum"));

    // The hidden sheet is still there to be chosen.
    window->sheetChooser()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(window->textField()->toPlainText(), S("Zjazd 1999"));
    EXPECT_EQ(window->sheetChooser()->currentText(), S("Archiwum (ukryty)"));
}

TEST_F(ImportFixture, APublicationTablesCaptionRowIsTickedAsAHeader)
{
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(3);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitFor([this] { return window->isActiveWindow(); }, 1000);
    window->setMapColumn(1, 0);
    window->setMapColumn(2, 1);
    window->setMapColumn(3, 2);
    QGuiApplication::clipboard()->setText(S("Lp.;Tytul czasopisma;TYTUŁ;Autorzy;Punkty\n"
                                            "1;Kwartalnik Historyczny;Dzieje Mazowsza;Nowak Anna;70\n"));
    window->pasteFromClipboard();
    EXPECT_TRUE(window->headerBox()->isChecked());
    EXPECT_EQ(window->headerNotice()->text(), S("Pierwszy wiersz tekstu to nazwy kolumn wykazu - zaznaczono to pole, "
                                                "więc nie zostanie on wczytany jako pozycja."));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->preview()->dataRowCount(), 1);
    EXPECT_EQ(previewRow(1).mid(0, 3), (QStringList { S("Kwartalnik Historyczny"), S("Dzieje Mazowsza"), S("Nowak Anna") }));
}

TEST_F(ImportFixture, ALineOfMegabytesIsShownCutAndReadWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("jeden_wiersz.csv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("Sieć;opis;").repeated(500000) + "ostatnia\nSieć 2;opis 2\n");
    file.close();
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(19);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitFor([this] { return window->isActiveWindow(); }, 1000);
    mapInOrder(2);

    window->loadTextFromFile(path);
    EXPECT_TRUE(window->cutNotice()->isVisible());
    EXPECT_TRUE(window->textField()->isReadOnly());
    const QStringList shown = window->textField()->toPlainText().split(u'\n');
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0].size(), 2001);
    EXPECT_TRUE(shown[0].endsWith(QChar(0x2026)));
    EXPECT_EQ(shown[1], S("Sieć 2;opis 2"));
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->preview()->dataRowCount(), 2);
    EXPECT_EQ(previewRow(2).mid(0, 2), (QStringList { S("Sieć 2"), S("opis 2") }));

    // The same from the clipboard; a short text makes the field the text again.
    window->showPage(TextImportWindow::StructurePage);
    QGuiApplication::clipboard()->setText(S("Sieć;opis;").repeated(3000));
    window->pasteFromClipboard();
    EXPECT_TRUE(window->cutNotice()->isVisible());
    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_EQ(window->preview()->dataRowCount(), 1);
    window->showPage(TextImportWindow::StructurePage);
    window->clearText();
    EXPECT_FALSE(window->cutNotice()->isVisible());
    EXPECT_FALSE(window->textField()->isReadOnly());
}

TEST_F(ImportFixture, AFileWithNulIsRefusedAndAQuoteLeftOpenIsNamedInTheErrors)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nul.csv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("Sieć A;opis\nSieć B;o") + QByteArray(1, '\0') + "pis\n");
    file.close();
    program.state.Flags.setFlag(MessageFlags::ImportInstructionFlag, 0);
    window->prepare(19);
    mapInOrder(2);
    window->setImportText(S("\"Sieć A;opis\n") + S("x;y\n").repeated(1000) + S("koniec\";opis\n"));
    window->loadTextFromFile(path);
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(), S("Plik %1 zawiera znaki NUL (wiersz 2) - to nie jest plik tekstowy.").arg(path));
    EXPECT_TRUE(window->textField()->toPlainText().startsWith(S("\"Sieć A;opis\nx;y\n")));

    ASSERT_TRUE(window->readIntoStructure());
    EXPECT_FALSE(window->enterIntoList());
    EXPECT_TRUE(window->errorText()->toPlainText().endsWith(
        S("wiersz 1\nCudzysłów otwarty w wierszu 1 nie został zamknięty przed końcem pola - sprawdź tekst albo wyłącz "
          "opcję »cudzysłów ogranicza pola« (--no-quotes).")))
        << window->errorText()->toPlainText().toStdString();
}
