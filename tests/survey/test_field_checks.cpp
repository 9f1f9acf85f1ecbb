#include "survey/field_checks.h"
#include "program/program.h"
#include "support/temp_survey.h"

#include <gtest/gtest.h>

using namespace vestrum;
using namespace vestrum::checks;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

FieldValues texts(std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    FieldValues v;
    for (const auto& [name, text] : pairs)
        v.text[QString::fromLatin1(name)] = U(text);
    return v;
}

// Accepts or refuses `typed` in `control`; returns the text the field is left with.
std::optional<QString> leave(const char* control, const char* typed)
{
    FieldValues v = texts({{control, typed}});
    if (!CheckFieldExit(QString::fromLatin1(control), v))
        return std::nullopt;
    return v.text.value(QString::fromLatin1(control));
}

FieldValues section17(double total1, double p2, double p6)
{
    FieldValues v;
    for (int i = 1; i <= 13; ++i)
        v.text[QStringLiteral("me18%1").arg(i, 2, 10, QLatin1Char('0'))] = U("0,00");
    v.text[U("me1801")] = QString::number(total1, 'f', 2).replace(u'.', u',');
    v.text[U("me1802")] = QString::number(p2, 'f', 2).replace(u'.', u',');
    v.text[U("me1806")] = QString::number(p6, 'f', 2).replace(u'.', u',');
    v.text[U("me1803")] = v.text[U("me1802")];
    v.text[U("me1807")] = v.text[U("me1806")];
    return v;
}

} // namespace

TEST(FieldChecks, ClassesComeFromTheCatalogue)
{
    EXPECT_EQ(ClassOf(U("me41")), FieldClass::WholeNumberOrEmpty);
    EXPECT_EQ(ClassOf(U("me86_1")), FieldClass::WholeNumberOrEmpty);
    EXPECT_EQ(ClassOf(U("me221")), FieldClass::WholeNumberOrEmpty);
    EXPECT_EQ(ClassOf(U("me1913")), FieldClass::Amount);
    EXPECT_EQ(ClassOf(U("me2003")), FieldClass::Amount);
    EXPECT_EQ(ClassOf(U("me322")), FieldClass::StaffCount);
    EXPECT_EQ(ClassOf(U("me354")), FieldClass::StaffAmount);
    EXPECT_EQ(ClassOf(U("me364")), FieldClass::Unchecked); // read-only total
    EXPECT_EQ(ClassOf(U("me8")), FieldClass::Unchecked);
    EXPECT_EQ(ClassOf(U("e001")), FieldClass::Unchecked);
    EXPECT_EQ(ClassOf(U("e004")), FieldClass::Date);
    EXPECT_EQ(ClassOf(U("e011")), FieldClass::PostalCode);
}

TEST(FieldChecks, AmountsAreRewrittenWithTwoDecimalsAndWholeNumbersMayStayEmpty)
{
    EXPECT_EQ(leave("me51", "12,5"), U("12,50"));
    EXPECT_EQ(leave("me1801", "-3"), U("-3,00"));
    EXPECT_FALSE(leave("me51", "12.5"));
    EXPECT_FALSE(leave("me51", ""));
    EXPECT_EQ(leave("me41", ""), U(""));
    EXPECT_EQ(leave("me41", "007"), U("007")); // accepted, not rewritten
    EXPECT_FALSE(leave("me41", "1,5"));
    EXPECT_FALSE(leave("me711", " "));
    EXPECT_EQ(leave("e004", "5/3/2004"), U("05/03/2004"));
    EXPECT_EQ(leave("e004", ""), U(""));
    EXPECT_FALSE(leave("e004", "31/02/2004"));
    EXPECT_EQ(leave("e011", "00 950"), U("00-950"));
    EXPECT_FALSE(leave("e011", "0-950"));
    EXPECT_EQ(leave("e001", "anything at all"), U("anything at all"));
}

