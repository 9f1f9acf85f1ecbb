#include "import/import_rules.h"

#include "lists/list_catalogue.h"

#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::importing;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

CheckContext year2008()
{
    return CheckContext { 2008, {} };
}

// The messages of one row, as the error page lists them.
QStringList messages(int kind, const QStringList& cells, int row = 1, const CheckContext& context = year2008())
{
    QStringList lines;
    for (const ImportFinding& f : CheckRowCells(kind, cells, row, context).findings)
        lines << f.message;
    return lines;
}

// A kind-27 contract row that passes, to vary one cell at a time.
QStringList contract(const char* value, const char* start, const char* end = "31/12/2008")
{
    return { S("U/1"), S("Badania"), S(value), S("Firma"), S(start), S(end) };
}

} // namespace

TEST(ImportRules, EveryRuleNamesARealColumnAndEveryChoiceHasValues)
{
    for (int kind = 0; kind < lists::ListKindCount; ++kind) {
        const auto columns = static_cast<int>(lists::ListKindInfoOf(kind).columns.size());
        for (const ImportRule& rule : ImportRules(kind)) {
            EXPECT_GE(rule.column, 0);
            EXPECT_LT(rule.column, columns);
            EXPECT_TRUE(rule.message.endsWith(S(" - wiersz "))) << rule.message.toStdString();
            if (rule.type == RuleType::Choice) {
                EXPECT_GE(rule.choices.size(), 2) << kind;
                EXPECT_FALSE(rule.choices.contains(S("- wybierz -")));
            }
        }
    }
    // Kind 33 has no rule of its own, but its cells are still held to their fields.
    for (const ImportRule& rule : ImportRules(33))
        EXPECT_EQ(rule.type, RuleType::Width);
}

TEST(ImportRules, DatesPassOnlyAsTwoDigitsSlashTwoDigitsSlashFourDigitsFormingARealDate)
{
    EXPECT_TRUE(IsStrictDate(S("01/02/2007")));
    EXPECT_TRUE(IsStrictDate(S("29/02/2008")));
    for (const char* bad : { "1/2/2007", "31/02/2007", "29/02/2007", "01/2/20071", "+1/02/2007", "01/02/ 200",
             "01-02-2007", "00/01/2007", "01/13/2007", "01/01/0000", "", "٠١/٠٢/٢٠٠٧" })
        EXPECT_FALSE(IsStrictDate(S(bad))) << bad;

    EXPECT_TRUE(messages(27, contract("12500,50", "01/02/2007")).isEmpty());
    EXPECT_EQ(messages(27, contract("12500", "1/2/2007"), 3),
        QStringList { S("Błędnie podana lub pusta data (powinna mieć format dd/mm/rrrr) w polu \"Data "
                        "rozpoczęcia\" - wiersz 3") });
}

TEST(ImportRules, DecimalsNeedACommaAndIntegersMustFitThirtyTwoBits)
{
    EXPECT_TRUE(messages(27, contract("12,5", "01/02/2007")).isEmpty());
    const QString decimalLine
        = S("Nieprawidłowa zawartość pola \"Wartość\" (powinna być liczba z przecinkiem jako separatorem części "
            "ułamkowej) - wiersz 1");
    EXPECT_EQ(messages(27, contract("12.5", "01/02/2007")), QStringList { decimalLine });
    EXPECT_EQ(messages(27, contract("", "01/02/2007")), QStringList { decimalLine });
    EXPECT_EQ(messages(27, contract("1e999", "01/02/2007")), QStringList { decimalLine });

    const QStringList lab { S("Lab"), S("profil"), S("PCA"), S("2147483647"), S("") };
    EXPECT_TRUE(messages(49, lab).isEmpty());
    QStringList tooBig = lab;
    tooBig[3] = S("2147483648");
    EXPECT_EQ(messages(49, tooBig),
        QStringList {
            S("Nieprawidłowa zawartość pola \"Liczba procedur\" (powinna być liczba całkowita) - wiersz 1") });
}

