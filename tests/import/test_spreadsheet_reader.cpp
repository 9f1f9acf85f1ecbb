#include "import/spreadsheet_reader.h"

#include "base/error.h"
#include "import/workbook_files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace vestrum;
using namespace vestrum::importing;
using vestrum::testing::OdsMembers;
using vestrum::testing::WriteZip;
using vestrum::testing::XlsxMembers;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QString errorOf(const QString& path, int sheet = 0)
{
    try {
        ReadSpreadsheet(path, sheet);
    } catch (const Error& e) {
        return e.message();
    }
    return QString();
}

// A publication list as Excel leaves it: shared and inline strings, a built-in and a custom date,
// a number with a thousands format, a formula with its cached value, a merge over a stale cell, a
// boolean, cells written without their reference, empty styled cells and a column past the twelfth.
const QByteArray kExcelSheet = R"(
<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c></row>
<row r="2"><c r="A2" t="s"><v>3</v></c><c r="B2" t="inlineStr"><is><r><t>Zjawiska </t></r><r><t xml:space="preserve">"nowe"</t></r></is></c>
  <c r="C2" s="1"><v>39522</v></c><c r="D2" s="3"><v>1234.5</v></c><c r="E2"><f>D2*2</f><v>2469</v></c></row>
<row r="3"><c r="A3" t="s"><v>4</v></c><c r="B3" t="s"><v>5</v></c><c r="C3" s="2"><v>1</v></c>
  <c r="D3"><v>0.30000000000000004</v></c><c r="E3" t="str"><f>A3&amp;"x"</f><v>Scalonex</v></c></row>
<row r="4"><c r="A4" t="b"><v>1</v></c><c r="D4"><v>-1.5E-3</v></c><c r="E4" s="4"><v>0.5</v></c><c r="Z4"><v>9</v></c></row>
<row><c><v>7</v></c><c><v>8</v></c></row>
<row r="9"><c r="A9" s="1"/><c r="B9" s="3"/></row>
</sheetData><mergeCells count="1"><mergeCell ref="A3:B3"/></mergeCells>)";

const QByteArray kExcelStrings = R"(<si><t>Czasopismo</t></si><si><t>Tytuł</t></si><si><t>Data</t></si>
<si><t>Acta Physica Polonica B</t><rPh><t>akuta</t></rPh></si><si><t>Scalone</t></si><si><t>ukryte</t></si>)";

} // namespace

TEST(SpreadsheetXlsx, CellsReadAsThePersonSawThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("publikacje.xlsx"));
    const auto members
        = XlsxMembers({ { S("Publikacje"), kExcelSheet }, { S("Drugi"), "</sheetData>" } }, kExcelStrings);
    WriteZip(path, members);

    const Spreadsheet sheet = ReadSpreadsheet(path);
    EXPECT_EQ(sheet.sheetNames, (QStringList { S("Publikacje"), S("Drugi") }));
    const std::vector<QStringList> expected {
        { S("Czasopismo"), S("Tytuł"), S("Data") },
        { S("Acta Physica Polonica B"), S("Zjawiska \"nowe\""), S("15/03/2008"), S("1234,5"), S("2469") },
        { S("Scalone"), S(""), S("01/01/1900"), S("0,3"), S("Scalonex") },
        { S("PRAWDA"), S(""), S(""), S("-0,0015"), S("0,5") }, // a time is no date
        { S("7"), S("8") },
    };
    EXPECT_EQ(sheet.rows, expected);
    EXPECT_TRUE(ReadSpreadsheet(path, 1).rows.empty());
    EXPECT_TRUE(errorOf(path, 2).contains(S("nie ma arkusza nr 3"))) << errorOf(path, 2).toStdString();

    // Around the 29 February 1900 that the 1900 count holds (day 60), so the days after it come out right.
    WriteZip(path,
        XlsxMembers({ { S("A"),
                        R"(<row r="1"><c r="A1" s="1"><v>59</v></c><c r="B1" s="1"><v>60</v></c>)"
                        R"(<c r="C1" s="1"><v>61</v></c></row></sheetData>)" } },
            {}));
    EXPECT_EQ(ReadSpreadsheet(path).rows,
        (std::vector<QStringList> { { S("28/02/1900"), S("29/02/1900"), S("01/03/1900") } }));

    // Dates of a workbook counted from 1904.
    WriteZip(path,
        XlsxMembers({ { S("A"), R"(<row r="1"><c r="A1" s="2"><v>37621</v></c></row></sheetData>)" } }, {}, true));
    EXPECT_EQ(ReadSpreadsheet(path).rows, (std::vector<QStringList> { { S("01/01/2007") } }));
}

