#include "base/error.h"
#include "archive/zlb_archive.h"
#include "survey/section_data.h"
#include "lists/list_catalogue.h"
#include "cli/list_cli.h"
#include "lists/list_data.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

#include <ostream>

// Readable failures: Qt strings as UTF-8.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

#include <QTextStream>

using namespace vestrum;
using namespace vestrum::lists;
using vestrum::testing::TempSurvey;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

// Polish letters and a Cyrillic one, which only the Unicode fields keep.
const QString kText = S("Zażółć gęślą jaźń Ж");
const QString kTextThroughCodePage = S("Zażółć gęślą jaźń ?");

// What the user types into each column of a kind, and what the editor shows after a save and a
// load, from the field's declared type.
struct Expected {
    QStringList typed;
    QStringList shown;
};

Expected rowFor(db::Connection& connection, int kind, const QString& tag)
{
    const ListKindInfo& info = ListKindInfoOf(kind);
    const std::vector<db::FieldInfo> fields = connection.tableFields(info.table);
    auto fieldOf = [&fields](const QString& name) {
        for (const db::FieldInfo& f : fields)
            if (f.name.compare(name, Qt::CaseInsensitive) == 0)
                return f;
        return db::FieldInfo{};
    };
    Expected e;
    for (const ListColumn& c : info.columns) {
        switch (c.format) {
        case CellFormat::FixedPoints:
            e.typed << S("99");
            e.shown << QString::number(info.fixedPoints);
            break;
        case CellFormat::Integer:
            e.typed << S("1234");
            e.shown << S("1234");
            break;
        case CellFormat::Amount:
        case CellFormat::Points:
            e.typed << S("12,5");
            e.shown << S("12,50");
            break;
        case CellFormat::Text:
            e.typed << tag + kText;
            e.shown << tag + (fieldOf(c.field).isCodePage() ? kTextThroughCodePage : kText);
            break;
        }
    }
    return e;
}

ListGrid gridOf(int kind, const std::vector<QStringList>& rows)
{
    ListGrid g(ListKindInfoOf(kind).headers());
    g.setRows(rows);
    return g;
}

int countRows(db::Connection& c, const QString& sql) { return c.scalar(sql).toInt(); }

} // namespace

// Every kind keeps what its field types keep, returns its count, and leaves the rows of the
// kinds sharing its table alone: all 51 are saved one after another into one database and each
// must then load back its own row.
TEST(ListData, EveryKindRoundTripsAndLeavesTheOtherKindsAlone)
{
    TempSurvey survey;
    std::vector<Expected> expected;
    for (int kind = 0; kind < ListKindCount; ++kind) {
        Expected e = rowFor(survey.connection, kind, QStringLiteral("k%1 ").arg(kind));
        const int count = SaveList(survey.connection, kind, gridOf(kind, {e.typed}));
        // a scope without ";" counts one discipline
        EXPECT_EQ(count, 1) << kind;
        expected.push_back(e);
    }
    for (int kind = 0; kind < ListKindCount; ++kind) {
        const LoadedList loaded = LoadList(survey.connection, kind);
        EXPECT_EQ(loaded.count, 1) << kind;
        ASSERT_EQ(loaded.grid.rowCount(), 1) << kind;
        EXPECT_EQ(loaded.grid.row(0), expected[static_cast<size_t>(kind)].shown) << kind;
        EXPECT_EQ(loaded.grid.headers(), ListKindInfoOf(kind).headers()) << kind;
        if (!ListKindInfoOf(kind).mainWindowGrid) {
            EXPECT_EQ(ListCount(survey.connection, kind), 1) << kind;
        }
    }

    // saving kind 30 again replaces only its own rows
    SaveList(survey.connection, 30, gridOf(30, {{S("P-1"), S("01/02/2008"), S("a"), S("b")},
                                                {S("P-2"), S("01/02/2008"), S("c"), S("d")}}));
    EXPECT_EQ(LoadList(survey.connection, 30).count, 2);
    for (int kind : {28, 29, 31, 32, 34, 35})
        EXPECT_EQ(LoadList(survey.connection, kind).grid.row(0), expected[static_cast<size_t>(kind)].shown) << kind;
}

