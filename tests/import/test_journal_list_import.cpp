#include "import/journal_list_import.h"

#include "base/error.h"
#include "import/workbook_files.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::importing;
using journals::ListRecord;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QByteArray columnName(int column)
{
    QByteArray name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(static_cast<char>('A' + (c - 1) % 26));
    return name;
}

// A worksheet row of inline strings; a cell "=" followed by digits is written as a number.
QByteArray sheetRow(int row, const QStringList& cells)
{
    QByteArray xml = "<row r=\"" + QByteArray::number(row) + "\">";
    for (int c = 0; c < cells.size(); ++c) {
        if (cells[c].isEmpty())
            continue;
        const QByteArray ref = columnName(c) + QByteArray::number(row);
        if (cells[c].startsWith(u'='))
            xml += "<c r=\"" + ref + "\"><v>" + cells[c].mid(1).toUtf8() + "</v></c>";
        else
            xml += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + cells[c].toHtmlEscaped().toUtf8() + "</t></is></c>";
    }
    return xml + "</row>";
}

// The ministry's layout: a title row, an empty row, the discipline names, then the header and the
// journals; the points stand past the six discipline columns, beyond the twelfth column.
std::vector<QStringList> ministryRows(const QString& pointsCaption)
{
    const QStringList disciplines{S("archeologia"), S("filozofia"), S("historia"), S("językoznawstwo"),
                                  S("literaturoznawstwo"), S("nauki o kulturze i religii")};
    QStringList names(8);
    names += disciplines;
    QStringList header{S("Lp."), S("Tytuł 1"), S("issn"), S("e-issn"), S("Tytuł 2"), S("issn"), S("e-issn")};
    header << S("101") << S("102") << S("103") << S("104") << S("105") << S("106") << S("107") << pointsCaption;
    auto journal = [](const char* lp, const char* t1, const char* i1, const char* e1, const char* t2, const char* i2,
                      const char* e2, const char* points) {
        QStringList row{S(lp), S(t1), S(i1), S(e1), S(t2), S(i2), S(e2), S("x"), QString(), S("x")};
        while (row.size() < 14)
            row << QString();
        row << S(points);
        return row;
    };
    return {{QString(), S("Wykaz czasopism naukowych")},
            {},
            QStringList{QString()} + names,
            header,
            journal("1", "2D Materials", "2053-1583", "2053-1583", "2D Materials", "", "2053-1583", "=140"),
            journal("2", "", "", "", "Acta Zoologica", "1234-5679", "", "=40"),
            journal("3", "Bez Punktów", "1111-1111", "", "", "", "", ""),
            journal("4", "", "", "", "", "", "", "=20"),
            journal("5", "Journal X", "", "2345-678x", "Journal X (wydanie drugie)", "3456-7890", "", "=70")};
}

QString writeXlsx(const QTemporaryDir& dir, const std::vector<QStringList>& rows)
{
    QByteArray sheet;
    for (size_t r = 0; r < rows.size(); ++r)
        sheet += sheetRow(static_cast<int>(r) + 1, rows[r]);
    const QString path = dir.filePath(QStringLiteral("wykaz.xlsx"));
    vestrum::testing::WriteZip(path, vestrum::testing::XlsxMembers({{S("Czasopisma"), sheet + "</sheetData>"}}, {}));
    return path;
}

void expectTheMinistryJournals(const MinistryList& list)
{
    ASSERT_EQ(list.journals.size(), 3u);
    const ListRecord& materials = list.journals[0];
    EXPECT_EQ(materials.name, S("2D Materials"));
    EXPECT_EQ(materials.points, 140);
    EXPECT_EQ(materials.part, 1);
    EXPECT_EQ(materials.issn, S("2053-1583"));
    EXPECT_EQ(materials.eissn, S("2053-1583"));
    // Without the first title the second names the journal, the second pair fills the first.
    const ListRecord& acta = list.journals[1];
    EXPECT_EQ(acta.name, S("Acta Zoologica"));
    EXPECT_EQ(acta.name2, S("Acta Zoologica"));
    EXPECT_EQ(acta.issn, S("1234-5679"));
    EXPECT_EQ(acta.issn2, S("1234-5679"));
    const ListRecord& x = list.journals[2];
    EXPECT_EQ(x.name, S("Journal X"));
    EXPECT_EQ(x.name2, S("Journal X (wydanie drugie)"));
    EXPECT_EQ(x.issn, S("3456-7890"));
    EXPECT_EQ(x.eissn, S("2345-678X"));
    EXPECT_TRUE(x.eissn2.isEmpty());
    ASSERT_EQ(list.skipped.size(), 2u);
    EXPECT_EQ(list.skipped[0].number, S("3"));
    EXPECT_EQ(list.skipped[0].reason, S("brak punktów"));
    EXPECT_EQ(list.skipped[1].number, S("4"));
    EXPECT_EQ(list.skipped[1].reason, S("brak tytułu"));
}

