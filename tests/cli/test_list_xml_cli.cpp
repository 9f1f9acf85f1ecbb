#include "cli/list_xml_cli.h"
#include "cli/list_identify_cli.h"

#include "base/file_modes.h"
#include "cli/list_cli.h"
#include "datafile/save.h"
#include "datafile/survey_file.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"
#include "lists/xml_exchange.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <QTextStream>

using namespace vestrum;
using vestrum::testing::TempSurvey;

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun run(const QStringList& args, const QString& journalList = QString())
{
    CliRun r;
    QTextStream out(&r.out), err(&r.err);
    r.status = journalList.isEmpty() ? runListCommand(args, out, err) : runListXmlCommand(args, out, err, journalList);
    return r;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

lists::ListGrid gridOf(int kind, std::vector<QStringList> rows)
{
    lists::ListGrid grid(lists::ListKindInfoOf(kind).headers());
    grid.setRows(std::move(rows));
    return grid;
}

// A journal list of one journal, in a file of the program's format.
QString smallJournalList(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    db::Connection::create(path, schema::databasePassword());
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    connection.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty INTEGER, "
                                      "rodzaj INTEGER)"));
    connection.execute(
        QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, ?)"), { S("Physics Letters"), 30, 1 });
    return path;
}

constexpr int kPapers = 22; // conference papers: name, title

} // namespace

TEST(ListXmlCli, ExportWritesTheEditorsListAndImportPrintsItBack)
{
    TempSurvey survey;
    lists::SaveList(survey.connection, kPapers,
        gridOf(kPapers, { { S("Zjazd B"), S("referat\nw dwóch wierszach") }, { S("Zjazd A"), S("a\tb") } }));
    survey.connection.close();
    const QString xml = survey.dir.filePath(QStringLiteral("referaty.xml"));

    CliRun r = run({ S("export"), survey.path(), S("22"), xml });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    // The order the editor shows: sorted by the first column.
    EXPECT_EQ(readFile(xml),
        lists::listXml({ { S("Zjazd A"), S("a\tb") }, { S("Zjazd B"), S("referat\nw dwóch wierszach") } }));

    r = run({ S("import"), survey.path(), S("22"), xml });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, S("nazwa konferencji\ttytuł referatu\nZjazd A\ta\\tb\nZjazd B\treferat\\nw dwóch wierszach\n"));
}

TEST(ListXmlCli, EmptyListIsNotExported)
{
    TempSurvey survey;
    survey.connection.close();
    const QString xml = survey.dir.filePath(QStringLiteral("pusty.xml"));
    const CliRun r = run({ S("export"), survey.path(), S("21"), xml });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, S("W wykazie brak danych do eksportu.\n"));
    EXPECT_FALSE(QFile::exists(xml));
}

TEST(ListXmlCli, ImportSavesIdentifiedPublicationsIntoADataFile)
{
    TempSurvey survey;
    constexpr int kKind = 4;
    lists::SaveList(
        survey.connection, kKind, gridOf(kKind, { { S("Stare"), S("t"), S("a"), S("r"), QString(), S("1") } }));
    survey.connection.close();
    const QString dataFile = survey.dir.filePath(QStringLiteral("dane.naj"));
    datafiles::CheckedArchive archive;
    datafiles::WriteArchiveOf(survey.path(), dataFile, archive);
    const QString journals = smallJournalList(survey.dir);

    const QString xml = survey.dir.filePath(QStringLiteral("publikacje.xml"));
    writeFile(xml,
        lists::listXml({
            { S(" physics letters"), S("Tytuł 1"), S("A"), S("2009"), QString(), QString() },
            { S("Własne"), S("Tytuł 2"), S("B"), S("2009"), S("Inne"), S("12,00") },
        }));
    const CliRun r = run({ S("import"), dataFile, QString::number(kKind), xml, S("--save") }, journals);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(S("\n physics letters\tTytuł 1\tA\t2009\tPhysics Letters\t30,00\t\n")));

    // The data file now holds the imported rows instead of the old one.
    QTemporaryDir scratch;
    db::Connection reopened;
    OpenSurveyFile(reopened, dataFile, scratch);
    const lists::ListGrid stored = lists::LoadList(reopened, kKind).grid;
    ASSERT_EQ(stored.rowCount(), 2);
    EXPECT_EQ(stored.row(0),
        QStringList({ S(" physics letters"), S("Tytuł 1"), S("A"), S("2009"), S("Physics Letters"), S("30,00"),
            QString() }));
    EXPECT_EQ(stored.row(1).mid(4), QStringList({ S("Inne"), S("12,00"), QString() }));
}