TEST(ListData, EmptyTablesAndBlankRows)
{
    TempSurvey survey;
    for (int kind = 0; kind < ListKindCount; ++kind) {
        const LoadedList loaded = LoadList(survey.connection, kind);
        EXPECT_EQ(loaded.count, 0) << kind;
        EXPECT_TRUE(loaded.grid.isEmpty()) << kind;
    }

    // a patent with only a date, and the blank row of an empty list, are not saved
    EXPECT_EQ(SaveList(survey.connection, 28, gridOf(28, {{QString(), S("01/01/2008"), S(" \t"), QString(), S("x")}})),
              0);
    EXPECT_EQ(SaveList(survey.connection, 3, ListGrid(ListKindInfoOf(3).headers())), 0);
    EXPECT_EQ(countRows(survey.connection, S("select count(*) from dane_wykaz_patentow")), 0);
    // a protection right of rodzaj 3 is tested on its date and its authors only
    EXPECT_EQ(SaveList(survey.connection, 38, gridOf(38, {{QString(), S("Tytuł"), QString()}})), 0);
    EXPECT_EQ(SaveList(survey.connection, 38, gridOf(38, {{QString(), QString(), S("Nowak")}})), 1);

    // the grid kinds write every row, even a blank one, with NULL in its number column
    EXPECT_EQ(SaveList(survey.connection, 13, ListGrid(ListKindInfoOf(13).headers())), 1);
    EXPECT_EQ(countRows(survey.connection, S("select count(*) from dane_wydawnictwa where Naklad is null")), 1);
}

TEST(ListData, DegreeRightsCountDisciplines)
{
    TempSurvey survey;
    const int count = SaveList(survey.connection, 1,
                               gridOf(1, {{S("doktor"), S(" fizyka;chemia; ")}, {S("doktor nauk"), QString()},
                                          {QString(), S("  ")}}));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(countRows(survey.connection, S("select count(*) from dane_wykaz_uprawnien where rodzaj='dr'")), 2);
    EXPECT_EQ(LoadList(survey.connection, 1).grid.row(0).value(1), S("fizyka;chemia;"));

    // a row stored with a blank after its kind belongs to that kind when loaded, and so is
    // replaced by the next save instead of coming back twice
    survey.connection.execute(S("insert into dane_wykaz_uprawnien (rodzaj, nazwa_stopnia, zakres) values "
                                "('dr ', 'stary', 'a;b;c;')"));
    survey.connection.execute(S("insert into dane_wykaz_uprawnien (rodzaj, nazwa_stopnia, zakres) values "
                                "('hab', 'habilitacja', 'x;')"));
    const LoadedList loaded = LoadList(survey.connection, 1);
    EXPECT_EQ(loaded.count, 6);
    EXPECT_EQ(loaded.grid.rowCount(), 3);
    EXPECT_EQ(SaveList(survey.connection, 1, loaded.grid), 6);
    EXPECT_EQ(LoadList(survey.connection, 1).grid.rowCount(), 3);
    EXPECT_EQ(LoadList(survey.connection, 2).count, 1);

    // the captions set when all sections load count the same way as the list itself
    survey.connection.execute(S("insert into dane_wykaz_uprawnien (rodzaj, zakres) values (' hab', 'p;q;')"));
    for (int kind : {1, 2})
        EXPECT_EQ(ListCount(survey.connection, kind), LoadList(survey.connection, kind).count) << kind;
}

// The save deletes the old rows of its kind in one statement; it must remove exactly the rows the
// load shows for the kind, whatever blanks and control characters surround the stored kind.
TEST(ListData, SavingReplacesExactlyTheRowsTheLoadShows)
{
    TempSurvey survey;
    auto& c = survey.connection;
    for (const char* stored : {"dr\t", " dr ", "\ndr", "dr", "dr\x01"})
        c.execute(S("insert into dane_wykaz_uprawnien (rodzaj, nazwa_stopnia, zakres) values (?, 'stary', 'a;')"),
                  {S(stored)});
    for (const char* other : {"hab", "d r", "drr", "dr\u00a0", "\u00a0dr"})
        c.execute(S("insert into dane_wykaz_uprawnien (rodzaj, nazwa_stopnia, zakres) values (?, 'inny', 'b;')"),
                  {S(other)});
    c.execute(S("insert into dane_wykaz_uprawnien (rodzaj, nazwa_stopnia, zakres) values (NULL, 'bez', 'c;')"));
    ASSERT_EQ(LoadList(c, 1).grid.rowCount(), 5);

    // 20,000 new rows replace the five; the rows of no kind or of another kind stay.
    std::vector<QStringList> rows;
    for (int i = 0; i < 20000; ++i)
        rows.push_back({S("doktor %1").arg(i), S("fizyka;")});
    EXPECT_EQ(SaveList(c, 1, gridOf(1, rows)), 20000);
    const LoadedList loaded = LoadList(c, 1);
    EXPECT_EQ(loaded.grid.rowCount(), 20000);
    EXPECT_EQ(countRows(c, S("select count(*) from dane_wykaz_uprawnien where nazwa_stopnia='stary'")), 0);
    EXPECT_EQ(countRows(c, S("select count(*) from dane_wykaz_uprawnien where nazwa_stopnia in ('inny', 'bez')")), 6);
    EXPECT_EQ(countRows(c, S("select count(*) from dane_wykaz_uprawnien")), 20006);

    // Saved again, the count stays right: nothing doubles.
    EXPECT_EQ(SaveList(c, 1, loaded.grid), 20000);
    EXPECT_EQ(countRows(c, S("select count(*) from dane_wykaz_uprawnien")), 20006);
}

