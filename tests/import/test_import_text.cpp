#include "import/import_text.h"
#include "import/import_structures.h"

#include "base/codepage.h"
#include "base/error.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

using namespace vestrum;
using namespace vestrum::importing;
using namespace vestrum::importing::testing;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

std::vector<QStringList> rowsOf(const QString& text, const ImportStructure& s, int columns)
{
    return SplitRecords(text, s, columns).rows;
}

// A journal list with three journals, in a throw-away folder.
struct SmallJournalList {
    QTemporaryDir dir;
    db::Connection connection;
    lists::JournalList list { connection };

    SmallJournalList()
    {
        const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        db::Connection::create(path, schema::databasePassword());
        connection.open(path, schema::databasePassword());
        connection.execute(QStringLiteral("CREATE TABLE lista_ministerstwa (czasopismo NVARCHAR(255), punkty "
                                          "INTEGER, rodzaj INTEGER)"));
        for (const auto& [name, points] : { std::pair { "Acta Physica Polonica B", 15 },
                 std::pair { "Przegląd Elektrotechniczny", 6 }, std::pair { "Kwartalnik Historyczny", 4 } })
            connection.execute(QStringLiteral("INSERT INTO lista_ministerstwa VALUES (?, ?, 0)"), { S(name), points });
        list.open();
    }
};

} // namespace

TEST(ImportLines, EndAtEveryKindOfLineBreakAndAFinalBreakAddsNoLine)
{
    EXPECT_EQ(SplitLines(S("a\r\nb\nc\rd")), (QStringList { "a", "b", "c", "d" }));
    EXPECT_EQ(SplitLines(S("a\n")), QStringList { "a" });
    EXPECT_EQ(SplitLines(S("a\n\n")), (QStringList { "a", "" }));
    EXPECT_EQ(SplitLines(S("\r\n\r\n")), (QStringList { "", "" }));
    EXPECT_TRUE(SplitLines(QString()).isEmpty());
}

TEST(ImportSplitting, SeparatorsOfOneOrMoreCharactersAndTheirEdgeCases)
{
    EXPECT_EQ(
        rowsOf(S("a||b||c"), bySeparator("||", { 0, 1, 2 }), 3), (std::vector<QStringList> { { "a", "b", "c" } }));
    // Blanks around fields go, empty fields between separators count, a final separator adds nothing.
    EXPECT_EQ(
        rowsOf(S("a ; ;c;"), bySeparator(";", { 0, 1, 2, 3 }), 4), (std::vector<QStringList> { { "a", "", "c", "" } }));
    // The separator is taken as typed: "; " does not split "a;b".
    EXPECT_EQ(rowsOf(S("a;b; c"), bySeparator("; ", { 0, 1 }), 2), (std::vector<QStringList> { { "a;b", "c" } }));
    // Skipped positions drop their field; a line with no mapped field still gives a row.
    EXPECT_EQ(rowsOf(S("x;y;z\nq"), bySeparator(";", { -1, 0 }), 1), (std::vector<QStringList> { { "y" }, { "" } }));
}

TEST(ImportSplitting, AtMostTwelvePositionsReachTheMap)
{
    QStringList fields;
    for (int i = 1; i <= 15; ++i)
        fields << QString::number(i);
    ImportStructure s = bySeparator(";", {});
    for (int p = 0; p < kMapPositions; ++p)
        s.map[static_cast<size_t>(p)] = p;
    int read = 0;
    const ImportedRows out = SplitRecords(fields.join(';'), s, 15, [&] { ++read; });
    ASSERT_EQ(out.rows.size(), 1u);
    EXPECT_EQ(out.rows[0].mid(0, 12), fields.mid(0, 12));
    EXPECT_EQ(out.rows[0].mid(12), (QStringList { "", "", "" }));
    EXPECT_EQ(read, 12);
}

