#include "print/preview_placement.h"

#include <gtest/gtest.h>

using namespace vestrum;

namespace {
const QSize A4Page(2100, 2970);
const QSize View(1000, 808);
} // namespace

TEST(PreviewPlacement, OpensAndFitsCentredUnderTheTop)
{
    PreviewPlacement placement(A4Page);
    placement.open(View);
    EXPECT_EQ(placement.page(), QRect(500 - 283, 4, 566, 800)); // 800 × 2100 / 2970 = 565.66
    EXPECT_EQ(placement.canvas(View), View);                      // nothing to scroll
    placement.fit(View);
    EXPECT_EQ(placement.page(), QRect(500 - 280, 8, 560, 792));
}

TEST(PreviewPlacement, ZoomsByOnePointTwoAndSnapsBackToFit)
{
    PreviewPlacement placement(A4Page);
    placement.fit(View);
    ASSERT_TRUE(placement.zoomIn(View));
    EXPECT_EQ(placement.page().size(), QSize(672, 950));
    EXPECT_EQ(placement.page().topLeft(), QPoint(164, 8)); // narrower than the view: centred
    ASSERT_TRUE(placement.zoomIn(View));
    EXPECT_EQ(placement.page().size(), QSize(806, 1140));
    EXPECT_EQ(placement.canvas(View), QSize(1000, 8 + 1140 + 8));

    placement.zoomOut(View);
    EXPECT_EQ(placement.page().size(), QSize(672, 950)); // still taller than the view
    placement.zoomOut(View);
    EXPECT_EQ(placement.page(), QRect(220, 8, 560, 792)); // 792 < 808: fitted again
}

TEST(PreviewPlacement, ZoomingInStopsAtItsLimitAndResizingRefits)
{
    PreviewPlacement placement(A4Page);
    placement.fit(View);
    int steps = 0;
    while (placement.zoomIn(View))
        ++steps;
    EXPECT_EQ(steps, 11); // 792 × 1.2^11 ≈ 5882 ≤ 8 × 792 < 792 × 1.2^12
    EXPECT_LE(placement.page().height(), PreviewPlacement::MaximumZoom * 792);

    placement.resized(QSize(1000, 8000)); // now lower than the fitted size of a tall view
    EXPECT_EQ(placement.page().height(), 8000 - 16);
}

TEST(PreviewPlacement, APageTallerThanTheViewLeavesRoomForTheVerticalBar)
{
    PreviewPlacement placement(A4Page);
    placement.setScrollBarExtent(16);
    placement.fit(View);
    EXPECT_EQ(placement.canvas(View), View); // fits: no bar, the whole view
    ASSERT_TRUE(placement.zoomIn(View));
    // 950 pixels high scroll down; the 672 wide page must fit beside the bar, not under it.
    EXPECT_EQ(placement.canvas(View), QSize(1000 - 16, 8 + 950 + 8));
    EXPECT_EQ(placement.page().left(), (1000 - 16 - 672) / 2);
    placement.zoomOut(View);
    EXPECT_EQ(placement.canvas(View), View);
    while (placement.zoomIn(View)) {
    }
    // Wider than the view too: both bars, and the canvas covers the whole page either way.
    EXPECT_GT(placement.canvas(View).width(), placement.page().right());
    EXPECT_GT(placement.canvas(View).height(), placement.page().bottom());
}
