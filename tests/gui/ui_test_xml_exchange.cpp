#include "base/clock.h"
#include "base/file_modes.h"
#include "gui/common/file_picker.h"
#include "gui/common/progress_window.h"
#include "gui/lists/list_editor.h"
#include "gui/lists/xml_exchange_commands.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/xml_exchange.h"
#include "program/program.h"
#include "storage/schema.h"
#include "support/temp_survey.h"
#include "typing.h"

#include <gtest/gtest.h>

#include <ostream>

// Readable failures: Qt strings as UTF-8.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace vestrum;
using vestrum::testing::typeOver;
using vestrum::testing::ScriptedMessages;
using vestrum::testing::TempSurvey;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Answers the file questions from a script and counts them.
struct ScriptedFiles final : XmlFileChooser {
    std::optional<QString> exportPath;
    std::optional<QString> importPath;
    int asked = 0;
    std::optional<QString> exportFile() override { return ++asked, exportPath; }
    std::optional<QString> importFile() override { return ++asked, importPath; }
};

struct XmlCommandsFixture : ::testing::Test {
    TempSurvey survey;
    ScriptedMessages messages;
    SystemClock clock;
    Program program { messages, clock };
    db::Connection journalDb;
    std::unique_ptr<lists::JournalList> journals;
    std::unique_ptr<ListEditor> editor;
    XmlExchangeCommands* commands = nullptr;
    ScriptedFiles files;

    void SetUp() override
    {
        program.survey.open(survey.path(), schema::databasePassword());
        const QString path = survey.dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        db::Connection::create(path, schema::databasePassword());
        journalDb.open(path, schema::databasePassword());
        journalDb.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, "
                                         "rodzaj INTEGER)"));
        journalDb.execute(
            QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, ?)"), { S("Physics Letters"), 30, 1 });
        journals = std::make_unique<lists::JournalList>(journalDb);
        journals->open();
        editor = std::make_unique<ListEditor>(program);
        commands = new XmlExchangeCommands(program, *journals, *editor);
        commands->setFileChooser(&files);
    }

    QString file(const char* name) const { return survey.dir.filePath(QString::fromUtf8(name)); }

    void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    void show(int kind, std::vector<QStringList> rows)
    {
        lists::ListGrid grid(lists::ListKindInfoOf(kind).headers());
        grid.setRows(std::move(rows));
        lists::SaveList(program.survey, kind, grid);
        editor->prepare(kind);
    }

    QList<int> numbers() const
    {
        QList<int> out;
        for (const MessageRequest& r : messages.requests)
            out << r.number;
        return out;
    }
};

} // namespace

TEST_F(XmlCommandsFixture, ExportThenImportGivesTheSameListBack)
{
    show(22,
        { { S("Zjazd B"), S("referat\nw dwóch wierszach") }, { S("Zjazd A"), S("x ]]> y") }, { S("C"), QString() } });
    EXPECT_TRUE(editor->toolAction(ListEditor::Tool::XmlExport)->isEnabled());
    EXPECT_TRUE(editor->toolAction(ListEditor::Tool::XmlImport)->isEnabled());
    const lists::ListGrid exported = editor->list();
    files.exportPath = file("wykaz.xml");
    editor->toolAction(ListEditor::Tool::XmlExport)->trigger();
    EXPECT_EQ(messages.shown, QStringList({ S("Eksport został zakończony") }));
    EXPECT_EQ(numbers(), QList<int>({ 13 }));

    editor->list().clear();
    editor->listChanged();
    program.state.PendingEdit = false;
    files.importPath = file("wykaz.xml");
    editor->toolAction(ListEditor::Tool::XmlImport)->trigger();
    EXPECT_EQ(editor->list().rows(), exported.rows());
    EXPECT_TRUE(program.state.PendingEdit);
    // Not a publication list: no identification notice, only the closing one.
    EXPECT_EQ(numbers(), QList<int>({ 13, 15 }));
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(),
        S("Import został zakończony.\nPonieważ program nie kontroluje poprawności importu, pzed zapisaniem danych "
          "proszę upewnić się, że zostały one wczytane prawidłowo."));
}

