// Input that is not what a text import expects: a line of megabytes, NUL bytes, files that are no regular
// files, a row of captions, a quote left open. Each is read in full or refused with a message that says why.
#include "import/import_text.h"
#include "import/import_structures.h"

#include "base/error.h"
#include "import/import_rules.h"
#include "import/spreadsheet_reader.h"
#include "lists/xml_exchange.h"
#include "support/fifo.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace vestrum;
using namespace vestrum::importing;
using namespace vestrum::importing::testing;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QString write(const QTemporaryDir& dir, const char* name, const QByteArray& bytes)
{
    const QString path = dir.filePath(S(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QString refusalOf(const std::function<void()>& read)
{
    try {
        read();
    } catch (const Error& e) {
        return e.message();
    }
    return QString();
}

} // namespace

TEST(ImportLongLines, OneLineOfAHundredThousandFieldsIsCutLikeShortOnes)
{
    // Quoted fields with pairs of quotes and separators inside, a field whose quotes form no field, and a quote
    // opened at the start that no later quote closes: the same line read whole and cut into short lines.
    const QString record = S("\"a;\"\"b\"\"\";x\"y;\"\";\"q");
    QStringList repeated;
    for (int i = 0; i < 20000; ++i)
        repeated << record;
    const QString oneLine = repeated.join(u';');
    const QString manyLines = repeated.join(u'\n');

    const auto rows = SplitRecords(oneLine, bySeparator(";", { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 }), 12).rows;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].mid(0, 5), (QStringList { S("a;\"b\""), S("x\"y"), QString(), S("\"q"), S("a;\"b\"") }));
    const auto cut = SplitRecords(manyLines, bySeparator(";", { 0, 1, 2, 3 }), 4).rows;
    ASSERT_EQ(cut.size(), 20000u);
    EXPECT_EQ(cut.back(), (QStringList { S("a;\"b\""), S("x\"y"), QString(), S("\"q") }));

    // A quote that opens a field closes only at the end of the text: everything between is its text.
    const QString open = S("\"start;") + QString(300000, u'x') + S("\nkoniec\";b");
    const auto carried = SplitRecords(open, bySeparator(";", { 0, 1 }), 2);
    ASSERT_EQ(carried.rows.size(), 1u);
    EXPECT_EQ(carried.rows[0][0].size(), 300013);
    EXPECT_EQ(carried.rows[0][1], S("b"));
}

TEST(ImportNul, ATextWithNulIsRefusedNamingItsLineWhileUtf16IsStillRead)
{
    QTemporaryDir dir;
    const QString expected = S("Plik %1 zawiera znaki NUL (wiersz %2) - to nie jest plik tekstowy.");
    // One stray NUL in a short file, in a long one, and several: none of them is UTF-16.
    QByteArray longText;
    for (int i = 1; i <= 320; ++i)
        longText += "Kowalski " + QByteArray::number(i) + ";Zjawiska nowe\r\n";
    const QByteArray nul(1, '\0');
    const QString twoRows = write(dir, "dwa.csv", "Kowalski;Zjawiska\nNowak;Pr" + nul + "zy\n");
    const QString manyRows = write(dir, "duzo.csv", longText.left(5000) + nul + longText.mid(5000));
    const QString severalNuls = write(dir, "nule.csv", "a;b\nc" + nul + nul + ";d" + nul + "\ne;f\n");
    EXPECT_EQ(refusalOf([&] { ReadImportFile(twoRows); }), expected.arg(twoRows).arg(2));
    EXPECT_EQ(refusalOf([&] { ReadImportFile(manyRows); }), expected.arg(manyRows).arg(longText.left(5000).count('\n') + 1));
    EXPECT_EQ(refusalOf([&] { ReadImportFile(severalNuls); }), expected.arg(severalNuls).arg(2));
    // A chosen encoding does not let them through either.
    EXPECT_EQ(refusalOf([&] { ReadImportFile(twoRows, TextEncoding::Windows1250); }), expected.arg(twoRows).arg(2));

    // UTF-16 by its NUL pattern is text; a NUL character inside it is not.
    QByteArray utf16;
    for (const QChar c : S("Łódź;Kraków\nGdańsk;Toruń\n"))
        utf16.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
    const DecodedText read = ReadImportFile(write(dir, "utf16.csv", utf16));
    EXPECT_EQ(read.encoding, TextEncoding::Utf16LE);
    EXPECT_EQ(read.text, S("Łódź;Kraków\nGdańsk;Toruń\n"));
    const QString withNulCharacter = write(dir, "utf16nul.csv", QByteArray("\xFF\xFE", 2) + utf16 + QByteArray(4, '\0'));
    EXPECT_EQ(refusalOf([&] { ReadImportFile(withNulCharacter); }), expected.arg(withNulCharacter).arg(3));

    EXPECT_EQ(ClipboardTextProblem(S("a;b\r\nc;d\re") + QChar(0)),
        S("Tekst w schowku systemowym zawiera znaki NUL (wiersz 3) - to nie jest zwykły tekst."));
}

TEST(ImportNul, AnXmlListNeverCarriesANul)
{
    QTemporaryDir dir;
    const auto list = [](const QByteArray& cell) -> QByteArray {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<eksport>\n<rekord>\n <kolumna_1>" + cell
            + "</kolumna_1>\n <kolumna_2>c</kolumna_2>\n</rekord>\n</eksport>\n";
    };
    EXPECT_EQ(lists::readListXml(write(dir, "dobry.xml", list("ab")), 2), (std::vector<QStringList> { { "ab", "c" } }));
    // A character reference to NUL, or the byte itself, is no XML character: the file is refused.
    for (const QByteArray& cell : { QByteArray("a&#0;b"), QByteArray("a&#x0;b"), QByteArray("a\0b", 3),
             QByteArray("<![CDATA[a\0b]]>", 16) })
        EXPECT_THROW(lists::readListXml(write(dir, "nul.xml", list(cell)), 2), Error) << cell.toHex().toStdString();
}