TEST(ListXmlCli, RefusedImportsWriteNothing)
{
    TempSurvey survey;
    lists::SaveList(survey.connection, 21, gridOf(21, { { S("Zostaje") } }));
    survey.connection.close();
    const QString xml = survey.dir.filePath(QStringLiteral("wykaz.xml"));

    // Two rows equal but for letter case are duplicates, as in the editor.
    writeFile(xml, lists::listXml({ { S("Zjazd") }, { S("ZJAZD") } }));
    CliRun r = run({ S("import"), survey.path(), S("21"), xml, S("--save") });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(S("co najmniej dwie pozycje o identycznej zawartości")));

    writeFile(xml, "<eksport><rekord><kolumna_1>Zjazd</rekord></eksport>");
    r = run({ S("import"), survey.path(), S("21"), xml, S("--save") });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(S("Plik %1 nie jest prawidłowym dokumentem XML: błąd w wierszu 1").arg(xml)));
    EXPECT_TRUE(r.out.isEmpty());

    db::Connection reopened;
    reopened.open(survey.path(), schema::databasePassword());
    EXPECT_EQ(lists::LoadList(reopened, 21).grid.rows(), (std::vector<QStringList> { { S("Zostaje") } }));

    // A survey file that is not there is told before anything is printed.
    writeFile(xml, lists::listXml({ { S("Zjazd") } }));
    r = run({ S("import"), survey.dir.filePath(QStringLiteral("brak.naj")), S("21"), xml });
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.startsWith(S("Nie znaleziono pliku")));

    // Wrong command lines.
    EXPECT_EQ(run({ S("import"), survey.path(), S("51"), xml }).status, 2);
    EXPECT_EQ(run({ S("export"), survey.path(), S("21"), xml, S("--save") }).status, 2);
    EXPECT_EQ(run({ S("import"), survey.path(), S("21"), xml, S("--zapisz") }).status, 2);
}

TEST(ListXmlCli, ReadOnlyTargetsAndOversizedElementsAreRefused)
{
    TempSurvey survey;
    lists::SaveList(survey.connection, 21, gridOf(21, { { S("Zostaje") } }));
    survey.connection.close();

    // The export keeps a file marked read-only, although the tests run as root.
    const QString kept = survey.dir.filePath(QStringLiteral("tylko.xml"));
    writeFile(kept, "stary");
    ASSERT_TRUE(QFile::setPermissions(kept, QFileDevice::ReadOwner));
    CliRun r = run({ S("export"), survey.path(), S("21"), kept });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, readOnlyTargetMessage() + u'\n');
    EXPECT_EQ(readFile(kept), QByteArray("stary"));

    // An element of 20,000 attributes is refused before it is parsed, and the list stays.
    QByteArray flood = "<eksport><rekord><kolumna_1";
    for (int i = 0; i < 20000; ++i)
        flood += " a" + QByteArray::number(i) + "='1'";
    const QString xml = survey.dir.filePath(QStringLiteral("zalew.xml"));
    writeFile(xml, flood + ">Zjazd</kolumna_1></rekord></eksport>");
    r = run({ S("import"), survey.path(), S("21"), xml, S("--save") });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, S("Plik %1 nie jest plikiem wykazu: element w wierszu 1 jest zbyt duży.\n").arg(xml));
    db::Connection reopened;
    reopened.open(survey.path(), schema::databasePassword());
    EXPECT_EQ(lists::LoadList(reopened, 21).grid.rows(), (std::vector<QStringList> { { S("Zostaje") } }));
}