TEST_F(XmlCommandsFixture, ExportOfAnEmptyListOrToAnUnwritableFileSaysSo)
{
    show(21, {});
    editor->toolAction(ListEditor::Tool::XmlExport)->trigger();
    EXPECT_EQ(messages.shown, QStringList({ S("W wykazie brak danych do eksportu.") }));
    EXPECT_EQ(files.asked, 0);

    show(21, { { S("Zjazd") } });
    messages.shown.clear();
    files.exportPath = std::nullopt; // cancelled
    editor->toolAction(ListEditor::Tool::XmlExport)->trigger();
    EXPECT_TRUE(messages.shown.isEmpty());

    // A folder of that name: the failure names the file, and the closing notice is not shown.
    ASSERT_TRUE(QDir(survey.dir.path()).mkdir(QStringLiteral("folder.xml")));
    files.exportPath = file("folder.xml");
    editor->toolAction(ListEditor::Tool::XmlExport)->trigger();
    EXPECT_EQ(messages.shown,
        QStringList({ S("Nie można zapisać pliku %1. Eksport nie został wykonany.")
                          .arg(QDir::toNativeSeparators(file("folder.xml"))) }));
    ASSERT_FALSE(messages.requests.isEmpty());
    EXPECT_EQ(messages.requests.last().kind, MessageKind::Error);

    // A file marked read-only is refused (the tests run as root, who could write it) and stays as it was.
    writeFile(file("tylko.xml"), "stary");
    ASSERT_TRUE(QFile::setPermissions(file("tylko.xml"), QFileDevice::ReadOwner));
    files.exportPath = file("tylko.xml");
    editor->toolAction(ListEditor::Tool::XmlExport)->trigger();
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(), readOnlyTargetMessage());
    QFile kept(file("tylko.xml"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("stary"));
}

TEST_F(XmlCommandsFixture, ImportOfPublicationsIdentifiesEmptyJournalsAndTellsSo)
{
    show(5, { { S("Stara"), S("t"), S("a"), S("r"), S(""), S("0") } });
    writeFile(file("publikacje.xml"),
        lists::listXml({ { S("physics letters "), S("T1"), S("A"), S("2009"), QString(), QString() },
            { S("Nieznane"), S("T2"), S("B"), S("2009"), QString(), S("5") },
            { S("Physics Letters"), S("T3"), S("C"), S("2009"), S("Własne"), S("8,00") } }));
    files.importPath = file("publikacje.xml");
    // What the import brought is then offered to the window of unmatched journals, after the notices.
    QList<int> offeredFrom;
    editor->setAfterImport([&](ListEditor&, int first) { offeredFrom << first << messages.shown.size(); });
    editor->toolAction(ListEditor::Tool::XmlImport)->trigger();
    EXPECT_EQ(offeredFrom, QList<int>({ 0, 2 }));
    files.importPath.reset(); // cancelled: the list did not change, nothing is offered
    editor->toolAction(ListEditor::Tool::XmlImport)->trigger();
    EXPECT_EQ(offeredFrom.size(), 2);
    ASSERT_EQ(editor->list().rowCount(), 3);
    EXPECT_EQ(editor->list().row(0).mid(4), QStringList({ S("Physics Letters"), S("30,00"), QString() }));
    EXPECT_EQ(editor->list().row(1).mid(4), QStringList({ QString(), S("0,00"), QString() }));
    EXPECT_EQ(editor->list().row(2).mid(4), QStringList({ S("Własne"), S("8,00"), QString() }));
    EXPECT_EQ(numbers(), QList<int>({ 14, 15 }));
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_TRUE(messages.shown.first().startsWith(S("Uwaga!\nPrzeprowadzona została automatyczna identyfikacja")));
}

TEST_F(XmlCommandsFixture, AFileThatCannotBeReadLeavesTheListAsItWas)
{
    show(21, { { S("Zostaje") } });
    writeFile(file("zly.xml"), "<eksport>\n<rekord><kolumna_1>a</rekord>\n</eksport>\n");
    files.importPath = file("zly.xml");
    editor->toolAction(ListEditor::Tool::XmlImport)->trigger();
    EXPECT_EQ(editor->list().rows(), (std::vector<QStringList> { { S("Zostaje") } }));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown.first().toStdString(),
        S("Plik %1 nie jest prawidłowym dokumentem XML: błąd w wierszu 2, w kolumnie 29.")
            .arg(QDir::toNativeSeparators(file("zly.xml")))
            .toStdString());

    // A root without records empties the list to its one blank row.
    writeFile(file("pusty.xml"), "<eksport/>");
    files.importPath = file("pusty.xml");
    editor->toolAction(ListEditor::Tool::XmlImport)->trigger();
    EXPECT_TRUE(editor->list().isEmpty());
    EXPECT_EQ(editor->list().rowCount(), 1);
}

