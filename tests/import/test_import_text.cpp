#include "import/import_text.h"

#include "base/codepage.h"
#include "base/error.h"
#include "lists/journal_identification.h"
#include "storage/engine.h"
#include "storage/schema.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace vestrum;
using namespace vestrum::importing;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

ImportStructure bySeparator(const char* separator, std::initializer_list<int> map)
{
    ImportStructure s;
    s.separator = S(separator);
    int n = 0;
    for (int column : map)
        s.map[static_cast<size_t>(n++)] = column;
    return s;
}

ImportStructure byLines(int perRecord, std::initializer_list<int> map)
{
    ImportStructure s = bySeparator(";", map);
    s.mode = SeparatorMode::LineEnds;
    s.linesPerRecord = perRecord;
    return s;
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
}

TEST(ImportEncoding, TheSameTextInEveryEncodingGivesTheSameRows)
{
    const QString text = S("Zażółć gęślą jaźń;Łódź\r\nŚląsk;Kraków\r\n");
    const QByteArray utf16le
        = QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QByteArray utf16be("\xFE\xFF");
    for (QChar c : text)
        utf16be.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));

    const struct {
        QByteArray bytes;
        TextEncoding encoding;
    } cases[]
        = { { text.toUtf8(), TextEncoding::Utf8 }, { QByteArray("\xEF\xBB\xBF") + text.toUtf8(), TextEncoding::Utf8 },
              { codepage::toWindows1250(text), TextEncoding::Windows1250 }, { utf16le, TextEncoding::Utf16 },
              { utf16be, TextEncoding::Utf16 } };
    const auto expected = rowsOf(text, bySeparator(";", { 0, 1 }), 2);
    for (const auto& c : cases) {
        const DecodedText decoded = DecodeImportBytes(c.bytes);
        EXPECT_EQ(decoded.encoding, c.encoding) << c.bytes.toHex().toStdString();
        EXPECT_EQ(rowsOf(decoded.text, bySeparator(";", { 0, 1 }), 2), expected);
    }
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
    EXPECT_EQ(out.rows[0].mid(4), (QStringList { "Acta Physica Polonica B", "15" }));
    EXPECT_EQ(out.rows[1].mid(4), (QStringList { "Przegląd Elektrotechniczny", "6" })); // a trailing dot is no other journal
    EXPECT_EQ(out.rows[2].mid(4), (QStringList { "Kwartalnik Historyczny", "4" }));
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