namespace {

CliRun identify(const QStringList& args, const QString& journalList)
{
    CliRun r;
    QTextStream out(&r.out), err(&r.err);
    r.status = runListIdentify(args, out, err, journalList);
    return r;
}

// Publications of kind 4 in a data file, some of whose journals the list holds under another spelling.
QString publicationsDataFile(TempSurvey& survey)
{
    auto row = [](const char* journal, const char* title, const char* listed = "", const char* points = "0") {
        return QStringList{ S(journal), S(title), S("A"), S("2009"), S(listed), S(points) };
    };
    lists::SaveList(survey.connection, 4,
        gridOf(4,
            { row("physics letters", "t1"), row("Physcs Letters", "t2"), row(" physcs letters", "t3"),
                row("Żurnal|Nowy\tz tab", "t4"), row("Anatomia Zwierząt", "t5"), row("Zwierzęta", "t6"),
                row("Physics Letters", "t7", "Physics Letters", "30") }));
    survey.connection.close();
    const QString dataFile = survey.dir.filePath(QStringLiteral("dane.naj"));
    datafiles::CheckedArchive archive;
    datafiles::WriteArchiveOf(survey.path(), dataFile, archive);
    return dataFile;
}

} // namespace

TEST(ListIdentifyCli, PrintsTheTitlesLeftWithTheirSuggestionsAndSavesTheIdentifiedRows)
{
    TempSurvey survey;
    const QString dataFile = publicationsDataFile(survey);
    const QString journals = smallJournalList(survey.dir);
    const QByteArray before = readFile(dataFile);

    CliRun r = identify({ dataFile, S("4") }, journals);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    // Most rows first, then Polish order; the typed form of the first row in the editor's order (" physcs
    // letters" sorts before "Physcs Letters"), trimmed; "|" and tabs as blanks.
    EXPECT_EQ(r.out,
        S("physcs letters\t2\tPhysics Letters|30|B|\n"
          "Anatomia Zwierząt\t1\n"
          "Zwierzęta\t1\n"
          "Żurnal Nowy z tab\t1\n"
          "zmieniono punkty: 0 wierszy, razem 0,00\n"
          "zidentyfikowano 1, bez dopasowania 5\n"));
    EXPECT_EQ(readFile(dataFile), before); // nothing saved without --save

    r = identify({ dataFile, S("4"), S("--save") }, journals);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QTemporaryDir scratch;
    db::Connection reopened;
    OpenSurveyFile(reopened, dataFile, scratch);
    const lists::ListGrid stored = lists::LoadList(reopened, 4).grid;
    int identified = 0;
    for (const QStringList& row : stored.rows())
        identified += row.value(4) == S("Physics Letters") ? 1 : 0;
    EXPECT_EQ(identified, 2); // the one found now and the one identified before; suggestions are not applied
    reopened.close();

    // Again: nothing is left to identify.
    r = identify({ dataFile, S("4") }, journals);
    EXPECT_TRUE(r.out.endsWith(S("zidentyfikowano 0, bez dopasowania 5\n"))) << r.out.toStdString();
}

TEST(ListIdentifyCli, RefusalsChangeNothing)
{
    TempSurvey survey;
    const QString dataFile = publicationsDataFile(survey);
    const QString journals = smallJournalList(survey.dir);
    const QByteArray before = readFile(dataFile);

    // A data file the user marked read-only is not replaced.
    QFile::setPermissions(dataFile, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    CliRun r = identify({ dataFile, S("4"), S("--save") }, journals);
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.isEmpty());
    QFile::setPermissions(dataFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readFile(dataFile), before);

    // A restore point is never changed.
    const QString restorePoint = survey.dir.filePath(QStringLiteral("a_punkt.nar"));
    ASSERT_TRUE(QFile::copy(dataFile, restorePoint));
    EXPECT_EQ(identify({ restorePoint, S("4"), S("--save") }, journals).status, 1);
    EXPECT_EQ(readFile(restorePoint), before);

    // Kinds without publications, and wrong command lines.
    for (const QStringList& args : { QStringList{ dataFile, S("7") }, QStringList{ dataFile, S("2") },
             QStringList{ dataFile, S("x") }, QStringList{ dataFile }, QStringList{ dataFile, S("4"), S("--zapisz") } })
        EXPECT_EQ(identify(args, journals).status, 2) << args.join(u' ').toStdString();
    EXPECT_EQ(run({ S("identify"), dataFile, S("3") }).status, 0); // dispatched with the other list commands
}
