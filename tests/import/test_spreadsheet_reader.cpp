#include "import/spreadsheet_reader.h"

#include "base/error.h"
#include "import/workbook_files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <optional>

using namespace vestrum;
using namespace vestrum::importing;
using vestrum::testing::Biff8Workbook;
using vestrum::testing::OdsMembers;
using vestrum::testing::OdsMembersWithStyles;
using vestrum::testing::OleContainer;
using vestrum::testing::WriteZip;
using vestrum::testing::XlsxMembers;
using vestrum::testing::XlsxMembersWithStates;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QString errorOf(const QString& path, std::optional<int> sheet = std::nullopt)
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
    // Excel keeps a workbook with a password in an OLE container, its package encrypted in a stream; the old
    // binary format is an OLE container too, with a "Workbook" stream, whatever its name says.
    const QString locked = write("tajne.xlsx",
        OleContainer({ { S("EncryptionInfo"), QByteArray("\x04\x00\x04\x00\x40\x00\x00\x00", 8) },
            { S("EncryptedPackage"), QByteArray(5000, '\x5A') } }));
    EXPECT_EQ(errorOf(locked), S("Plik %1 jest zaszyfrowany - zapisz go bez hasła.").arg(locked));
    const QByteArray oldWorkbook = OleContainer({ { S("Workbook"), Biff8Workbook() } });
    for (const char* name : { "stary.xlsx", "stary.xls" }) {
        const QString old = write(name, oldWorkbook);
        EXPECT_TRUE(IsSpreadsheetFile(old));
        EXPECT_EQ(errorOf(old), S("Plik %1 jest w starym formacie .xls - zapisz go jako .xlsx lub .ods.").arg(old));
    }
    // The beginning of a container and nothing more is no workbook of either kind.
    const QString cut = write("ucięte.xlsx", oldWorkbook.left(8));
    EXPECT_TRUE(errorOf(cut).startsWith(S("Plik %1 jest uszkodzony").arg(cut))) << errorOf(cut).toStdString();
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

TEST(SpreadsheetSheets, TheFirstShownSheetIsReadAndNumbersCountHiddenSheetsToo)
{
    QTemporaryDir dir;
    const QString xlsx = dir.filePath(QStringLiteral("ukryte.xlsx"));
    const auto xlsxMembers = XlsxMembersWithStates({ { S("Stare"), R"(<row r="1"><c r="A1" t="s"><v>0</v></c></row></sheetData>)" },
                                                       { S("Pomocniczy"), R"(<row r="1"><c r="A1" t="s"><v>1</v></c></row></sheetData>)" },
                                                       { S("Lista"), R"(<row r="1"><c r="A1" t="s"><v>2</v></c></row></sheetData>)" } },
        { "hidden", "veryHidden", "" }, "<si><t>stare dane</t></si><si><t>pomocnicze</t></si><si><t>dane</t></si>");
    WriteZip(xlsx, xlsxMembers);

    const QString ods = dir.filePath(QStringLiteral("ukryte.ods"));
    const auto odsMembers = OdsMembersWithStyles(
        R"(<style:style style:name="ta1" style:family="table"><style:table-properties table:display="true"/></style:style>
           <style:style style:name="ta2" style:family="table"><style:table-properties table:display="false"/></style:style>)",
        R"(<table:table table:name="Stare" table:style-name="ta2"><table:table-row><table:table-cell office:value-type="string"><text:p>stare dane</text:p></table:table-cell></table:table-row></table:table>
           <table:table table:name="Pomocniczy" table:style-name="ta2"><table:table-row><table:table-cell office:value-type="string"><text:p>pomocnicze</text:p></table:table-cell></table:table-row></table:table>
           <table:table table:name="Lista" table:style-name="ta1"><table:table-row><table:table-cell office:value-type="string"><text:p>dane</text:p></table:table-cell></table:table-row></table:table>)");
    WriteZip(ods, odsMembers);

    for (const QString& path : { xlsx, ods }) {
        const Spreadsheet first = ReadSpreadsheet(path);
        EXPECT_EQ(first.sheet, 2) << path.toStdString();
        EXPECT_EQ(first.sheetNames, (QStringList { S("Stare"), S("Pomocniczy"), S("Lista") }));
        EXPECT_EQ(first.hidden, (std::vector<bool> { true, true, false }));
        EXPECT_EQ(first.rows, (std::vector<QStringList> { { S("dane") } }));
        // A number counts every sheet in the workbook's order.
        EXPECT_EQ(ReadSpreadsheet(path, 0).rows, (std::vector<QStringList> { { S("stare dane") } }));
        EXPECT_EQ(ReadSpreadsheet(path, 1).rows, (std::vector<QStringList> { { S("pomocnicze") } }));
    }

    // A workbook with every sheet hidden opens on the first.
    const QString allHidden = dir.filePath(QStringLiteral("wszystkie.ods"));
    const auto allHiddenMembers = OdsMembersWithStyles(
        R"(<style:style style:name="ta2" style:family="table"><style:table-properties table:display="false"/></style:style>)",
        R"(<table:table table:name="A" table:style-name="ta2"><table:table-row><table:table-cell office:value-type="float" office:value="1"/></table:table-row></table:table>
           <table:table table:name="B" table:style-name="ta2"/>)");
    WriteZip(allHidden, allHiddenMembers);
    const Spreadsheet fallback = ReadSpreadsheet(allHidden);
    EXPECT_EQ(fallback.sheet, 0);
    EXPECT_EQ(fallback.rows, (std::vector<QStringList> { { S("1") } }));
}