TEST(FieldChecks, LeavingASection3FieldNormalisesItsColumnAndRecomputesTheTotal)
{
    FieldValues v = texts({{"me311", "3"}, {"me321", "x"}, {"me331", "007"}, {"me341", "2"}, {"me351", ""},
                           {"me313", "1,5"}, {"me323", "2,25"}, {"me333", "abc"}, {"me343", ""}, {"me353", "0,25"}});
    ASSERT_TRUE(CheckFieldExit(U("me311"), v));
    EXPECT_EQ(v.text[U("me321")], U("0"));
    EXPECT_EQ(v.text[U("me331")], U("7"));
    EXPECT_EQ(v.text[U("me351")], U("0"));
    EXPECT_EQ(v.text[U("me361")], U("12"));
    EXPECT_EQ(v.text[U("me313")], U("1,5")); // other columns untouched
    ASSERT_TRUE(CheckFieldExit(U("me313"), v));
    EXPECT_EQ(v.text[U("me313")], U("1,50"));
    EXPECT_EQ(v.text[U("me333")], U("0,00"));
    EXPECT_EQ(v.text[U("me363")], U("4,00"));

    FieldValues refused = v;
    refused.text[U("me322")] = U("1,5");
    refused.text[U("me312")] = U("9");
    EXPECT_FALSE(CheckFieldExit(U("me322"), refused));
    EXPECT_EQ(refused.text[U("me312")], U("9")); // nothing recomputed on refusal
    refused.text[U("me344")] = U("");
    EXPECT_FALSE(CheckFieldExit(U("me344"), refused));
}

TEST(FieldChecks, Section17AllowsOneGroszOfRoundingAndQuotesThePageLabels)
{
    EXPECT_TRUE(CheckSection17(section17(100.00, 50.00, 50.01)).ok);
    const PageCheck fails = CheckSection17(section17(100.00, 50.00, 50.02));
    EXPECT_FALSE(fails.ok);
    EXPECT_EQ(fails.focus, U("me1801"));
    EXPECT_EQ(fails.message,
              U("Pole: \"ogółem (bez amortyzacji środków trwałych)*\" ogółem nie może byc mniejsze od sumy pól "
                "składowych"));

    FieldValues two = section17(100.00, 50.00, 50.00);
    two.text[U("me1804")] = U("1,00"); // rule 2: me1802 < me1803 + me1804
    two.text[U("me1811")] = U("5,00"); // rule 5: me1810 < me1811
    const PageCheck both = CheckSection17(two);
    EXPECT_FALSE(both.ok);
    EXPECT_EQ(both.focus, U("me1802"));
    EXPECT_EQ(both.message,
              U("Pole: \"2) Nakłady bieżące na działalność B+R**\" ogółem nie może byc mniejsze od sumy pól "
                "składowych\nPole: \"b) środki z budżetu państwa, ogółem\" ogółem nie może byc mniejsze od sumy "
                "pól składowych"));
}

TEST(FieldChecks, AmountsWhoseBinaryValueIsBelowTheDecimalOneAreCountedInWholeGrosze)
{
    // 0,29 is stored as 0.28999…: three such parts make 0,87, which a total of 0,85 falls short of by two
    // grosze, beyond the one grosz of tolerance.
    FieldValues v = section17(0.85, 0.85, 0.00);
    v.text[U("me1803")] = U("0,29");
    v.text[U("me1804")] = U("0,29");
    v.text[U("me1805")] = U("0,29");
    const PageCheck shortTotal = CheckSection17(v);
    EXPECT_FALSE(shortTotal.ok);
    EXPECT_EQ(shortTotal.focus, U("me1802"));

    v.text[U("me1802")] = U("0,86"); // one grosz short: accepted
    v.text[U("me1801")] = U("0,86");
    EXPECT_TRUE(CheckSection17(v).ok);
}