TEST(ImportRules, YearsRunFromTheFirstYearToTheReportingYear)
{
    auto membership = [](const char* year) { return QStringList { S("Kowalski Jan"), S("IEEE"), S(year), S("inne") }; };
    const QString line = S("Nieprawidłowa zawartość pola \"Rok wyboru\" (powinien być podany tylko rok) - wiersz 1");
    EXPECT_EQ(messages(14, membership("1929")), QStringList { line });
    EXPECT_TRUE(messages(14, membership("1930")).isEmpty());
    EXPECT_TRUE(messages(14, membership("2008")).isEmpty());
    EXPECT_EQ(messages(14, membership("2008"), 1, CheckContext { 2007, {} }), QStringList { line });
    // Four digits and nothing else, as the entry dialog keeps in its four-character field.
    for (const char* notAYear : { "+1999", "01999", " 1999", "199" })
        EXPECT_EQ(messages(14, membership(notAYear)), QStringList { line }) << notAYear;
}

TEST(ImportRules, ChoicesIgnoreCaseAndBlanksTakeTheListedSpellingAndRefuseThePlaceholder)
{
    const RowCheck passing = CheckRowCells(47, { S("  KRAJOWA "), S("Nagroda"), S("Minister") }, 1, year2008());
    EXPECT_TRUE(passing.ok());
    ASSERT_EQ(passing.cells.size(), 3);
    EXPECT_EQ(passing.cells[0], S("krajowa"));
    EXPECT_EQ(passing.cells[2], S("Minister")); // not a choice: left as it was

    EXPECT_EQ(messages(47, { S("- wybierz -"), S("Nagroda"), S("Minister") }, 2),
        QStringList { S("Zawartość pola \"Krajowa/zagraniczna\" nie należy do zakresu stosowanego w tej "
                        "klasyfikacji - wiersz 2") });
}

TEST(ImportRules, ApplicantShareOfKind26IsOneOfTheThreeBandsWhileKind25CostsAreAnAmount)
{
    QStringList project { S("N1"), S("Tytuł"), S("01/01/2007"), S("31/12/2008"), S("Kierownik"),
        S("OD 200.000 DO 500.000 ZŁ") };
    const RowCheck share = CheckRowCells(26, project, 1, year2008());
    EXPECT_TRUE(share.ok());
    ASSERT_EQ(share.cells.size(), project.size());
    EXPECT_EQ(share.cells[5], S("od 200.000 do 500.000 zł"));
    EXPECT_EQ(messages(25, project),
        QStringList { S("Nieprawidłowa zawartość pola \"nakłady\" (powinna być liczba z przecinkiem jako "
                        "separatorem części ułamkowej) - wiersz 1") });

    project[5] = S("125000,00");
    EXPECT_TRUE(messages(25, project).isEmpty());
    EXPECT_EQ(messages(26, project),
        QStringList { S("Zawartość pola \"Udział wnioskodawcy\" nie należy do zakresu "
                        "stosowanego w tej klasyfikacji - wiersz 1") });
}

TEST(ImportRules, DateMessagesNameTheRealFieldOfKinds37And39)
{
    EXPECT_EQ(messages(37, { S("W1"), S("1.1.2007"), S("t"), S("n"), S("z") }),
        QStringList { S("Błędnie podana lub pusta data (powinna mieć format dd/mm/rrrr) w polu \"Data "
                        "zgłoszenia\" - wiersz 1") });
    EXPECT_EQ(messages(39, { S("krajowa"), S(""), S("opis"), S("n") }),
        QStringList { S("Błędnie podana lub pusta data (powinna mieć format dd/mm/rrrr) w polu \"Data "
                        "wprowadzenia\" - wiersz 1") });
}