TEST(SpreadsheetOds, CellsReadAsThePersonSawThem)
{
    const QByteArray tables = R"(
<table:table table:name="Arkusz1">
 <table:table-column table:number-columns-repeated="3"/>
 <table:table-header-rows><table:table-row><table:table-cell office:value-type="string"><text:p>Czasopismo</text:p></table:table-cell></table:table-row></table:table-header-rows>
 <table:table-row>
  <table:table-cell office:value-type="string"><text:p>Acta<text:s text:c="2"/>Physica</text:p><text:p>druga <text:span>linia</text:span><text:line-break/>trzecia</text:p>
   <office:annotation><text:p>komentarz</text:p></office:annotation></table:table-cell>
  <table:table-cell office:value-type="date" office:date-value="2008-03-15T10:30:00"><text:p>15.03.08</text:p></table:table-cell>
  <table:table-cell office:value-type="float" office:value="1234.5"><text:p>1 234,50 zł</text:p></table:table-cell>
  <table:table-cell table:formula="of:=[.C2]*2" office:value-type="float" office:value="2469"><text:p>2469</text:p></table:table-cell>
 </table:table-row>
 <table:table-row table:number-rows-repeated="2">
  <table:table-cell table:number-columns-spanned="2" office:value-type="string"><text:p>Scalone</text:p></table:table-cell>
  <table:covered-table-cell office:value-type="string"><text:p>ukryte</text:p></table:covered-table-cell>
  <table:table-cell office:value-type="percentage" office:value="0.15"><text:p>15%</text:p></table:table-cell>
  <table:table-cell office:value-type="boolean" office:boolean-value="false"><text:p>FAŁSZ</text:p></table:table-cell>
 </table:table-row>
 <table:table-row table:number-rows-repeated="4"><table:table-cell/></table:table-row>
 <table:table-row><table:table-cell table:number-columns-repeated="3" office:value-type="string"><text:p>x</text:p></table:table-cell>
  <table:table-cell table:number-columns-repeated="16000"/></table:table-row>
 <table:table-row table:number-rows-repeated="1048570"><table:table-cell table:number-columns-repeated="1024"/></table:table-row>
</table:table>
<table:table table:name="Drugi"><table:table-row><table:table-cell office:value-type="float" office:value="3"><text:p>3</text:p></table:table-cell></table:table-row></table:table>)";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("publikacje.ods"));
    const auto members = OdsMembers(tables);
    WriteZip(path, members);

    const Spreadsheet sheet = ReadSpreadsheet(path);
    EXPECT_EQ(sheet.sheetNames, (QStringList { S("Arkusz1"), S("Drugi") }));
    const QStringList merged { S("Scalone"), S(""), S("0,15"), S("FAŁSZ") };
    const std::vector<QStringList> expected {
        { S("Czasopismo") },
        { S("Acta  Physica\ndruga linia\ntrzecia"), S("15/03/2008"), S("1234,5"), S("2469") },
        merged,
        merged,
        { S("x"), S("x"), S("x") },
    };
    EXPECT_EQ(sheet.rows, expected);
    EXPECT_EQ(ReadSpreadsheet(path, 1).rows, (std::vector<QStringList> { { S("3") } }));
}