TEST(FieldChecks, Section18HasRulesWithoutToleranceAndTwoMessageEndings)
{
    FieldValues v;
    for (int i = 1; i <= 13; ++i)
        v.text[QStringLiteral("me19%1").arg(i, 2, 10, QLatin1Char('0'))] = U("0,00");
    v.text[U("me1901")] = U("10,00");
    v.text[U("me1908")] = U("10,00");
    EXPECT_TRUE(CheckSection18(v).ok);
    v.text[U("me1909")] = U("10,01"); // rule 3 has no tolerance
    v.text[U("me1903")] = U("0,01");  // rule 2 tolerates one grosz
    PageCheck check = CheckSection18(v);
    ASSERT_FALSE(check.ok);
    EXPECT_EQ(check.focus, U("me1908"));
    EXPECT_TRUE(check.message.startsWith(U("Pole: \"c) przychody z tytułu umów")));
    EXPECT_TRUE(check.message.endsWith(U("bez udziału środków finansowych na naukę ogółem\" nie może byc mniejsze "
                                         "od sumy pól składowych")));
    EXPECT_FALSE(check.message.contains(u'\n'));

    v.text[U("me1909")] = U("0,00");
    v.text[U("me1913")] = U("1,00");
    v.text[U("me1903")] = U("0,02");
    check = CheckSection18(v);
    EXPECT_EQ(check.focus, U("me1902"));
    EXPECT_EQ(check.message,
              U("Pole: \"a) przychody ze środków finansowych na naukę, ogółem\" nie może byc mniejsze od sumy pól "
                "składowych\nPole: \"2) Inne przychody\" ogółem nie może byc mniejsze od sumy pól składowych"));
}

TEST(FieldChecks, PrepareSaveShowsTheMessageAndRefusesOrNormalisesSection3)
{
    vestrum::testing::ScriptedMessages messages;
    FixedClock clock{QDateTime()};
    Program program(messages, clock);

    FieldValues v = section17(1.00, 50.00, 0.00);
    EXPECT_FALSE(PrepareSave(program, 18, v).ok);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.requests[0].number, 0);
    EXPECT_TRUE(PrepareSave(program, 5, v).ok);

    FieldValues staff;
    for (int r = 1; r <= 5; ++r)
        for (int c = 1; c <= 4; ++c)
            staff.text[StaffField(r, c)] = U("1");
    staff.text[U("me352")] = U("?");
    EXPECT_TRUE(PrepareSave(program, 3, staff).ok);
    EXPECT_EQ(staff.text[U("me352")], U("0"));
    EXPECT_EQ(staff.text[U("me362")], U("4"));
    EXPECT_EQ(staff.text[U("me364")], U("5,00"));

    staff.text[U("me313")] = U("");
    const PageCheck refused = PrepareSave(program, 3, staff);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.focus, U("me313"));
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_EQ(messages.shown.last(), RefusalMessage());
}

TEST(FieldChecks, ListTotalsAreReadBackFromTheButtonCaptions)
{
    FieldValues v = texts({{"bb801", "liczba=12 -> wykaz"}, {"bb802", "wykaz (0 pozycji)"}, {"bb803", "liczba=3 -> wykaz"},
                           {"bb804", "liczba=0 -> wykaz"}, {"bb1501", "liczba=4 -> wykaz"}, {"bb1502", "liczba=10 -> wykaz"}});
    SumPublicationLists(v);
    SumProjectLists(v);
    EXPECT_EQ(v.text[U("me8")], U("15"));
    EXPECT_EQ(v.text[U("me1501")], U("14"));

    v.lines[U("lb032")] = QStringList{U("01.11.Z - Uprawa zbóż")};
    SwitchPkdVersion(v, 2004);
    EXPECT_TRUE(v.lines[U("lb032")].isEmpty());
    EXPECT_TRUE(v.checked[U("rb031")]);
    EXPECT_FALSE(v.checked[U("rb032")]);
}