TEST(ImportRules, EveryCellIsHeldToItsFieldsWidthWithTheEntryDialogsLine)
{
    EXPECT_EQ(DeclaredWidth(3, 0), 250); // "Czasopismo"
    EXPECT_EQ(DeclaredWidth(3, 1), 255); // "Tytuł", bounded by the default width
    EXPECT_EQ(DeclaredWidth(3, 5), 0); // points: a number
    const QStringList ok { QString(250, QLatin1Char('x')), QString(255, QLatin1Char('t')), S("a"), S("r"), S(""), S("0") };
    EXPECT_TRUE(messages(3, ok).isEmpty());
    QStringList tooLong = ok;
    tooLong[0] += QLatin1Char('x');
    tooLong[1] += QLatin1Char('t'); // a column the old table never checked
    EXPECT_EQ(messages(3, tooLong, 4),
        (QStringList { S("Pole \"Czasopismo\" może zawierać najwyżej 250 znaków - wiersz 4"),
            S("Pole \"Tytuł\" może zawierać najwyżej 255 znaków - wiersz 4") }));
    // A database with other widths is followed, and the line names its width.
    EXPECT_EQ(messages(3, ok, 1, CheckContext { 2008, { { S("Czasopismo"), 102 } } }),
        QStringList { S("Pole \"Czasopismo\" może zawierać najwyżej 102 znaki - wiersz 1") });
    // A cell that fails its own rule is told once: a too long date is a wrong date.
    QStringList contract = { S("U/1"), S("Badania"), S("12500"), S("Firma"), S("01/02/2007 r."), S("31/12/2008") };
    EXPECT_EQ(messages(27, contract).size(), 1);
    // Kind 33 had no checks at all; a cell longer than its field no longer passes.
    const lists::ListKindInfo& other = lists::ListKindInfoOf(33);
    QStringList otherRow(static_cast<qsizetype>(other.columns.size()));
    int bounded = -1;
    for (int c = 0; c < otherRow.size() && bounded < 0; ++c)
        if (DeclaredWidth(33, c) > 0)
            bounded = c;
    ASSERT_GE(bounded, 0);
    otherRow[bounded] = QString(DeclaredWidth(33, bounded) + 1, QLatin1Char('x'));
    EXPECT_EQ(messages(33, otherRow).size(), 1);
}

TEST(ImportRules, DegreeDisciplinesAreCheckedOnlyUnderAValidDomain)
{
    const RowCheck one = CheckRowCells(1, { S("NAUK CHEMICZNYCH"), S("Chemii") }, 1, year2008());
    EXPECT_TRUE(one.ok());
    EXPECT_EQ(one.cells, (QStringList { S("nauk chemicznych"), S("chemii") }));
    // A stored scope lists several disciplines, each followed by ";".
    EXPECT_TRUE(CheckRowCells(2, { S("nauk chemicznych"), S("chemii;biochemii;") }, 1, year2008()).ok());

    EXPECT_EQ(messages(1, { S("nauk chemicznych"), S("fizyki") }),
        QStringList { S("Zawartość pola \"W zakresie\" nie należy do zakresu zatwierdzonego przez CKK - wiersz 1") });
    EXPECT_EQ(messages(1, { S("nauk nieznanych"), S("fizyki") }),
        QStringList { S("Zawartość pola \"Nazwa stopnia\" nie należy do zakresu zatwierdzonego przez CKK - "
                        "wiersz 1") });
}

TEST(ImportRules, EveryRowAndRuleIsCheckedAndTheErrorTextListsThemInOrder)
{
    const std::vector<QStringList> rows { contract("x", "1/1/2007"), contract("10,00", "01/01/2007"),
        contract("10,00", "", "") };
    std::vector<QStringList> handOver;
    const auto findings = CheckRows(27, rows, year2008(), &handOver);
    ASSERT_EQ(findings.size(), 4u);
    EXPECT_EQ(findings[0].row, 1);
    EXPECT_EQ(findings[0].column, 2);
    EXPECT_EQ(findings[1].column, 4);
    EXPECT_EQ(findings[2].row, 3);
    EXPECT_EQ(findings[3].column, 5);
    EXPECT_EQ(handOver.size(), 3u);
    const QString text = ImportErrorText(findings);
    EXPECT_TRUE(text.startsWith(S("\r\nNieprawidłowa zawartość pola \"Wartość\"")));
    EXPECT_EQ(text.count(S("\r\n")), 4);
    EXPECT_TRUE(text.endsWith(S("w polu \"Data zakończenia\" - wiersz 3")));
    EXPECT_TRUE(ImportErrorText({}).isEmpty());
}