std::vector<ListRecord> recordsOf(const QString& path)
{
    db::Connection connection;
    connection.open(path, schema::databasePassword());
    return journals::readListRecords(connection);
}

ListRecord journal(const char* name, double points, const char* issn = "")
{
    ListRecord record;
    record.name = S(name);
    record.points = points;
    record.issn = S(issn);
    return record;
}

} // namespace

TEST(MinistryJournalList, AWorkbookInTheMinistrysLayoutGivesItsJournals)
{
    QTemporaryDir dir;
    expectTheMinistryJournals(ReadMinistryFile(writeXlsx(dir, ministryRows(S("Punkty")))));
}

TEST(MinistryJournalList, ATextFileOfTheSameIsReadAlikeWhateverTheHeadersSpellingAndOrder)
{
    // Semicolons, the columns shuffled, the names in capitals and without Polish letters, a column
    // of a later edition, a quoted title with the separator, Windows-1250 text and CR LF lines.
    const QString text = S("Wykaz czasopism naukowych;;;;;;;;\r\n"
                           ";;;;;;;archeologia;filozofia\r\n"
                           "PUNKTACJA;LP;Unikatowy Identyfikator Czasopisma;TYTUL 1;ISSN;E-ISSN;tytuł  2;ISSN;E-ISSN\r\n"
                           "140;1;201;2D Materials;2053-1583;2053-1583;2D Materials;;2053-1583\r\n"
                           "40;2;202;;;;Acta Zoologica;1234-5679;\r\n"
                           ";3;203;Bez Punktów;1111-1111;;;;\r\n"
                           "20;4;204;;;;;;\r\n"
                           "70;5;205;Journal X;;2345-678x;\"Journal X (wydanie drugie)\";3456-7890;\r\n"
                           "20;6;206;\"Łódzkie; Studia\";;;;;\r\n");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wykaz.csv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray bytes = text.toUtf8().replace("Ł", "\xa3").replace("ó", "\xf3").replace("ł", "\xb3");
    file.write(bytes);
    file.close();

    MinistryList list = ReadMinistryFile(path);
    ASSERT_EQ(list.journals.size(), 4u);
    EXPECT_EQ(list.journals.back().name, S("Łódzkie; Studia"));
    list.journals.pop_back();
    expectTheMinistryJournals(list);
}

TEST(MinistryJournalList, AFileThatIsNoJournalListIsRefused)
{
    QTemporaryDir dir;
    try {
        ReadMinistryFile(writeXlsx(dir, ministryRows(S("Liczba"))));
        FAIL() << "a list without points was read";
    } catch (const Error& error) {
        EXPECT_TRUE(error.message().contains(S("nie jest wykazem czasopism"))) << error.message().toStdString();
    }
    // A header and not one journal with a title and points.
    std::vector<QStringList> headerOnly = ministryRows(S("Punkty"));
    headerOnly.resize(4);
    headerOnly.push_back({S("1"), S("Bez punktów")});
    EXPECT_THROW(ReadMinistryRows(headerOnly, S("pusty.xlsx")), Error);
}

