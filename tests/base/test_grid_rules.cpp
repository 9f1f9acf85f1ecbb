#include "base/grid_rules.h"

#include <gtest/gtest.h>

using namespace vestrum::grid;

TEST(GridRules, SortMarkerMovesBetweenHeaders)
{
    QStringList headers{QStringLiteral("kod"), QStringLiteral("* dyscyplina")};
    MarkSortColumn(headers, 0);
    EXPECT_EQ(headers, (QStringList{QStringLiteral("* kod"), QStringLiteral("dyscyplina")}));
    EXPECT_EQ(SortColumnOf(headers), 0);
    MarkSortColumn(headers, 0); // marking again never doubles the prefix
    ASSERT_EQ(headers.size(), 2);
    EXPECT_EQ(headers.first(), QStringLiteral("* kod"));
}

TEST(GridRules, SortIsStableAndIgnoresCase)
{
    std::vector<QStringList> rows{{QStringLiteral("b"), QStringLiteral("1")},
                                  {QStringLiteral("A"), QStringLiteral("2")},
                                  {QStringLiteral("a"), QStringLiteral("3")},
                                  {QStringLiteral("B"), QStringLiteral("4")},
                                  {QStringLiteral("a")}};
    SortRows(rows, 0);
    QStringList order;
    for (const auto& r : rows)
        order << r.value(1);
    EXPECT_EQ(order, (QStringList{QStringLiteral("2"), QStringLiteral("3"), QString(), QStringLiteral("1"),
                                  QStringLiteral("4")}));
    // A short row sorts as empty text rather than failing.
    SortRows(rows, 1, CaseFold::Ascii);
    ASSERT_FALSE(rows.empty());
    EXPECT_TRUE(rows.front().value(1).isEmpty());
}

TEST(GridRules, SearchTakesTheFirstRowFromTheTop)
{
    std::vector<QStringList> rows{{QStringLiteral("17"), QStringLiteral("geofizyka")},
                                  {QStringLiteral("25"), QStringLiteral("Fizyka")}};
    EXPECT_EQ(FindFirstContaining(rows, 1, QStringLiteral("FIZYK")), 0);
    EXPECT_EQ(FindFirstContaining(rows, 0, QStringLiteral("25")), 1);
    EXPECT_EQ(FindFirstContaining(rows, 1, QStringLiteral("chemia")), -1);
    EXPECT_EQ(FindFirstContaining(rows, 1, QString()), -1);
}

TEST(GridRules, FitWidthsWithoutScaling)
{
    // Texts fit: widest + 8 each, an empty column 8, nothing shortened.
    EXPECT_EQ(FitColumnWidths({40, 0, 100}, {30, 0, 20}, 496), (std::vector<int>{48, 8, 108}));
    // Columns that fit the grid but not beside its scroll bar are scaled too: 180 > 190 - 24.
    const std::vector<int> widths = FitColumnWidths({60, 60, 36}, {0, 0, 0}, 190);
    EXPECT_LE(widths[0] + widths[1] + widths[2], 190 - 24);
}

TEST(GridRules, FitWidthsScalesDownButKeepsHeadersReadable)
{
    // 1008 + 408 + 28 = 1444 > 396 - 24: scaled by (396 - 24) / 1444.
    const std::vector<int> widths = FitColumnWidths({1000, 400, 20}, {50, 60, 20}, 396);
    ASSERT_EQ(widths.size(), 3u);
    // 1008 * 372 / 1444 = 259.68 and 408 * 372 / 1444 = 105.1; the third, 7 after scaling, is
    // widened back to its header + 8, and the 20 pixels that puts past 372 come off the first two.
    EXPECT_EQ(widths[0], 242);
    EXPECT_EQ(widths[1], 102);
    EXPECT_EQ(widths[2], 28);
    const std::vector<int> headers{50, 60, 20};
    for (size_t i = 0; i < widths.size(); ++i)
        EXPECT_GE(widths[i], headers[i] + 8);
}

TEST(GridRules, FitWidthsWidenedToHeadersStillLeaveRoomForTheScrollBar)
{
    // Scaled into 276 the last two fall below their headers (31 < 68); widening them takes the
    // difference off the first two, never below their own headers.
    const std::vector<int> widths = FitColumnWidths({400, 300, 100, 100}, {40, 80, 60, 60}, 300);
    ASSERT_EQ(widths.size(), 4u);
    EXPECT_EQ(widths[0] + widths[1] + widths[2] + widths[3], 300 - 24);
    EXPECT_GE(widths[0], 48);
    EXPECT_GE(widths[1], 88);
    EXPECT_EQ(widths[2], 68);
    EXPECT_EQ(widths[3], 68);
    // Headers that cannot fit at all stay whole: the grid scrolls sideways.
    EXPECT_EQ(FitColumnWidths({100, 100}, {100, 100}, 150), (std::vector<int>{108, 108}));
}

TEST(GridRules, FitWidthsTakesRoundingExcessOffTheWidestColumn)
{
    // With equal columns the first is the widest; the scaled sum never exceeds client - 24.
    const std::vector<int> widths = FitColumnWidths({92, 92, 92}, {0, 0, 0}, 127);
    int sum = 0;
    for (int w : widths)
        sum += w;
    EXPECT_LE(sum, 127 - 24);
    ASSERT_EQ(widths.size(), 3u);
    EXPECT_EQ(widths[1], widths[2]);
    EXPECT_LE(widths[0], widths[1]);
}