TEST(ImportSplitting, BlankLinesAreSkippedBetweenSeparatedRecordsButShiftLineRecords)
{
    const QString text = S("a;b\n   \n\nc;d\n");
    EXPECT_EQ(rowsOf(text, bySeparator(";", { 0, 1 }), 2), (std::vector<QStringList> { { "a", "b" }, { "c", "d" } }));

    const QString lines = S("a\nb\n\nc\nd");
    EXPECT_EQ(
        rowsOf(lines, byLines(2, { 0, 1 }), 2), (std::vector<QStringList> { { "a", "b" }, { "", "c" }, { "d", "" } }));
}

TEST(ImportSplitting, AnUnfinishedLastLineRecordIsKeptButNotCompleted)
{
    const ImportedRows out = SplitRecords(S("a\nb\nc\nd"), byLines(3, { 0, 1, 2 }), 3);
    ASSERT_EQ(out.rows.size(), 2u);
    EXPECT_EQ(out.rows[1], (QStringList { "d", "", "" }));
    EXPECT_EQ(out.complete, (std::vector<bool> { true, false }));

    // A last record that reaches no mapped position adds no row.
    const ImportedRows skipped = SplitRecords(S("a\nb\nc\nd"), byLines(3, { -1, 0, 1 }), 2);
    EXPECT_EQ(skipped.rows, (std::vector<QStringList> { { "b", "c" } }));
}

TEST(ImportSplitting, EmptyTextOrEmptySeparatorGivesNoRecord)
{
    EXPECT_TRUE(rowsOf(QString(), bySeparator(";", { 0 }), 1).empty());
    EXPECT_TRUE(rowsOf(QString(), byLines(1, { 0 }), 1).empty());
    // An empty separator is refused before reading; reading anyway takes the whole line.
    EXPECT_EQ(rowsOf(S("a;b"), bySeparator("", { 0 }), 1), (std::vector<QStringList> { { "a;b" } }));
}

TEST(ImportQuotes, SpreadsheetCsvOfLibreOfficeAndExcelReadsAsItsCells)
{
    const ImportStructure s = bySeparator(";", { 0, 1, 2, 3 });
    // As LibreOffice writes it: LF, quotes only where needed, doubled quotes inside.
    const QString calc = S("Acta Physica;\"Kowalski J.; Nowak A.\";\"O \"\"zjawisku\"\" X\";2008\n"
                           "Acta;\"Wiersz pierwszy\nwiersz drugi\";Autor;2009\n");
    EXPECT_EQ(rowsOf(calc, s, 4),
        (std::vector<QStringList> { { "Acta Physica", "Kowalski J.; Nowak A.", S("O \"zjawisku\" X"), "2008" },
            { "Acta", S("Wiersz pierwszy\nwiersz drugi"), "Autor", "2009" } }));
    // As Excel writes it: CR LF between records, a bare LF inside a cell, empty cells at the end.
    const QString excel = S("\"Przegląd; tom 1\";\"Linia 1\nLinia 2\";;\r\n\"\"\"Cytat\"\"\";B;C;D\r\n");
    EXPECT_EQ(rowsOf(excel, s, 4),
        (std::vector<QStringList> { { S("Przegląd; tom 1"), S("Linia 1\nLinia 2"), "", "" },
            { S("\"Cytat\""), "B", "C", "D" } }));
    // A quoted line break written as CR LF is one LF in the cell, as the text field would give it.
    EXPECT_EQ(rowsOf(S("\"a\r\nb\";c"), s, 4)[0][0], S("a\nb"));
}

