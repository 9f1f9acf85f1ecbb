#include "base/clock.h"
#include "gui/common/list_grid_view.h"
#include "gui/import/bibliography_import_window.h"
#include "gui/lists/duplicate_choice_window.h"
#include "gui/lists/list_editor.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "program/program.h"
#include "storage/schema.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace vestrum;
using vestrum::testing::ScriptedMessages;
using vestrum::testing::TempSurvey;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Runs `act` on the first modal window of type T to come up, as a person would meet it.
template <typename T> void whenShown(std::function<void(T*)> act)
{
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window == nullptr || !window->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitFor([window] { return window->isActiveWindow(); }, 1000));
        act(window);
    });
    poll->start();
}

void pressKey(Qt::Key key)
{
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    QTest::keyClick(focused, key);
}

struct BibliographyImportFixture : ::testing::Test {
    TempSurvey survey;
    ScriptedMessages messages;
    SystemClock clock;
    Program program { messages, clock };
    db::Connection journalDb;
    std::unique_ptr<lists::JournalList> journals;
    std::unique_ptr<ListEditor> editor;
    std::unique_ptr<BibliographyImportWindow> window;
    QString chosenFile;

    void SetUp() override
    {
        program.survey.open(survey.path(), schema::databasePassword());
        program.state.ReportingYear = 2008;
        const QString path = survey.dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        db::Connection::create(path, schema::databasePassword());
        journalDb.open(path, schema::databasePassword());
        journalDb.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, "
                                         "rodzaj INTEGER)"));
        journalDb.execute(QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, 70, 1)"),
            { S("Kwartalnik Historyczny") });
        journals = std::make_unique<lists::JournalList>(journalDb);
        journals->open();
        lists::ListGrid stored(lists::ListKindInfoOf(3).headers());
        stored.setRows({ { S("Kwartalnik Historyczny"), S("Dzieje Mazowsza"), S("Nowak A."), S("2008, 2"),
            S("Kwartalnik Historyczny"), S("70,00") } });
        lists::SaveList(program.survey, 3, stored);

        editor = std::make_unique<ListEditor>(program);
        window = std::make_unique<BibliographyImportWindow>(program, *journals);
        editor->setToolCommand(ListEditor::Tool::BibliographyImport, [this](ListEditor& e) {
            ImportBibliographyIntoEditor(e, *window, [this] { return chosenFile; });
        });
        chosenFile = survey.dir.filePath(QStringLiteral("eksport.bib"));
        QFile file(chosenFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"(@article{a, author = {Nowak, Anna}, title = {Dzieje {M}azowsza}, year = 2008,
                      journal = {Kwartalnik Historyczny}, volume = 2}
                      @article{b, author = {Lis, Adam and {\L}uk, Ewa}, title = {Nowe {\'z}r{\'o}d{\l}a}, year = 2008,
                      journal = {Kwartalnik Historyczny}}
                      @misc{c, title = {Strona}})");
    }

    std::vector<QStringList> rowsAfterImport(bool untickDuplicate)
    {
        editor->prepare(5);
        whenShown<BibliographyImportWindow>([](BibliographyImportWindow* shown) {
            EXPECT_EQ(shown->windowTitle(), S("Import z bibliografii"));
            EXPECT_EQ(shown->heading()->text(), S("Podgląd wczytanego wykazu - BibTeX, wczytano 2 pozycje"));
            EXPECT_EQ(shown->skippedText()->text(), S("pominięto 1 pozycję typu @misc"));
            EXPECT_EQ(shown->preview()->dataRowCount(), 2);
            QTest::mouseClick(shown->enterButton(), Qt::LeftButton);
        });
        whenShown<DuplicateChoiceWindow>([untickDuplicate](DuplicateChoiceWindow* choice) {
            ASSERT_EQ(choice->table()->rowCount(), 1);
            EXPECT_EQ(choice->table()->item(0, 1)->text(), S("Dzieje Mazowsza"));
            EXPECT_EQ(choice->table()->item(0, 4)->text(), S("8.1.a, wiersz 1"));
            EXPECT_EQ(choice->table()->item(0, 0)->checkState(), Qt::Checked); // left out unless the user says so
            if (untickDuplicate)
                pressKey(Qt::Key_Space);
            pressKey(Qt::Key_Return);
        });
        editor->toolAction(ListEditor::Tool::BibliographyImport)->trigger();
        return editor->list().rows();
    }
};

} // namespace

TEST_F(BibliographyImportFixture, TheCommandBelongsToThePublicationListsOnly)
{
    for (int kind : { 3, 6, 8, 11 }) {
        editor->prepare(kind);
        EXPECT_TRUE(editor->toolAction(ListEditor::Tool::BibliographyImport)->isVisible()) << kind;
    }
    editor->prepare(7);
    EXPECT_FALSE(editor->toolAction(ListEditor::Tool::BibliographyImport)->isVisible());
    EXPECT_EQ(editor->toolAction(ListEditor::Tool::BibliographyImport)->text(),
        S("Import z bibliografii (BibTeX, RIS, CSL JSON)…"));
}

TEST_F(BibliographyImportFixture, ThePreviewedRowsGoInWithoutTheDuplicateTheUserLeftTicked)
{
    const std::vector<QStringList> rows = rowsAfterImport(false);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].mid(0, 6),
        (QStringList { S("Kwartalnik Historyczny"), S("Nowe źródła"), S("Lis A., Łuk E."), S("2008"),
            S("Kwartalnik Historyczny"), S("70,00") }));
    EXPECT_TRUE(program.state.PendingEdit);
}

TEST_F(BibliographyImportFixture, AnUntickedDuplicateIsAddedToo)
{
    const std::vector<QStringList> rows = rowsAfterImport(true);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], S("Dzieje Mazowsza"));
}