TEST(ImportSpecialFiles, AFifoOrADeviceIsRefusedAtOnceAndALinkToAFileIsRead)
{
    QTemporaryDir dir;
    vestrum::testing::Fifo fifo(dir.filePath(QStringLiteral("potok.csv")));
    ASSERT_TRUE(fifo.made());
    vestrum::testing::Fifo workbook(dir.filePath(QStringLiteral("potok.xlsx")));
    vestrum::testing::Fifo list(dir.filePath(QStringLiteral("potok.xml")));
    const QString message = S("Plik %1 nie jest zwykłym plikiem.");
    EXPECT_EQ(refusalOf([&] { ReadImportFile(fifo.path()); }), message.arg(fifo.path()));
    EXPECT_FALSE(IsSpreadsheetFile(fifo.path()));
    EXPECT_EQ(refusalOf([&] { ReadSpreadsheet(workbook.path()); }), message.arg(workbook.path()));
    EXPECT_EQ(refusalOf([&] { lists::readListXml(list.path(), 2); }), message.arg(list.path()));
    EXPECT_EQ(refusalOf([] { ReadImportFile(QStringLiteral("/dev/null")); }), message.arg(QStringLiteral("/dev/null")));
    EXPECT_FALSE(fifo.rescued() || workbook.rescued() || list.rescued()) << "a FIFO was opened";

    const QString target = write(dir, "lista.csv", "a;b\n");
    const QString link = dir.filePath(QStringLiteral("dowiazanie.csv"));
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_EQ(ReadImportFile(link).text, S("a;b\n"));
}

TEST(ImportHeader, CaptionsAloneMakeAHeaderEvenWhereTheyWouldPassAsData)
{
    const ImportStructure unmapped = bySeparator(";", {});
    // Publications check widths only: a row of their captions or usual names would be stored as a publication.
    for (const QStringList& captions : { QStringList { S("Czasopismo"), S("Tytuł"), S("Autor (Autorzy)") },
             QStringList { S("TYTUŁ CZASOPISMA"), S("tytul"), S("Autorzy"), S("Rok"), S("issn"), S("Punkty") },
             QStringList { S("Lp."), S("czasopismo"), S("autor"), QString() } })
        EXPECT_TRUE(LooksLikeHeader(3, captions, unmapped, 2008)) << captions.join(u'|').toStdString();
    EXPECT_TRUE(LooksLikeHeader(9, { S("Wydawnictwo"), S("Tytuł monografii"), S("Rozdział"), S("Autorzy") }, unmapped, 2008));
    // Data, and a single caption-like title, are data.
    EXPECT_FALSE(LooksLikeHeader(3, { S("Acta Physica Polonica B"), S("Tytuł"), S("Autorzy") }, unmapped, 2008));
    EXPECT_FALSE(LooksLikeHeader(3, { S("Punkty"), S("Rola punktów w geometrii") }, unmapped, 2008));
    EXPECT_FALSE(LooksLikeHeader(3, { S("Lp."), S("Czasopismo") }, unmapped, 2008));
    EXPECT_EQ(HeaderRecordProblem(QStringLiteral("/dane/publikacje.csv")),
        S("Pierwszy wiersz pliku /dane/publikacje.csv to nazwy kolumn - użyj opcji --header, aby go pominąć."));
}

TEST(ImportQuotes, AFieldRefusedForWhatAnOpenQuoteSwallowedSaysWhereTheQuoteOpened)
{
    // A "24-inch" monitor's quote opens a field that closes 5,000 lines on, at the next quote.
    QString text = S("Biurko;Dębowe\nMonitor 24\";Samsung\n\"Monitor 24\";ok\n");
    text += S("\"Monitor 24;LG\n");
    for (int i = 0; i < 5000; ++i)
        text += S("Krzesło %1;biurowe\n").arg(i);
    text += S("Lampa\";stojąca\n");
    // Kind 19: a network's name has a width, its description has none.
    const ImportedRows read = ReadRecords(19, text, bySeparator(";", { 0, 1 }), nullptr);
    ASSERT_EQ(read.rows.size(), 4u);
    std::vector<ImportFinding> findings = CheckRows(19, read.rows, CheckContext { 2008, {} });
    AddQuoteNotes(findings, read.rows, read.quotedBreaks);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].row, 4);
    const QStringList lines = findings[0].message.split(u'\n');
    ASSERT_EQ(lines.size(), 2) << findings[0].message.toStdString();
    EXPECT_EQ(lines[1],
        S("Cudzysłów otwarty w wierszu 4 nie został zamknięty przed końcem pola - sprawdź tekst albo wyłącz opcję "
          "»cudzysłów ogranicza pola« (--no-quotes)."));

    // A quoted field with its own line break that passes keeps no note; one without a break gets none.
    const ImportedRows fine = ReadRecords(19, S("\"Sieć\nmiędzynarodowa\";opis\n"), bySeparator(";", { 0, 1 }), nullptr);
    EXPECT_EQ(fine.rows[0][0], S("Sieć\nmiędzynarodowa"));
    EXPECT_TRUE(CheckRows(19, fine.rows, CheckContext { 2008, {} }).empty());
}