TEST(ImportQuotes, QuotesThatFormNoFieldAreTextAsBefore)
{
    const ImportStructure s = bySeparator(";", { 0, 1, 2 });
    // A title that begins with a quote but goes on after it, and a quote never closed.
    EXPECT_EQ(rowsOf(S("\"Pan Tadeusz\" w przekładzie;Mickiewicz\n\"Nie zamknięty;b\nx;y"), s, 3),
        (std::vector<QStringList> { { S("\"Pan Tadeusz\" w przekładzie"), S("Mickiewicz"), "" },
            { S("\"Nie zamknięty"), "b", "" }, { "x", "y", "" } }));
    // A quote inside a field changes nothing; blanks around a quoted field do not count.
    EXPECT_EQ(rowsOf(S("a \"b\";  \"c;d\"  ;e"), s, 3), (std::vector<QStringList> { { S("a \"b\""), "c;d", "e" } }));
    // Off, every quote is text.
    ImportStructure off = s;
    off.quotes = false;
    EXPECT_EQ(rowsOf(S("\"a;b\";c"), off, 3), (std::vector<QStringList> { { S("\"a"), S("b\""), "c" } }));
    // Tab and multi-character separators; line-end mode ignores quotes.
    EXPECT_EQ(rowsOf(S("\"a\tb\"\t\"c\""), bySeparator("\t", { 0, 1 }), 2), (std::vector<QStringList> { { "a\tb", "c" } }));
    EXPECT_EQ(rowsOf(S("\"a||b\"||c"), bySeparator("||", { 0, 1 }), 2), (std::vector<QStringList> { { "a||b", "c" } }));
    EXPECT_EQ(rowsOf(S("\"a\nb\""), byLines(2, { 0, 1 }), 2), (std::vector<QStringList> { { S("\"a"), S("b\"") } }));
}

TEST(ImportQuotes, AFieldAfterTheTwelfthStillKeepsItsQuotedLineBreak)
{
    QStringList fields;
    for (int i = 1; i <= 13; ++i)
        fields << QString::number(i);
    const QString text = fields.join(';') + S(";\"x\ny\"\nnext");
    const auto rows = rowsOf(text, bySeparator(";", { 0 }), 1);
    EXPECT_EQ(rows, (std::vector<QStringList> { { "1" }, { "next" } }));
}

TEST(ImportHeader, TheFirstRecordIsSkippedInEitherModeWhenAsked)
{
    ImportStructure s = bySeparator(";", { 0, 1 });
    s.header = true;
    EXPECT_EQ(rowsOf(S("\n  \nNazwa;Rok\na;1\nb;2"), s, 2), (std::vector<QStringList> { { "a", "1" }, { "b", "2" } }));
    ImportStructure lines = byLines(2, { 0, 1 });
    lines.header = true;
    EXPECT_EQ(rowsOf(S("Nazwa\nRok\na\n1"), lines, 2), (std::vector<QStringList> { { "a", "1" } }));
    EXPECT_EQ(FirstRecordFields(S("\n\"Nazwa; pełna\" ; Rok \nx"), s), (QStringList { S("Nazwa; pełna"), "Rok" }));
    EXPECT_EQ(FirstRecordFields(S("A\nB\nC"), lines), (QStringList { "A", "B" }));
}

TEST(ImportHeader, AFirstRecordOfCaptionsThatFailsTheChecksIsTakenForAHeader)
{
    // Projects: dates and an amount, so a row of captions can never pass.
    const QStringList captions { S("Numer projektu"), S("TYTUŁ PROJEKTU"), S("data rozpoczęcia:"), S("data zakończenia"),
        S("kierownik projektu"), S("nakłady"), S("uwagi") };
    EXPECT_TRUE(LooksLikeHeader(25, captions, bySeparator(";", {}), 2008));
    EXPECT_TRUE(LooksLikeHeader(25, captions, bySeparator(";", { 0, 1, 2, 3, 4, 5 }), 2008));
    // A record of data, and one where captions are not the most of its fields, are data.
    EXPECT_FALSE(LooksLikeHeader(25,
        { S("N1"), S("Badania"), S("01/01/2007"), S("31/12/2008"), S("Kowalski"), S("100,00") },
        bySeparator(";", { 0, 1, 2, 3, 4, 5 }), 2008));
    EXPECT_FALSE(LooksLikeHeader(25, { S("Numer projektu"), S("x"), S("y") }, bySeparator(";", {}), 2008));
    // Half of them captions is not most of them.
    EXPECT_FALSE(LooksLikeHeader(
        25, { S("Numer projektu"), S("TYTUŁ PROJEKTU"), S("x"), S("y") }, bySeparator(";", {}), 2008));
    // Publications check only widths, yet their captions alone are a header.
    EXPECT_TRUE(LooksLikeHeader(3, { S("Czasopismo"), S("Tytuł"), S("Autor (Autorzy)") }, bySeparator(";", {}), 2008));
}

