#include "base/clock.h"
#include "program/program.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "gui/lists/list_editor.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/user_font.h"
#include "support/temp_survey.h"

#include <QScreen>
#include <gtest/gtest.h>

#include <QHeaderView>

#include <ostream>

// Readable failures: Qt strings as UTF-8.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <QAction>
#include <QScrollBar>
#include <QToolButton>

using namespace vestrum;
using namespace vestrum::lists;
using vestrum::testing::ScriptedMessages;
using vestrum::testing::TempSurvey;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

struct EditorFixture : ::testing::Test {
    TempSurvey survey;
    ScriptedMessages messages;
    SystemClock clock;
    Program program{messages, clock};
    std::unique_ptr<ListEditor> editor;

    void SetUp() override
    {
        program.survey.open(survey.path(), schema::databasePassword());
        editor = std::make_unique<ListEditor>(program);
    }

    void store(int kind, const std::vector<QStringList>& rows)
    {
        ListGrid g(ListKindInfoOf(kind).headers());
        g.setRows(rows);
        SaveList(program.survey, kind, g);
    }

    QStringList shownColumn(int column) const
    {
        QStringList out;
        for (int r = 1; r < editor->grid()->rowCount(); ++r)
            out << editor->grid()->cell(column, r);
        return out;
    }

    // An entry dialog that accepts the given cells.
    void enterRows(std::vector<QStringList> rows)
    {
        auto queue = std::make_shared<std::vector<QStringList>>(std::move(rows));
        editor->setEntryEditor([queue](int, QStringList& cells) {
            if (queue->empty())
                return false;
            cells = queue->front();
            queue->erase(queue->begin());
            return true;
        });
    }
};

} // namespace

TEST_F(EditorFixture, OpensSortedWithTitleHeadersAndDisabledLaterCommands)
{
    store(22, {{S("Zjazd"), S("b")}, {S("ankieta"), S("a")}, {S("Łódź"), S("c")}, {S("lato"), S("d")}});
    editor->prepare(22);
    EXPECT_EQ(editor->title(), ListTitle(22));
    EXPECT_EQ(editor->grid()->headers(), QStringList({S("* nazwa konferencji"), S("tytuł referatu")}));
    EXPECT_EQ(shownColumn(0), QStringList({S("ankieta"), S("lato"), S("Łódź"), S("Zjazd")}));
    EXPECT_EQ(editor->selectedRows(), std::make_pair(0, 0));
    EXPECT_EQ(editor->count(), 4);
    EXPECT_FALSE(editor->addButton()->isEnabled());
    EXPECT_FALSE(editor->changeButton()->isEnabled());
    EXPECT_FALSE(editor->toolAction(ListEditor::Tool::TextImport)->isEnabled());
    EXPECT_FALSE(editor->toolAction(ListEditor::Tool::GroupIdentification)->isVisible());
    EXPECT_EQ(editor->toolAction(ListEditor::Tool::XmlImport)->toolTip(),
              S("Import danych z utworzonego za pomocą tego programu pliku w formacie *.xml "));

    editor->prepare(5);
    EXPECT_TRUE(editor->toolAction(ListEditor::Tool::GroupIdentification)->isVisible());
    EXPECT_TRUE(editor->list().isEmpty());
    EXPECT_EQ(editor->grid()->rowCount(), 2);

    // a press on a header cell sorts by that column and moves the marker
    editor->prepare(22);
    editor->resize(800, 500);
    editor->show();
    QHeaderView* headerRow = editor->grid()->horizontalHeader();
    const int middle = headerRow->sectionViewportPosition(1) + headerRow->sectionSize(1) / 2;
    QTest::mousePress(headerRow->viewport(), Qt::RightButton, {}, QPoint(middle, headerRow->height() / 2));
    EXPECT_EQ(editor->grid()->headers(), QStringList({S("nazwa konferencji"), S("* tytuł referatu")}));
    EXPECT_EQ(shownColumn(1), QStringList({S("a"), S("b"), S("c"), S("d")}));
    editor->hide();
}