TEST(SpreadsheetRefusals, EncryptedDamagedAndBombedWorkbooksAreRefusedByName)
{
    QTemporaryDir dir;
    auto write = [&](const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(S(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    };
    // Excel keeps a workbook with a password in an OLE container.
    const QString locked = write("tajne.xlsx", QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + QByteArray(504, '\0'));
    EXPECT_EQ(errorOf(locked), S("Plik %1 jest zaszyfrowany - zapisz go bez hasła.").arg(locked));
    // LibreOffice encrypts the parts and says so in the manifest.
    const QString lockedOds = dir.filePath(QStringLiteral("tajne.ods"));
    const auto lockedMembers = OdsMembers("", "<manifest:encryption-data manifest:checksum-type=\"SHA1/1K\"/>");
    WriteZip(lockedOds, lockedMembers);
    EXPECT_EQ(errorOf(lockedOds), S("Plik %1 jest zaszyfrowany - zapisz go bez hasła.").arg(lockedOds));

    const QString damaged = S("Plik %1 jest uszkodzony lub nie jest arkuszem .xlsx/.ods.");
    for (const QString& path : { write("ucięty.xlsx", QByteArray("PK\x03\x04\x14\x00\x00\x00")),
             write("tekst.ods", QByteArray("Czasopismo;Tytuł\n")) }) {
        EXPECT_TRUE(errorOf(path).startsWith(damaged.arg(path))) << errorOf(path).toStdString();
        EXPECT_TRUE(IsSpreadsheetFile(path));
    }
    const QString noSheet = dir.filePath(QStringLiteral("pusty.xlsx"));
    const auto noSheetMembers = XlsxMembers({}, {});
    WriteZip(noSheet, noSheetMembers);
    EXPECT_TRUE(errorOf(noSheet).startsWith(damaged.arg(noSheet)));
    const QString badXml = dir.filePath(QStringLiteral("zlyxml.xlsx"));
    const auto badXmlMembers = XlsxMembers({ { S("A"), "<row><c><v>1</v></row></sheetData>" } }, {});
    WriteZip(badXml, badXmlMembers);
    EXPECT_TRUE(errorOf(badXml).startsWith(damaged.arg(badXml)));

    // 5 MB of blanks pack into a few kilobytes: far more than 100 times the file.
    const QString bomb = dir.filePath(QStringLiteral("bomba.ods"));
    auto bombMembers = OdsMembers("");
    bombMembers.back().second.insert(bombMembers.back().second.indexOf("<office:body>"), QByteArray(5 << 20, ' '));
    WriteZip(bomb, bombMembers);
    ASSERT_LT(QFile(bomb).size(), 100 * 1024);
    EXPECT_EQ(errorOf(bomb), S("Plik %1 jest zbyt duży.").arg(bomb));

    // A member that says it holds 1000 bytes and unpacks to 2 MB is stopped by what it really gives.
    const QString liar = dir.filePath(QStringLiteral("klamca.ods"));
    const vestrum::testing::ZipMembers one { { QStringLiteral("content.xml"), QByteArray(2 << 20, ' ') } };
    WriteZip(liar, one);
    QFile packed(liar);
    ASSERT_TRUE(packed.open(QIODevice::ReadWrite));
    QByteArray bytes = packed.readAll();
    const QByteArray declared("\xE8\x03\x00\x00", 4); // 1000, little-endian
    const qsizetype central = bytes.indexOf("PK\x01\x02");
    ASSERT_GT(central, 0);
    bytes.replace(22, 4, declared).replace(central + 24, 4, declared);
    packed.seek(0);
    packed.write(bytes);
    packed.close();
    EXPECT_EQ(errorOf(liar), S("Plik %1 jest zbyt duży.").arg(liar));

    // A text file with another name is no workbook.
    EXPECT_FALSE(IsSpreadsheetFile(write("lista.csv", QByteArray("a;b\n"))));
    EXPECT_TRUE(IsSpreadsheetFile(dir.filePath(QStringLiteral("brak.xlsx"))));
    EXPECT_TRUE(errorOf(dir.filePath(QStringLiteral("brak.xlsx"))).startsWith(S("Nie znaleziono zbioru")));
}

TEST(SpreadsheetNumbers, ShortestDecimalWithACommaAndNoExponent)
{
    EXPECT_EQ(FormatCellNumber(5.0), S("5"));
    EXPECT_EQ(FormatCellNumber(-0.0), S("0"));
    EXPECT_EQ(FormatCellNumber(0.1 + 0.2), S("0,3"));
    EXPECT_EQ(FormatCellNumber(4.1 * 3), S("12,3"));
    EXPECT_EQ(FormatCellNumber(1234567.25), S("1234567,25"));
    EXPECT_EQ(FormatCellNumber(1e20), S("100000000000000000000"));
    EXPECT_EQ(FormatCellNumber(1.5e-7), S("0,00000015"));
}