TEST(ImportStructureChecks, RefusalsNameWhatIsWrong)
{
    EXPECT_EQ(StructureProblem(bySeparator("", { 0 }), QString(), { S("A") }), S("Nie podano znaku separatora"));
    EXPECT_EQ(LineCountProblem(S("  ")), S("Nie podano ilości linii jaką zajmuje opis jednej pozycji"));
    EXPECT_TRUE(LineCountFieldProblem(QString()).isEmpty());
    EXPECT_EQ(LineCountFieldProblem(S("2,5")), S("Podana wartość jest nieprawidłowa"));
    EXPECT_EQ(LineCountFieldProblem(S("13")),
        S("Ilość linii, które obejmują jeden opis, nie może być większa niż 12 (ani mniejsza od 1)."));
    EXPECT_EQ(LineCountFieldProblem(S("0")), LineCountFieldProblem(S("13")));
    EXPECT_TRUE(LineCountProblem(S("12")).isEmpty());

    const QStringList headers { S("Czasopismo"), S("Tytuł"), S("Autor (Autorzy)") };
    EXPECT_EQ(DuplicateMapProblem(bySeparator(";", { -1, 2, 0, 2 }), headers),
        S("Do conajmniej dwóch pól przypisano taką samą zawartość tematyczną: Autor (Autorzy)"));
    EXPECT_EQ(DuplicateMapProblem(bySeparator(";", { 0, -1, -1, 1, -1 }), headers), QString());
    // The last two of the twelve fields are compared too.
    EXPECT_EQ(DuplicateMapProblem(bySeparator(";", { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 1 }), headers),
        S("Do conajmniej dwóch pól przypisano taką samą zawartość tematyczną: Tytuł"));
}

QByteArray utf16(const QString& text, bool littleEndian, bool mark)
{
    QByteArray bytes;
    if (mark)
        bytes = littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (QChar c : text) {
        const char high = static_cast<char>(c.unicode() >> 8), low = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(littleEndian ? low : high).append(littleEndian ? high : low);
    }
    return bytes;
}

TEST(ImportEncoding, TheSameTextInEveryEncodingGivesTheSameRows)
{
    const QString text = S("Zażółć gęślą jaźń;Łódź\r\nŚląsk;Kraków\r\nŹródło;Ąę\r\n");
    const struct {
        QByteArray bytes;
        TextEncoding encoding;
    } cases[] = { { text.toUtf8(), TextEncoding::Utf8 }, { QByteArray("\xEF\xBB\xBF") + text.toUtf8(), TextEncoding::Utf8 },
        { codepage::toWindows1250(text), TextEncoding::Windows1250 },
        { codepage::toIso88592(text), TextEncoding::Iso88592 }, { utf16(text, true, true), TextEncoding::Utf16LE },
        { utf16(text, false, true), TextEncoding::Utf16BE }, { utf16(text, true, false), TextEncoding::Utf16LE },
        { utf16(text, false, false), TextEncoding::Utf16BE } };
    const auto expected = rowsOf(text, bySeparator(";", { 0, 1 }), 2);
    for (const auto& c : cases) {
        const DecodedText decoded = DecodeImportBytes(c.bytes);
        EXPECT_EQ(EncodingName(decoded.encoding), EncodingName(c.encoding)) << c.bytes.toHex().toStdString();
        EXPECT_EQ(decoded.text, text) << EncodingName(c.encoding).toStdString();
        EXPECT_FALSE(decoded.text.contains(QChar(0))); // UTF-16 without its mark stores no NULs
    }
}