TEST(SpreadsheetRefusals, AFormulaWithoutItsResultIsNamedByItsCell)
{
    QTemporaryDir dir;
    const QString message = S("Komórka %1 zawiera formułę bez zapisanego wyniku - otwórz plik w arkuszu i zapisz go "
                              "ponownie.");
    // As a library that writes formulas without computing them leaves a sheet: no value, or an empty one.
    for (const QByteArray& cell : { QByteArray(R"(<c r="C2"><f>A2*2</f></c>)"), QByteArray(R"(<c r="C2"><f>A2*2</f><v></v></c>)") }) {
        const QString path = dir.filePath(QStringLiteral("formuly.xlsx"));
        const auto members = XlsxMembers({ { S("A"), R"(<row r="1"><c r="A1"><v>1</v></c></row><row r="2"><c r="A2"><v>2</v></c>)" + cell + "</row></sheetData>" } }, {});
        WriteZip(path, members);
        EXPECT_EQ(errorOf(path), message.arg(S("C2"))) << cell.toStdString();
    }
    // An empty text is a result; so is any value; a formula past the twelfth column is never read.
    const QString kept = dir.filePath(QStringLiteral("wyniki.xlsx"));
    const auto keptMembers = XlsxMembers({ { S("A"),
        R"(<row r="1"><c r="A1" t="str"><f>""</f><v></v></c><c r="B1"><f>1+1</f><v>2</v></c><c r="M1"><f>1/0</f></c></row></sheetData>)" } }, {});
    WriteZip(kept, keptMembers);
    EXPECT_EQ(ReadSpreadsheet(kept).rows, (std::vector<QStringList> { { QString(), S("2") } }));

    const QString ods = dir.filePath(QStringLiteral("formuly.ods"));
    const auto odsMembers = OdsMembers(
        R"(<table:table table:name="A"><table:table-row><table:table-cell office:value-type="float" office:value="1"/></table:table-row>
           <table:table-row table:number-rows-repeated="2"><table:table-cell table:number-columns-repeated="3"/><table:table-cell table:formula="of:=[.A1]*2"/></table:table-row></table:table>)");
    WriteZip(ods, odsMembers);
    EXPECT_EQ(errorOf(ods), message.arg(S("D2")));
}

TEST(SpreadsheetRefusals, TheZipLibrarysEnglishStaysOnTheDetailLine)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("dobry.xlsx"));
    const auto members = XlsxMembers({ { S("A"), R"(<row r="1"><c r="A1"><v>1</v></c></row></sheetData>)" } }, {});
    WriteZip(good, members);
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();

    // Cut short, and with the packed bytes of every member spoilt, as a broken download leaves a workbook.
    QByteArray spoilt = bytes;
    for (qsizetype at = spoilt.indexOf("PK\x03\x04"); at >= 0 && at < spoilt.indexOf("PK\x01\x02");
         at = spoilt.indexOf("PK\x03\x04", at + 4)) {
        const int nameLength = static_cast<uchar>(spoilt[at + 26]) | (static_cast<uchar>(spoilt[at + 27]) << 8);
        for (int k = 0; k < 8; ++k)
            spoilt[at + 30 + nameLength + 2 + k] = static_cast<char>(0xA5 ^ k);
    }
    for (const auto& [name, content] : { std::pair { "ucięty.xlsx", bytes.left(bytes.size() / 2) },
             std::pair { "zepsuty.xlsx", spoilt } }) {
        const QString path = dir.filePath(S(name));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        const QStringList lines = errorOf(path).split(u'\n');
        ASSERT_EQ(lines.size(), 2) << errorOf(path).toStdString();
        EXPECT_EQ(lines[0], S("Plik %1 jest uszkodzony lub nie jest arkuszem .xlsx/.ods.").arg(path));
        EXPECT_TRUE(lines[1].startsWith(S("Szczegóły: "))) << lines[1].toStdString();
    }
}