TEST(MinistryJournalList, ChangesPairJournalsByIssnThenByTitleAndShowTenOfEach)
{
    std::vector<ListRecord> current{journal("Acta A", 20, "1111-1111"), journal("Beta", 40),
                                    journal("Gamma", 70, "2222-2222"), journal("Usunięte", 100)};
    // Acta renamed but known by its ISSN, Beta found by its title in other letters, Gamma's points changed.
    std::vector<ListRecord> incoming{journal("Acta Nova", 20, "1111-1111"), journal("BETA", 40),
                                     journal("Gamma", 100, "2222-2222")};
    for (int i = 0; i < 12; ++i)
        incoming.push_back(journal(QStringLiteral("Nowe %1").arg(i, 2, 10, QLatin1Char('0')).toUtf8().constData(), 20));

    const EditionChanges changes = CompareEditions(current, incoming);
    const QStringList lines = ChangeLines(changes, {{S("17"), S("brak punktów")}});
    QStringList expected{S("dodane: 12")};
    for (int i = 0; i < 10; ++i)
        expected << S("  Nowe %1 (20 pkt)").arg(i, 2, 10, QLatin1Char('0'));
    expected << S("  … pokazano 10 z 12") << S("usunięte: 1") << S("  Usunięte (100 pkt)") << S("zmienione punkty: 1")
             << S("  Gamma (70 -> 100 pkt)") << S("pominięte wiersze: 1") << S("  Lp. 17: brak punktów");
    EXPECT_EQ(lines, expected);
}

TEST(MinistryJournalList, ASavedEditionReplacesTheListKeepsThePreviousAndIsPutBackOnRequest)
{
    QTemporaryDir dir;
    const QString listPath = dir.filePath(QStringLiteral("dane/lista_czasopism.mdb"));
    QDir().mkpath(dir.filePath(QStringLiteral("dane")));
    journals::writeJournalListDatabase(listPath, {journal("Stary", 20)}, QDate(2019, 7, 31), S("stary.csv"));

    MinistryList edition = ReadMinistryFile(writeXlsx(dir, ministryRows(S("Punkty"))));
    SaveJournalList(listPath, edition, QDate(2025, 3, 4), S("wykaz.xlsx"));
    EXPECT_EQ(recordsOf(listPath).size(), 3u);
    EXPECT_EQ(recordsOf(listPath)[1].name2, S("Acta Zoologica"));
    EXPECT_EQ(recordsOf(journals::previousListPath(listPath)).front().name, S("Stary"));
    {
        db::Connection connection;
        connection.open(listPath, schema::databasePassword());
        const journals::ListEdition inUse = journals::readListEdition(connection);
        EXPECT_EQ(inUse.version, S("2025.3.4.0"));
        EXPECT_EQ(inUse.sourceFile, S("wykaz.xlsx"));
        EXPECT_EQ(inUse.readOn, S("2025-03-04"));
        EXPECT_EQ(inUse.journals, 3);
    }
    // Putting the previous one back keeps the replaced one, so a second restore undoes the first.
    RestorePreviousJournalList(listPath);
    EXPECT_EQ(recordsOf(listPath).front().name, S("Stary"));
    EXPECT_EQ(recordsOf(journals::previousListPath(listPath)).size(), 3u);
    RestorePreviousJournalList(listPath);
    EXPECT_EQ(recordsOf(listPath).size(), 3u);
    // Nothing of the staging is left beside the list.
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("dane"))).entryList(QDir::Files).size(), 2);
}

TEST(MinistryJournalList, AReplacementThatCannotFinishLeavesTheListInUseWhole)
{
    QTemporaryDir dir;
    const QString listPath = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
    journals::writeJournalListDatabase(listPath, {journal("Stary", 20)}, QDate(2019, 7, 31), S("stary.csv"));
    const MinistryList edition = ReadMinistryFile(writeXlsx(dir, ministryRows(S("Punkty"))));
    // A folder where the previous list should go: it cannot be kept, so nothing is replaced.
    ASSERT_TRUE(QDir().mkpath(journals::previousListPath(listPath) + QStringLiteral("/zajete")));
    EXPECT_THROW(SaveJournalList(listPath, edition, QDate(2025, 3, 4), S("wykaz.xlsx")), Error);
    EXPECT_EQ(recordsOf(listPath).front().name, S("Stary"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // the list and the workbook, no staging

    QDir(journals::previousListPath(listPath)).removeRecursively();
    EXPECT_THROW(RestorePreviousJournalList(listPath), Error); // there is no previous list yet
    EXPECT_EQ(recordsOf(listPath).front().name, S("Stary"));
}
