#pragma once

#include <QRect>
#include <QSize>

namespace vestrum {

// Where the preview shows its page in the view, in view pixels, and how the zoom commands move
// it. The page keeps its aspect ratio; every size is rounded to whole pixels.
class PreviewPlacement {
public:
    static constexpr double ZoomStep = 1.2;
    // Zooming in stops at this many times the fitted height, so that the page stays a size the
    // window system can scroll.
    static constexpr int MaximumZoom = 8;

    explicit PreviewPlacement(QSize pageSize) : pageSize_(pageSize) {}

    // The thickness of the view's scroll bars: a page taller than the view leaves that much less
    // width beside its bar, so the page is centred in, and the canvas fills, only what is left.
    void setScrollBarExtent(int extent) { scrollBarExtent_ = extent; }

    void open(QSize view);    // view height − 8, 4 pixels from the top
    void fit(QSize view);     // view height − 16, 8 pixels from the top
    bool zoomIn(QSize view);  // false when already at the largest size
    void zoomOut(QSize view); // back to the fitted size once shorter than the view
    void resized(QSize view);

    QRect page() const { return page_; }
    // The area to scroll over: the view, or the page and 8 pixels after it when it is larger.
    QSize canvas(QSize view) const;

private:
    int widthFor(int height) const;
    void setHeight(int height);
    void centreWhereSmaller(QSize view);
    void centreAcross(QSize view);
    // The part of the view the page is shown in once the scroll bars the page needs are in place.
    QSize visible(QSize view) const;

    QSize pageSize_;
    QRect page_;
    int scrollBarExtent_ = 0;
};

} // namespace vestrum