TEST_F(EditorFixture, AddingChangingAndDeleting)
{
    editor->prepare(21);
    enterRows({{S("Pierwsza")}, {S("Ala")}, {S("Zmieniona")}});
    program.state.PendingEdit = false;

    editor->addEntry(); // fills the blank row of the empty list
    EXPECT_EQ(shownColumn(0), QStringList({S("Pierwsza")}));
    EXPECT_TRUE(program.state.PendingEdit);
    editor->addEntry(); // appended, selected, not sorted until the next sort
    EXPECT_EQ(shownColumn(0), QStringList({S("Pierwsza"), S("Ala")}));
    EXPECT_EQ(editor->selectedRows(), std::make_pair(1, 1));
    editor->changeEntry();
    EXPECT_EQ(shownColumn(0), QStringList({S("Pierwsza"), S("Zmieniona")}));

    // "Nie" keeps the row but the edit counts as pending all the same
    program.state.PendingEdit = false;
    messages.answer(MessageAnswer::No);
    editor->deleteSelected();
    ASSERT_FALSE(messages.shown.isEmpty());
    ASSERT_FALSE(messages.requests.empty());
    EXPECT_EQ(messages.requests.last().number, 9);
    EXPECT_EQ(messages.shown.last(), S("Czy na pewno chcesz usunąć zaznaczoną pozycję?"));
    EXPECT_EQ(editor->list().rowCount(), 2);
    EXPECT_TRUE(program.state.PendingEdit);

    editor->selectRow(0);
    messages.answer(MessageAnswer::Yes);
    editor->deleteSelected();
    EXPECT_EQ(shownColumn(0), QStringList({S("Zmieniona")}));
    messages.answer(MessageAnswer::Yes);
    editor->deleteSelected(); // the only entry: one blank row stays
    EXPECT_EQ(editor->grid()->rowCount(), 2);
    EXPECT_TRUE(editor->list().isEmpty());

    // commands on the empty list do nothing and ask nothing
    const qsizetype asked = messages.shown.size();
    editor->deleteSelected();
    editor->deleteAll();
    editor->changeEntry();
    EXPECT_EQ(messages.shown.size(), asked);

    // a selected range goes at once; "usuń wszystko" leaves one blank row
    store(21, {{S("a")}, {S("b")}, {S("c")}, {S("d")}});
    editor->prepare(21);
    editor->grid()->clearSelection();
    editor->grid()->selectionModel()->select(
        QItemSelection(editor->grid()->model()->index(1, 0), editor->grid()->model()->index(2, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    editor->deleteSelected();
    EXPECT_EQ(shownColumn(0), QStringList({S("a"), S("d")}));
    EXPECT_EQ(editor->selectedRows(), std::make_pair(1, 1));
    messages.answer(MessageAnswer::Yes);
    editor->deleteAll();
    ASSERT_FALSE(messages.requests.isEmpty());
    EXPECT_EQ(messages.requests.last().number, 11);
    EXPECT_TRUE(editor->list().isEmpty());
    // nothing of it reached the database
    EXPECT_EQ(LoadList(program.survey, 21).count, 4);
}

TEST_F(EditorFixture, DuplicatesMustGoBeforeTheListIsSaved)
{
    store(21, {{S("Stara")}});
    editor->prepare(21);
    editor->list().setRows({{S("Łąka")}, {S("ŁĄKA")}, {S("inna")}});
    editor->listChanged();

    messages.answer(MessageAnswer::No);
    editor->saveChanges();
    ASSERT_EQ(messages.shown.size(), 1) << "the duplicate rows were not reported";
    ASSERT_EQ(messages.requests.size(), 1);
    EXPECT_EQ(messages.shown.last(),
              S("Uwaga!\nTen wykaz zawiera co najmniej dwie pozycje o identycznej zawartości. Trzeba je usunąć przed "
                "zapisaniem.\nCzy program ma automatycznie usunąć identyczne wiersze?"));
    EXPECT_EQ(messages.requests.last().number, 0);
    EXPECT_EQ(editor->list().rowCount(), 3);

    messages.answer(MessageAnswer::Yes);
    editor->saveChanges();
    EXPECT_EQ(shownColumn(0), QStringList({S("Łąka"), S("inna")}));
    EXPECT_NE(editor->result(), QDialog::Accepted);
    EXPECT_EQ(LoadList(program.survey, 21).grid.row(0).value(0), S("Stara")); // not written yet

    program.state.PendingEdit = true;
    SetDataSaved(program.state, true);
    editor->saveChanges();
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    EXPECT_EQ(editor->count(), 2);
    EXPECT_FALSE(program.state.PendingEdit);
    EXPECT_FALSE(program.state.DataSaved);
    EXPECT_EQ(LoadList(program.survey, 21).count, 2);
}

TEST_F(EditorFixture, CloseControlAsksAndNoKeepsTheWindowOpen)
{
    store(23, {{S("Konferencja")}});
    editor->prepare(23);
    editor->list().setRows({{S("Konferencja")}, {S("Nowa")}});
    editor->listChanged();
    editor->show();

    messages.answer(MessageAnswer::No);
    editor->close();
    EXPECT_TRUE(editor->isVisible());
    ASSERT_FALSE(messages.requests.isEmpty());
    EXPECT_EQ(messages.requests.last().number, 10);
    EXPECT_EQ(editor->list().rowCount(), 2);

    messages.answer(MessageAnswer::Yes);
    editor->close();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(editor->result(), QDialog::Rejected);
    EXPECT_FALSE(program.state.PendingEdit);
    EXPECT_EQ(LoadList(program.survey, 23).count, 1);

    // the next opening starts again from the database
    editor->prepare(23);
    EXPECT_EQ(editor->list().rowCount(), 1);
}

TEST_F(EditorFixture, MainWindowGridKindsGoThroughTheSectionGrid)
{
    ListGridView sectionGrid;
    sectionGrid.setHeaders(ListKindInfoOf(13).headers());
    sectionGrid.setDataRows({{S("Zeszyty"), S("pl"), S("100"), S("seria")}, {S("Acta"), S("en"), S("50"), S("x")}});
    int saves = 0;
    editor->prepare(13, &sectionGrid, [&saves] { ++saves; });
    EXPECT_EQ(editor->title(), S("9. Wydawnictwa własne"));
    EXPECT_EQ(shownColumn(0), QStringList({S("Acta"), S("Zeszyty")}));

    editor->selectRow(0);
    messages.answer(MessageAnswer::Yes);
    editor->deleteSelected();
    editor->saveChanges();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(editor->count(), 0);
    EXPECT_EQ(sectionGrid.dataRows(), (std::vector<QStringList>{{S("Zeszyty"), S("pl"), S("100"), S("seria")}}));
}

// VESTRUM_SHOTS=/tmp/shots writes pictures of the editor with long Polish entries.
TEST_F(EditorFixture, Screenshots)
{
    program.state.Windows[static_cast<size_t>(RememberedWindow::Wykazy)] = {700, 1000, 0, 0, false};
    const QString folder = qEnvironmentVariable("VESTRUM_SHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "set VESTRUM_SHOTS to a folder";
    QDir().mkpath(folder);
    const QString words = S("Źdźbło łąkowe, żółw, gęś i jaźń — badania nad przepięknymi, długimi tytułami publikacji ");
    for (int kind : {1, 3, 9, 40}) {
        std::vector<QStringList> rows;
        const int columns = static_cast<int>(ListKindInfoOf(kind).columns.size());
        for (int r = 0; r < 40; ++r) {
            QStringList cells;
            for (int c = 0; c < columns; ++c)
                cells << (c == 0 ? QStringLiteral("%1 ").arg(40 - r) : QString()) + words.left(10 + (r * 7 + c * 13) % 80);
            rows.push_back(cells);
        }
        if (kind == 3)
            for (QStringList& row : rows)
                row[5] = S("12,50");
        if (kind == 40)
            for (QStringList& row : rows)
                row[2] = row[7] = S("1000,00");
        if (kind == 1)
            rows = {{S("doktor"), S("nauk chemicznych;")}, {S("doktor habilitowany"), S("nauk fizycznych;")}};
        store(kind, rows);
        editor->prepare(kind);
        editor->show();
        QTest::qWait(50);
        editor->grab().save(QStringLiteral("%1/wykaz_%2.png").arg(folder).arg(kind));
        editor->hide();
    }
}

// Opened for the first time (nothing remembered), the editor is big enough for its tool row: no
// command hides behind the row's extension button. Later openings keep the remembered bounds.
TEST_F(EditorFixture, FirstOpeningShowsEveryCommandAndLaterOnesAreRemembered)
{
    editor->prepare(3);
    editor->show();
    QApplication::processEvents();
    // On a screen narrower than the row the window takes the screen's width, its frame included.
    const QMargins frame = editor->windowHandle()->frameMargins();
    const int besideFrame = frame.left() + frame.right();
    const int commandsWidth = std::min(editor->toolRow()->sizeHint().width(),
                                       editor->screen()->availableGeometry().width() - besideFrame);
    EXPECT_GE(editor->width(), commandsWidth);
    EXPECT_GT(editor->height(), 400);
    const QRect area = editor->screen()->availableGeometry();
    editor->setGeometry(area.left() + frame.left(), area.top() + 60,
                        std::max(std::min(700, area.width() - besideFrame), commandsWidth), 500);
    const QRect left = editor->geometry();
    editor->hide();
    editor->show();
    EXPECT_EQ(editor->geometry(), left);
    // A remembered size too narrow for the commands (a kind with more, a bigger font) grows.
    editor->setGeometry(40, 60, 300, 500);
    editor->hide();
    editor->show();
    EXPECT_GE(editor->width(), commandsWidth);
    EXPECT_EQ(editor->height(), 500);
    editor->hide();
}

namespace {

// Every command of the tool row in view: on one line when the screen allows it, else wrapped,
// never behind an extension button.
void ExpectEveryToolShown(ListEditor& editor)
{
    const QWidget* row = editor.toolRow();
    std::vector<QRect> taken;
    for (ListEditor::Tool tool : {ListEditor::Tool::TextImport, ListEditor::Tool::GroupIdentification,
                                  ListEditor::Tool::XmlExport, ListEditor::Tool::XmlImport,
                                  ListEditor::Tool::UnmatchedJournals}) {
        const QWidget* button = editor.toolButton(tool);
        SCOPED_TRACE(editor.toolAction(tool)->text().toStdString());
        ASSERT_TRUE(button->isVisible());
        const QRect shown = button->geometry();
        EXPECT_TRUE(row->rect().contains(shown)) << "the row is cut";
        EXPECT_LE(row->mapTo(&editor, shown.topRight()).x(), editor.width());
        for (const QRect& other : taken)
            EXPECT_FALSE(shown.intersects(other));
        taken.push_back(shown);
    }
}

// The last column ends left of the vertical scroll bar.
void ExpectHeadersBesideScrollBar(const ListGridView& grid)
{
    const QHeaderView* headers = grid.horizontalHeader();
    const int last = headers->count() - 1;
    EXPECT_TRUE(grid.verticalScrollBar()->isVisible());
    EXPECT_LE(headers->sectionViewportPosition(last) + headers->sectionSize(last), grid.viewport()->width());
    EXPECT_FALSE(grid.horizontalScrollBar()->isVisible());
}

} // namespace

// A kind with every command, left small at 12 points, and the font made 16 points while it is
// open and again before the next opening: it grows up to the screen, the tool row wraps where the
// screen is too narrow, and the columns leave room for the scroll bar.
TEST_F(EditorFixture, BiggerFontKeepsEveryCommandAndHeaderInView)
{
    program.state.Windows[static_cast<size_t>(RememberedWindow::Wykazy)] = {320, 420, 40, 60, false};
    const int columns = static_cast<int>(ListKindInfoOf(3).columns.size());
    std::vector<QStringList> rows;
    for (int r = 0; r < 30; ++r) {
        QStringList cells{S("Przegląd Gastroenterologiczny %1").arg(r)};
        while (cells.size() < columns)
            cells << S("Kowalski");
        rows.push_back(cells);
    }
    store(3, rows);
    program.state.UserFont = {QStringLiteral("Arial"), 12};
    editor->prepare(3);
    editor->show();
    QTest::qWait(100);
    ExpectEveryToolShown(*editor);

    // What the program's font window does to the windows it owns.
    program.state.UserFont = {QStringLiteral("Arial"), 16};
    ApplyUserFont(editor.get(), program.state.UserFont);
    QTest::qWait(150);
    {
        SCOPED_TRACE("changed while open");
        ExpectEveryToolShown(*editor);
        ExpectHeadersBesideScrollBar(*editor->grid());
    }
    editor->hide();
    program.state.Windows[static_cast<size_t>(RememberedWindow::Wykazy)] = {320, 420, 40, 60, false};
    editor->show();
    QTest::qWait(150);
    SCOPED_TRACE("opened again");
    ExpectEveryToolShown(*editor);
    ExpectHeadersBesideScrollBar(*editor->grid());
    editor->hide();
}
