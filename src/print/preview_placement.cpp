#include "print/preview_placement.h"

#include <algorithm>
#include <cmath>

namespace vestrum {

namespace {

constexpr int Offset = 8;

int rounded(double value) { return static_cast<int>(std::lround(value)); }

int fittedHeight(QSize view) { return std::max(1, view.height() - 2 * Offset); }

} // namespace

int PreviewPlacement::widthFor(int height) const
{
    if (pageSize_.height() <= 0)
        return height;
    return std::max(1, rounded(double(height) * pageSize_.width() / pageSize_.height()));
}

void PreviewPlacement::setHeight(int height) { page_.setSize(QSize(widthFor(height), height)); }

void PreviewPlacement::open(QSize view)
{
    setHeight(std::max(1, view.height() - Offset));
    page_.moveTo((view.width() - page_.width()) / 2, Offset / 2);
}

void PreviewPlacement::fit(QSize view)
{
    setHeight(fittedHeight(view));
    page_.moveTo((view.width() - page_.width()) / 2, Offset);
}

QSize PreviewPlacement::visible(QSize view) const
{
    const bool scrollsDown = page_.height() + Offset > view.height();
    const bool scrollsAcross = page_.width() + Offset > view.width() - (scrollsDown ? scrollBarExtent_ : 0);
    return QSize(view.width() - (scrollsDown ? scrollBarExtent_ : 0),
                 view.height() - (scrollsAcross ? scrollBarExtent_ : 0));
}

void PreviewPlacement::centreAcross(QSize view)
{
    const int width = visible(view).width();
    page_.moveLeft(page_.width() < width ? (width - page_.width()) / 2 : Offset);
}

void PreviewPlacement::centreWhereSmaller(QSize view)
{
    centreAcross(view);
    page_.moveTop(page_.height() < view.height() ? (view.height() - page_.height()) / 2 : Offset);
}

bool PreviewPlacement::zoomIn(QSize view)
{
    const int height = rounded(page_.height() * ZoomStep);
    if (height > MaximumZoom * fittedHeight(view))
        return false;
    page_.setSize(QSize(rounded(page_.width() * ZoomStep), height));
    centreWhereSmaller(view);
    return true;
}

void PreviewPlacement::zoomOut(QSize view)
{
    const int height = rounded(page_.height() / ZoomStep);
    if (height < view.height()) {
        fit(view);
        return;
    }
    page_.setSize(QSize(rounded(page_.width() / ZoomStep), height));
    page_.moveTop(Offset);
    centreAcross(view);
}

void PreviewPlacement::resized(QSize view)
{
    if (page_.height() < fittedHeight(view)) {
        fit(view);
        return;
    }
    page_.moveTop(Offset);
    centreAcross(view);
}

QSize PreviewPlacement::canvas(QSize view) const
{
    // A page that fits the view scrolls nowhere; a larger one gets the offset after it too.
    // Where the other direction scrolls, its bar takes room from the view.
    const QSize shown = visible(view);
    const auto extent = [](int end, int viewLength) { return end > viewLength ? end + Offset : viewLength; };
    return QSize(extent(page_.right() + 1, shown.width()), extent(page_.bottom() + 1, shown.height()));
}

} // namespace vestrum