TEST_F(XmlCommandsFixture, FilePickerIsSetUpForEachCommand)
{
    commands->setFileChooser(nullptr);
    FilePicker& picker = commands->picker();
    picker.setFolder(survey.dir.path());
    show(21, { { S("Zjazd") } });

    // The export picker: caption, button, name prefilled; the typed name gets folder and extension.
    QTimer::singleShot(0, &picker, [&picker] {
        EXPECT_EQ(picker.windowTitle(), S("Wskaż zbiór do eksportu"));
        EXPECT_EQ(picker.actionButton()->text(), S("eksportuj"));
        EXPECT_TRUE(picker.nameField()->isVisible());
        EXPECT_EQ(picker.nameField()->text(), S("eksport.xml"));
        typeOver(picker.nameField(), S("konferencje.txt"));
        picker.actionButton()->click();
    });
    editor->toolAction(ListEditor::Tool::XmlExport)->trigger();
    EXPECT_TRUE(QFile::exists(file("konferencje.xml")));
    EXPECT_EQ(messages.shown, QStringList({ S("Eksport został zakończony") }));

    // The import picker hides the name; pressing "importuj" with no file selected says so, and the
    // picker stays for a file to be chosen.
    bool stayed = false;
    QTimer::singleShot(0, &picker, [&picker, &stayed] {
        EXPECT_EQ(picker.windowTitle(), S("Wskaż zbiór do importu"));
        EXPECT_EQ(picker.actionButton()->text(), S("importuj"));
        EXPECT_FALSE(picker.nameField()->isVisible());
        EXPECT_EQ(picker.nameField()->text(), QString());
        picker.actionButton()->click();
        stayed = picker.isVisible();
        picker.backButton()->click();
    });
    editor->toolAction(ListEditor::Tool::XmlImport)->trigger();
    EXPECT_TRUE(stayed);
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(), S("Nie wskazano zbioru - wybierz go z listy zbiorów."));
    EXPECT_EQ(editor->list().rows(), (std::vector<QStringList> { { S("Zjazd") } }));
}


TEST_F(XmlCommandsFixture, ALargeFileIsReadBehindTheProgressWindowWhoseStopLeavesTheList)
{
    show(21, { { S("Zostaje") } });
    program.state.PendingEdit = false;
    std::vector<QStringList> rows;
    for (int i = 0; i < 60000; ++i)
        rows.push_back({ S("Konferencja naukowa nr %1 — Łódź, Kraków i Gdańsk\nreferat plenarny").arg(i) });
    const QByteArray bytes = lists::listXml(rows);
    ASSERT_GT(bytes.size(), XmlExchangeCommands::kProgressFileBytes);
    writeFile(file("duzy.xml"), bytes);
    files.importPath = file("duzy.xml");

    ProgressWindow& progress = commands->progress();
    bool pressed = false;
    QTimer::singleShot(0, &progress, [&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return progress.isVisible(); }, 5000));
        EXPECT_TRUE(progress.isModal());
        EXPECT_EQ(progress.windowTitle(), S("Import wykazu"));
        EXPECT_EQ(progress.label(), S("Wczytywanie pliku duzy.xml"));
        ASSERT_TRUE(progress.stopButton()->isVisible());
        EXPECT_EQ(progress.stopButton()->text(), S("Przerwij"));
        QTest::mouseClick(progress.stopButton(), Qt::LeftButton);
        pressed = true;
    });
    editor->toolAction(ListEditor::Tool::XmlImport)->trigger();
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(editor->list().rows(), (std::vector<QStringList> { { S("Zostaje") } }));
    EXPECT_FALSE(program.state.PendingEdit);
    EXPECT_TRUE(messages.shown.isEmpty());

    // Read to its end, the same file fills the list and the window goes away without its button.
    editor->toolAction(ListEditor::Tool::XmlImport)->trigger();
    EXPECT_EQ(editor->list().rows(), rows);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(progress.stopButton()->isVisibleTo(&progress));
    EXPECT_EQ(numbers(), QList<int>({ 15 }));
}
