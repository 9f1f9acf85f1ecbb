#include "base/error.h"
#include "print/page_layout.h"
#include "print/print_range.h"

#include <gtest/gtest.h>

using namespace vestrum;

namespace {

// An A4 page at exactly 10 pixels per millimetre (254 dpi).
PageMetrics a4AtTenPixelsPerMm() { return {QSize(2100, 2970), QSizeF(210, 297), 254}; }

PageLayout reportLayout()
{
    PageLayout layout;
    layout.header_text = QStringLiteral("Vestrum za rok 2008");
    layout.header_height = 15;
    layout.header_line = 100;
    layout.header_Font = QFont(QStringLiteral("Times New Roman"), 9, QFont::Bold);
    layout.footer_text = QStringLiteral("strona &p");
    layout.footer_height = 15;
    layout.footer_line = 70;
    layout.footer_Font = QFont(QStringLiteral("Times New Roman"), 8);
    layout.Margin_left = layout.Margin_right = layout.Margin_top = layout.Margin_bottom = 20;
    return layout;
}

} // namespace

TEST(PageGeometry, PlacesTextBandsAndRulesOnAKnownPage)
{
    const PageGeometry g = computePageGeometry(reportLayout(), a4AtTenPixelsPerMm());
    EXPECT_DOUBLE_EQ(g.pixelsPerMmX, 10.0);
    EXPECT_EQ(g.textArea, QRect(200, 200, 1700, 2570));
    // The header line sits in the band above the top margin, its rule header_height from the top.
    EXPECT_EQ(g.headerBand, QRect(200, 50, 1700, 150));
    ASSERT_TRUE(g.headerRule);
    EXPECT_EQ(*g.headerRule, QLine(200, 150, 1900, 150)); // 100 % spans exactly the text width
    // The footer line sits in the last (margin - footer height) mm, its rule footer_height above the bottom.
    EXPECT_EQ(g.footerBand, QRect(200, 2920, 1700, 50));
    ASSERT_TRUE(g.footerRule);
    EXPECT_EQ(*g.footerRule, QLine(455, 2820, 1645, 2820)); // 70 % of 1700, centred
    EXPECT_EQ(g.headerFont.pixelSize(), 32); // 254 dpi × 9 pt ÷ 72 = 31.75
    EXPECT_EQ(g.footerFont.pixelSize(), 28);
    EXPECT_TRUE(g.headerFont.bold());
}

TEST(PageGeometry, NoRuleAtZeroAndMarginsFromAGivenPageRectangle)
{
    PageLayout layout = reportLayout();
    layout.header_line = 0;
    layout.footer_line = -5;
    layout.pageRect = QRect(100, 100, 1000, 1000);
    // Four different margins, so none can pass for another.
    layout.Margin_left = 20;
    layout.Margin_right = 30;
    layout.Margin_top = 25;
    layout.Margin_bottom = 40;
    const PageGeometry g = computePageGeometry(layout, a4AtTenPixelsPerMm());
    EXPECT_FALSE(g.headerRule);
    EXPECT_FALSE(g.footerRule);
    EXPECT_EQ(g.textArea, QRect(300, 350, 500, 350));
    EXPECT_EQ(g.headerBand, QRect(300, 200, 500, 150));
    EXPECT_EQ(g.footerBand, QRect(300, 850, 500, 250));
}

TEST(PageGeometry, RefusesATextAreaUnderTenMillimetres)
{
    PageLayout layout = reportLayout();
    layout.Margin_left = layout.Margin_right = 100; // exactly 10 mm left
    EXPECT_NO_THROW(computePageGeometry(layout, a4AtTenPixelsPerMm()));
    layout.Margin_right = 101;
    EXPECT_THROW(computePageGeometry(layout, a4AtTenPixelsPerMm()), Error);
    layout.Margin_right = 20;
    layout.Margin_top = 150;
    layout.Margin_bottom = 140;
    EXPECT_THROW(computePageGeometry(layout, a4AtTenPixelsPerMm()), Error);
}

TEST(PageGeometry, ReplacesEveryPageMarker)
{
    EXPECT_EQ(pageLineText(QStringLiteral("strona &p z &p"), 12), QStringLiteral("strona 12 z 12"));
    EXPECT_EQ(pageLineText(QStringLiteral("A & B"), 3), QStringLiteral("A & B"));
}

TEST(PrintRangeRules, OddAndEvenPagesOfTwoToSeven)
{
    EXPECT_EQ(printRange(PageParity::Odd, false, 2, 7, 10).pages(), QList<int>({3, 5, 7}));
    EXPECT_EQ(printRange(PageParity::Even, false, 2, 7, 10).pages(), QList<int>({2, 4, 6}));
    EXPECT_EQ(printRange(PageParity::All, false, 2, 7, 10).pages(), QList<int>({2, 3, 4, 5, 6, 7}));
}

TEST(PrintRangeRules, StaysWithinTheDocument)
{
    // "wszystko" ignores whatever the disabled fields hold.
    EXPECT_EQ(printRange(PageParity::All, true, 0, 9999, 3).pages(), QList<int>({1, 2, 3}));
    EXPECT_EQ(printRange(PageParity::Odd, false, 0, 9999, 6).pages(), QList<int>({1, 3, 5}));
    // Page 0 raised to 1 would be odd; the even range starts at 2.
    EXPECT_EQ(printRange(PageParity::Even, false, 0, 5, 6).pages(), QList<int>({2, 4}));
}

TEST(PrintRangeRules, RangesWithoutAPageAreEmpty)
{
    EXPECT_TRUE(printRange(PageParity::All, false, 5, 4, 10).isEmpty());
    EXPECT_TRUE(printRange(PageParity::All, false, 11, 20, 10).isEmpty());
    EXPECT_TRUE(printRange(PageParity::Even, false, 1, 1, 10).isEmpty());
    EXPECT_TRUE(printRange(PageParity::Odd, false, 4, 4, 10).isEmpty());
    EXPECT_TRUE(printRange(PageParity::All, false, 0, 0, 10).isEmpty());
}