TEST(ImportEncoding, ShortPolishLinesAreToldApartAndAChosenEncodingOverridesTheGuess)
{
    // One word is enough when it holds one of the letters the two code pages place differently.
    for (const char* word : { "ściana", "Źle", "są", "Ąb" }) {
        EXPECT_EQ(DetectEncoding(codepage::toIso88592(S(word))), TextEncoding::Iso88592) << word;
        EXPECT_EQ(DetectEncoding(codepage::toWindows1250(S(word))), TextEncoding::Windows1250) << word;
    }
    // "±" beside a number is a Windows-1250 sign, not an ISO-8859-2 "ą".
    EXPECT_EQ(DetectEncoding(codepage::toWindows1250(S("Wynik 12 ±5%"))), TextEncoding::Windows1250);
    // Polish quote marks have no place in ISO-8859-2: they tell Windows-1250 even against a "±" beside a letter.
    EXPECT_EQ(DetectEncoding(codepage::toWindows1250(S("„Odchyłka±0,5 mm”"))), TextEncoding::Windows1250);
    // Letters both code pages share decode alike, so either answer reads the text right.
    EXPECT_EQ(DecodeImportBytes(codepage::toIso88592(S("Łódka żółta"))).text, S("Łódka żółta"));

    const QByteArray iso = codepage::toIso88592(S("Gęś"));
    EXPECT_EQ(DecodeImportBytes(iso, TextEncoding::Windows1250).text, S("Gę¶"));
    EXPECT_EQ(DecodeImportBytes(iso, TextEncoding::Iso88592).text, S("Gęś"));
    // A mark of another encoding is text for the one chosen; its own mark is dropped.
    EXPECT_EQ(DecodeImportBytes(QByteArray("\xEF\xBB\xBF" "a"), TextEncoding::Utf8).text, S("a"));
    EXPECT_EQ(DecodeImportBytes(utf16(S("a"), true, true), TextEncoding::Utf16LE).text, S("a"));

    for (const char* option : { "utf-8", "UTF-16LE", "utf-16be", "windows-1250", "iso-8859-2" })
        EXPECT_TRUE(EncodingFromOption(S(option)).has_value()) << option;
    EXPECT_FALSE(EncodingFromOption(S("latin2")).has_value());
}

TEST(ImportEncoding, TheIso88592TableAgreesWithTheSystemsConverter)
{
    QStringDecoder system("ISO-8859-2");
    ASSERT_TRUE(system.isValid());
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(codepage::fromIso88592(all), system.decode(all));
    EXPECT_EQ(codepage::toIso88592(codepage::fromIso88592(all)), all);
    EXPECT_EQ(codepage::toIso88592(S("ą€")), QByteArray("\xB1?"));
}

TEST(ImportEncoding, FilesOverTheLimitOrMissingAreRefusedWithAMessage)
{
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("duzy.txt"));
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kMaxImportBytes + 1));
    file.close();
    try {
        ReadImportFile(big);
        FAIL() << "a file over the limit was read";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains(S("zbyt duży"))) << e.message().toStdString();
    }
    EXPECT_THROW(ReadImportFile(dir.filePath(QStringLiteral("brak.txt"))), Error);
    EXPECT_FALSE(ClipboardTextProblem(QString(kMaxImportBytes + 1, QLatin1Char('a'))).isEmpty());
    EXPECT_TRUE(ClipboardTextProblem(S("a;b")).isEmpty());
}

TEST(ImportCompletion, PublicationsAreIdentifiedByWholeNameIgnoringCaseOnly)
{
    SmallJournalList journals;
    const QString text = S("acta physica polonica b;T1;A\n"
                           "Przegląd Elektrotechniczny.;T2;B\n"
                           "KWARTALNIK HISTORYCZNY;T3;C\n");
    const ImportedRows out = ReadRecords(4, text, bySeparator(";", { 0, 1, 2 }), &journals.list);
    ASSERT_EQ(out.rows.size(), 3u);
    EXPECT_EQ(out.rows[0].mid(4, 2), (QStringList { "Acta Physica Polonica B", "15,00" }));
    EXPECT_EQ(out.rows[1].mid(4, 2), (QStringList { "Przegląd Elektrotechniczny", "6,00" })); // a trailing dot is no other journal
    EXPECT_EQ(out.rows[2].mid(4, 2), (QStringList { "Kwartalnik Historyczny", "4,00" }));
}