TEST(ListData, NumbersPointsAndConstants)
{
    TempSurvey survey;
    auto& c = survey.connection;
    SaveList(c, 4, gridOf(4, {{S("J1"), S("T1"), S("A1"), S("2008"), S(""), S("12,50")},
                              {S("J2"), S("T2"), S("A2"), S("2008"), S(""), S("12.5")},
                              {S("J3"), S("T3"), S("A3"), S("2008"), S(""), S("")}}));
    EXPECT_EQ(c.scalar(S("select group_concat(Liczba_punktow, '|') from dane_wykaz_publikacji")).toString(),
              S("12.5|0.0|0.0"));
    EXPECT_EQ(countRows(c, S("select count(*) from dane_wykaz_publikacji where lista='2009' and grupa=2")), 3);
    EXPECT_EQ(LoadList(c, 4).maxLengths.value(S("Czasopismo")), 250);

    // monograph points: stored 0, shown as the group's constant whatever the table holds
    SaveList(c, 10, gridOf(10, {{S("W"), S("T"), S("A"), S("2008"), S("55")}}));
    EXPECT_EQ(c.scalar(S("select Liczba_punktow from dane_wykaz_monografii")).toDouble(), 0.0);
    c.execute(S("update dane_wykaz_monografii set Liczba_punktow = 99"));
    EXPECT_EQ(LoadList(c, 10).grid.row(0).value(4), S("12"));

    // a conference of a kind without paper titles stores none
    SaveList(c, 21, gridOf(21, {{S("Konferencja")}}));
    EXPECT_EQ(c.scalar(S("select tytul_referatu from dane_wykaz_konferencji where rodzaj=1")).toString(), QString());

    // a licence fee that is not a number stops the save and leaves the previous rows
    SaveList(c, 45, gridOf(45, {{S("stara"), S("01/01/2008"), S("firma"), S("1000,00")}}));
    try {
        SaveList(c, 45, gridOf(45, {{S("nowa"), S(""), S("firma"), S("5,00")}, {S("zła"), S(""), S("firma"), S("tysiąc")}}));
        ADD_FAILURE() << "the save should have failed";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains(S("tysiąc"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(S("wysokość opłaty"))) << e.message().toStdString();
    }
    const LoadedList licences = LoadList(c, 45);
    ASSERT_EQ(licences.grid.rowCount(), 1);
    EXPECT_EQ(licences.grid.row(0).at(0), S("stara"));
    EXPECT_EQ(licences.grid.row(0).at(3), S("1000,00"));
}

TEST(ListData, TrimmingOnTheWayInAndOut)
{
    TempSurvey survey;
    auto& c = survey.connection;
    // projects store every cell trimmed; editors of monographs keep the year and language as typed
    SaveList(c, 25, gridOf(25, {{S("  N 1 "), S(" Tytuł "), S(" 01/01/2007 "), S("02/02/2008"), S(" Kowalski "), S(" 100 ")}}));
    EXPECT_EQ(LoadList(c, 25).grid.row(0),
              QStringList({S("N 1"), S("Tytuł"), S("01/01/2007"), S("02/02/2008"), S("Kowalski"), S("100")}));
    SaveList(c, 12, gridOf(12, {{S(" Nowak "), S(" T "), S(" W "), S(" 2008"), S("polski ")}}));
    EXPECT_EQ(LoadList(c, 12).grid.row(0), QStringList({S(" Nowak "), S(" T "), S(" W "), S(" 2008"), S("polski ")}));
    // an ISSN stored with blanks by older data shows trimmed
    c.execute(S("insert into dane_wykaz_redaktor_czasopism (nazwisko_imie, tytul_czasopisma, ISSN, grupa) values "
                "(' Ktoś ', 'Czas', ' 1234-5678 ', '8.1.a')"));
    EXPECT_EQ(LoadList(c, 7).grid.row(0), QStringList({S(" Ktoś "), S("Czas"), S("1234-5678"), S("8.1.a")}));
    // a contract's register number is trimmed when saved, and when older data stored it with blanks
    SaveList(c, 15, gridOf(15, {{S("Kontrakt"), S("S1"), S("  EW 12 \t")}}));
    EXPECT_EQ(c.scalar(S("select numer_ewid from dane_wykaz_kontraktow")).toString(), S("EW 12"));
    c.execute(S("update dane_wykaz_kontraktow set numer_ewid = ' EW 13  '"));
    EXPECT_EQ(LoadList(c, 15).grid.cell(2, 0), S("EW 13"));
}

TEST(ListData, PatentsOfRodzaj6AreNeverShownNorDeleted)
{
    TempSurvey survey;
    auto& c = survey.connection;
    c.execute(S("insert into dane_wykaz_patentow (rodzaj, numer, tytul) values (6, 'X6', 'szósty')"));
    for (int kind : {28, 29, 30, 31, 32, 34, 35}) {
        EXPECT_TRUE(LoadList(c, kind).grid.isEmpty()) << kind;
        SaveList(c, kind, gridOf(kind, {{S("N"), S(""), S("T"), S("A")}}));
    }
    EXPECT_EQ(countRows(c, S("select count(*) from dane_wykaz_patentow where rodzaj=6")), 1);
    EXPECT_EQ(countRows(c, S("select count(*) from dane_wykaz_patentow")), 8);
}

// The compact load must give, cell for cell and in the same order, what the editor's load gives,
// whatever older data or other programs left in the fields: bytes that are not UTF-8, a byte-order
// mark, blanks to trim, letters outside the code page, numbers and blobs in text fields, NULLs.
TEST(ListData, TheCompactLoadGivesWhatTheEditorLoadGives)
{
    TempSurvey survey;
    auto& c = survey.connection;
    const QStringList stored = {S("CAST(x'41FF42' AS TEXT)"),     S("CAST(x'C0AF' AS TEXT)"),
                                S("CAST(x'EDA080' AS TEXT)"),     S("CAST(x'EFBBBF41' AS TEXT)"),
                                S("CAST(x'41E282' AS TEXT)"),     S("' \t Łódź' || char(1, 9)"),
                                S("'łódź'"),                      S("'Ж€😀 \\ z' || char(10) || 'a'"),
                                S("NULL"),                        S("12.5"),
                                S("-0.001"),                      S("7"),
                                S("x'00FF'"),                     S("'ACTA'"),
                                S("'acta'"),                      S("'12,5'"),
                                S("char(32, 9) || ' ab ' || char(1, 32)")};
    const int rowCount = static_cast<int>(stored.size());
    for (int kind = 0; kind < ListKindCount; ++kind) {
        EXPECT_EQ(LoadCompactList(c, kind).rowCount(), 1) << "an empty list has its blank row: " << kind;
        SaveList(c, kind, gridOf(kind, std::vector<QStringList>(rowCount, rowFor(c, kind, QString()).typed)));
    }
    // every column of every kind gets every stored value once
    c.begin();
    for (int kind = 0; kind < ListKindCount; ++kind) {
        const ListKindInfo& info = ListKindInfoOf(kind);
        const QString ownRows = info.sharedTable() ? S("WHERE \"%1\" = '%2'").arg(info.discriminatorField,
                                                                                 info.discriminator.toString())
                                                   : QString();
        for (size_t column = 0; column < info.columns.size(); ++column) {
            if (info.columns[column].format == CellFormat::FixedPoints)
                continue;
            for (int row = 0; row < rowCount; ++row)
                c.execute(S("UPDATE %1 SET \"%2\" = %3 WHERE rowid = (SELECT rowid FROM %1 %4 LIMIT 1 OFFSET %5)")
                              .arg(info.table, info.columns[column].field,
                                   stored[(row + static_cast<int>(column)) % rowCount], ownRows)
                              .arg(row));
        }
    }
    c.commit();
    for (int kind = 0; kind < ListKindCount; ++kind) {
        ListGrid grid = LoadList(c, kind).grid;
        CompactList compact = LoadCompactList(c, kind);
        ASSERT_EQ(compact.rowCount(), grid.rowCount()) << kind;
        for (int r = 0; r < grid.rowCount(); ++r)
            for (int column = 0; column < grid.columnCount(); ++column)
                EXPECT_EQ(compact.cell(r, column), grid.cell(column, r).toUtf8())
                    << "kind " << kind << ", row " << r << ", column " << column;
        EXPECT_EQ(EditorOrder(compact), EditorOrder(grid)) << kind;
        EXPECT_EQ(compact.headers(), grid.headers()) << kind;
    }
}

TEST(ListCli, ShowsTheSortedGridOfADataFile)
{
    TempSurvey survey;
    SaveList(survey.connection, 33, gridOf(33, {{S("Żółta\tumowa\r\nz dwiema liniami")}, {S("ambitna \\ umowa")}}));
    survey.connection.close();

    QTemporaryDir folder;
    const QString dataFile = folder.filePath(S("dane.naj"));
    {
        ZlbArchive archive;
        archive.SetSavePaths(false);
        QFile create(dataFile);
        ASSERT_TRUE(create.open(QIODevice::WriteOnly));
        create.close(); // an empty file is an empty archive
        archive.OpenArchive(dataFile);
        archive.AddFile(survey.path());
        ASSERT_GE(archive.FindFile(S("ankieta.mdb")), 0) << archive.LastFailure().toStdString();
    }

    for (const QString& file : {dataFile, survey.path()}) {
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        ASSERT_EQ(runListCommand({S("show"), file, S("33")}, out, err), 0) << errText.toStdString();
        EXPECT_EQ(outText, S("* Informacja o umowie\nambitna \\\\ umowa\nŻółta\\tumowa\\r\\nz dwiema liniami\n"));
    }

    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    EXPECT_EQ(runListCommand({S("show"), dataFile, S("51")}, out, err), 2);
    EXPECT_EQ(runListCommand({S("show"), folder.filePath(S("brak.naj")), S("3")}, out, err), 1);
    EXPECT_TRUE(errText.contains(S("brak.naj")));
}

// Rows go out in blocks of UTF-8 written straight to the stream's device; what arrives must be
// what the text path gives, whatever the length of a cell and wherever an escaped character sits.
TEST(ListCli, PrintingToAFileGivesTheSameTextInAnyOrder)
{
    ListGrid grid({S("Tytuł"), S("Uwagi")});
    std::vector<QStringList> rows;
    for (int r = 0; r < 6000; ++r) {
        QString note = QString(r % 23, u'ż') + S("ab");
        if (r % 5 == 0)
            note.insert(r % note.size(), QChar(u"\\\t\n\r"[r % 4]));
        rows.push_back({S("Wpływ %1 — część ").arg(r) + QString(r % 300, u'x'), note});
    }
    grid.setRows(rows);
    std::vector<int> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>((i * 7919) % order.size());

    QString expected = S("Tytuł\tUwagi\n");
    for (const int r : order)
        expected += escapeListCell(rows[r][0]) + u'\t' + escapeListCell(rows[r][1]) + u'\n';
    EXPECT_EQ(escapeListCell(S("a\\b\tc\nd\re")), S("a\\\\b\\tc\\nd\\re"));
    EXPECT_EQ(escapeListCell(S("12345678\t")), S("12345678\\t")) << "past the first eight bytes";
    EXPECT_EQ(escapeListCell(S("\x01\x0b\x0c 5678\x01\x0b\x0c 5678")), S("\x01\x0b\x0c 5678\x01\x0b\x0c 5678"))
        << "other control characters stand as they are";

    QTemporaryDir folder;
    QFile file(folder.filePath(S("wykaz.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QTextStream toFile(&file);
    printList(CompactCopy(grid), toFile, order);
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_GT(written.size(), 1 << 20) << "more than one block";
    EXPECT_EQ(QString::fromUtf8(written), expected);

    QString text;
    QTextStream toText(&text);
    printList(CompactCopy(grid), toText, order);
    EXPECT_EQ(text, expected);
}
