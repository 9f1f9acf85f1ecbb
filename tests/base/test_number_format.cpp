#include "base/number_format.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace vestrum::numbers;

namespace {
QString U(const char* utf8) { return QString::fromUtf8(utf8); }
} // namespace

TEST(NumberFormat, IntegersAreDigitsWithAnOptionalSignAndFitIn32Bits)
{
    EXPECT_EQ(ParseInteger(U("007")), 7);
    EXPECT_EQ(ParseInteger(U("-12")), -12);
    EXPECT_EQ(ParseInteger(U("+5")), 5);
    EXPECT_EQ(ParseInteger(U("2147483647")), 2147483647);
    EXPECT_EQ(ParseInteger(U("-2147483648")), -2147483647 - 1);
    for (const char* bad : {"", "-", "1,5", "1.5", " 12", "12 ", "2147483648", "99999999999999999999", "1e3", "0x10"})
        EXPECT_FALSE(ParseInteger(U(bad)).has_value()) << bad;
    EXPECT_EQ(IntegerOrZero(U("  42\t")), 42);
    EXPECT_EQ(IntegerOrZero(U("4x")), 0);
}

TEST(NumberFormat, DecimalsUseACommaAndNeverADot)
{
    EXPECT_DOUBLE_EQ(*ParseDecimal(U("12,5")), 12.5);
    EXPECT_DOUBLE_EQ(*ParseDecimal(U("-0,25")), -0.25);
    EXPECT_DOUBLE_EQ(*ParseDecimal(U("7")), 7.0);
    EXPECT_DOUBLE_EQ(*ParseDecimal(U(",5")), 0.5);
    EXPECT_DOUBLE_EQ(*ParseDecimal(U("1,5E3")), 1500.0);
    for (const char* bad : {"", "12.5", "1 000,00", ",", "-", "1e", "abc", "12,5zł", "1e999"})
        EXPECT_FALSE(ParseDecimal(U(bad)).has_value()) << bad;
    EXPECT_DOUBLE_EQ(DecimalOrZero(U(" 3,25 ")), 3.25);
    EXPECT_DOUBLE_EQ(DecimalOrZero(U("3.25")), 0.0);
}

TEST(NumberFormat, AmountsHaveTwoDecimalsACommaAndNoThousandsSeparator)
{
    EXPECT_EQ(FormatAmount(12.5), U("12,50"));
    EXPECT_EQ(FormatAmount(1234567.891), U("1234567,89"));
    EXPECT_EQ(FormatAmount(0.0), U("0,00"));
    EXPECT_EQ(FormatAmount(-0.001), U("0,00"));
    EXPECT_EQ(FormatAmount(-3.5), U("-3,50"));
    // Rounding follows the binary value exactly, as printf's does: 2.675 is stored just below it.
    for (const double value : {2.675, 1.005, 0.125, 0.375, -2.675, 1e15 + 0.3, 1e22, -1e300, 1.7976931348623157e308}) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%.2f", value);
        EXPECT_EQ(FormatAmount(value), QString::fromLatin1(expected).replace(u'.', u',')) << expected;
    }
    EXPECT_EQ(ToCents(100.01), 10001);
    EXPECT_EQ(ToCents(50.0) + ToCents(50.01), 10001); // no binary rounding in sums of amounts
    // Amounts whose binary value lies just below the decimal one still count as their decimal grosze.
    for (const auto& [text, cents] : {std::pair{"0,29", 29}, {"1,15", 115}, {"4,35", 435}, {"-0,29", -29}})
        EXPECT_EQ(ToCents(*ParseDecimal(U(text))), cents) << text;
}

TEST(NumberFormat, TrimmingStopsAtU0020SoANoBreakSpaceStays)
{
    EXPECT_EQ(TrimBlanks(U("\t a b \r\n")), U("a b"));
    EXPECT_EQ(TrimBlanks(U("\u00A035.1 ")), U("\u00A035.1"));
    EXPECT_TRUE(IsBlank(U(" \t\n")));
    EXPECT_FALSE(IsBlank(U("\u00A0")));
}

TEST(NumberFormat, DatesAreNormalisedToDayMonthAndFourDigitYear)
{
    EXPECT_EQ(NormaliseDate(U("5/3/2004")), U("05/03/2004"));
    EXPECT_EQ(NormaliseDate(U("05/03/20041")), U("05/03/2004")); // only four year characters are read
    EXPECT_EQ(NormaliseDate(U("29/2/2004")), U("29/02/2004"));
    EXPECT_EQ(NormaliseDate(U("1/1/7")), U("01/01/0007"));
    for (const char* bad : {"31/02/2004", "29/02/2005", "5-3-2004", "5/3", "/3/2004", "5/13/2004", "0/1/2004",
                            "5/3/0", "a/3/2004", "5/3/20x4"})
        EXPECT_FALSE(NormaliseDate(U(bad)).has_value()) << bad;
}

TEST(NumberFormat, PostalCodesKeepTwoAndThreeDigitsAroundADash)
{
    EXPECT_EQ(NormalisePostalCode(U("00-950")), U("00-950"));
    EXPECT_EQ(NormalisePostalCode(U("00 950")), U("00-950"));
    EXPECT_EQ(NormalisePostalCode(U("00950")), U("00-050")); // the third character is always dropped
    EXPECT_EQ(NormalisePostalCode(U("31-1")), U("31-001"));
    // Exactly three characters are read after the separator: a longer code never keeps its extra digits,
    // and a blank after the fifth digit is not part of the code.
    EXPECT_EQ(NormalisePostalCode(U("12-3456")), U("12-345"));
    EXPECT_EQ(NormalisePostalCode(U("12-345 ")), U("12-345"));
    for (const char* bad : {"0-950", "00-", "0", "ab-123", "00-9a0", "-1-950"})
        EXPECT_FALSE(NormalisePostalCode(U(bad)).has_value()) << bad;
}