TEST(ImportCompletion, PublicationsTakeTheIssnAsColumnSevenToIdentifyAndKeepIt)
{
    SmallJournalList journals;
    journals.connection.execute(QStringLiteral("ALTER TABLE lista_ministerstwa ADD COLUMN issn VARCHAR(9)"));
    journals.connection.execute(QStringLiteral("ALTER TABLE lista_ministerstwa ADD COLUMN eissn VARCHAR(9)"));
    journals.connection.execute(
        QStringLiteral("UPDATE lista_ministerstwa SET issn = '0033-2097' WHERE czasopismo = ?"),
        { S("Przegląd Elektrotechniczny") });
    journals.list.open();

    EXPECT_EQ(ImportHeaders(4).size(), 7);
    EXPECT_EQ(ImportHeaders(4).last(), S("ISSN"));
    EXPECT_EQ(ImportHeaders(7), lists::ListKindInfoOf(7).headers()); // other kinds keep their columns

    // The misspelt title is found by its ISSN, with or without the hyphen; a wrong ISSN finds nothing.
    const QString text = S("Przeglad Elektrotechniczy;T1;0033-2097\n"
                           "Przeglad Elektrotechniczy;T2;00332097\n"
                           "Przeglad Elektrotechniczy;T3;1234-5679\n");
    ImportedRows out = ReadRecords(4, text, bySeparator(";", { 0, 1, 6 }), &journals.list);
    ASSERT_EQ(out.rows.size(), 3u);
    EXPECT_EQ(out.rows[0].mid(4), (QStringList { S("Przegląd Elektrotechniczny"), S("6,00"), S("0033-2097") }));
    EXPECT_EQ(out.rows[1].mid(4, 2), (QStringList { S("Przegląd Elektrotechniczny"), S("6,00") }));
    EXPECT_EQ(out.rows[2].mid(4, 2), (QStringList { QString(), S("0,00") }));
    // A sheet's cells go the same way.
    const ImportedRows sheet = ReadSheetRecords(
        4, { { S("x"), S("T"), S("0033-2097") } }, bySeparator(";", { 0, 1, 6 }), &journals.list);
    EXPECT_EQ(sheet.rows.at(0).at(lists::kListedJournalColumn), S("Przegląd Elektrotechniczny"));

    DropImportOnlyCells(4, out.rows);
    for (const QStringList& row : out.rows)
        EXPECT_EQ(row.size(), lists::ListKindInfoOf(4).columns.size());
    EXPECT_EQ(out.rows[1].value(lists::kIssnColumn), S("0033-2097")); // the ISSN that named it, as the list writes it
}

TEST(ImportCompletion, MonographsGetTheirFixedPointsOnlyForFinishedRecords)
{
    const ImportedRows out = ReadRecords(9, S("W1\nT1\nW2"), byLines(2, { 0, 1 }), nullptr);
    ASSERT_EQ(out.rows.size(), 2u);
    EXPECT_EQ(out.rows[0][5], S("7"));
    EXPECT_EQ(out.rows[1][5], QString());
    EXPECT_EQ(ReadRecords(8, S("W;T"), bySeparator(";", { 0, 1 }), nullptr).rows[0][4], S("24"));
}

TEST(ImportHandOver, ReplacesThePlaceholderRowAndAppendsAfterRealRows)
{
    const std::vector<QStringList> imported { { "x", "1" }, { "y", "2" } };
    std::vector<QStringList> placeholder { { " ", "" } };
    AppendImportedRows(placeholder, imported);
    EXPECT_EQ(placeholder, imported);

    std::vector<QStringList> three { { "a", "" }, { "b", "" }, { "c", "" } };
    AppendImportedRows(three, imported);
    ASSERT_EQ(three.size(), 5u);
    EXPECT_EQ(three[2], (QStringList { "c", "" }));
    EXPECT_EQ(three[3], imported[0]);
}
