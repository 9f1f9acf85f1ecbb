#include "print/page_layout.h"

#include "base/error.h"

#include <QPageLayout>
#include <QPagedPaintDevice>

#include <cmath>

namespace vestrum {

PageMetrics PageMetrics::of(const QPagedPaintDevice& device)
{
    PageMetrics metrics;
    metrics.pixels = QSize(device.width(), device.height());
    metrics.millimetres = device.pageLayout().paintRect(QPageLayout::Millimeter).size();
    metrics.dpiY = device.logicalDpiY();
    return metrics;
}

namespace {

// Millimetres to device pixels along one axis, to the nearest pixel.
int toPixels(double millimetres, double pixelsPerMm) { return static_cast<int>(std::lround(millimetres * pixelsPerMm)); }

std::optional<QLine> centredRule(int percent, int textWidth, const QRect& page, int y)
{
    if (percent <= 0)
        return std::nullopt;
    const int length = static_cast<int>(std::lround(textWidth * percent / 100.0));
    const int left = page.left() + (page.width() - length) / 2;
    return QLine(left, y, left + length, y);
}

} // namespace

QFont fontForDevice(const QFont& font, int dpiY)
{
    QFont sized = font;
    if (font.pointSizeF() > 0)
        sized.setPixelSize(static_cast<int>(std::lround(dpiY * font.pointSizeF() / 72.0)));
    return sized;
}

QString pageLineText(const QString& text, int pageNumber)
{
    QString line = text;
    return line.replace(QStringLiteral("&p"), QString::number(pageNumber));
}

PageGeometry computePageGeometry(const PageLayout& layout, const PageMetrics& metrics)
{
    PageGeometry g;
    if (metrics.millimetres.width() <= 0 || metrics.millimetres.height() <= 0)
        throw Error(QStringLiteral("Nie można ustalić rozmiaru strony drukarki."));
    g.pixelsPerMmX = metrics.pixels.width() / metrics.millimetres.width();
    g.pixelsPerMmY = metrics.pixels.height() / metrics.millimetres.height();
    const auto mmX = [&](double mm) { return toPixels(mm, g.pixelsPerMmX); };
    const auto mmY = [&](double mm) { return toPixels(mm, g.pixelsPerMmY); };

    const QRect page = layout.pageRect.isEmpty() ? QRect(QPoint(0, 0), metrics.pixels) : layout.pageRect;
    const int left = page.left() + mmX(layout.Margin_left);
    const int right = page.left() + page.width() - mmX(layout.Margin_right);
    const int top = page.top() + mmY(layout.Margin_top);
    const int bottom = page.top() + page.height() - mmY(layout.Margin_bottom);
    // A text area this small would take no line at all and the pages would never end.
    if (right - left < mmX(MinimumTextAreaMm) || bottom - top < mmY(MinimumTextAreaMm))
        throw Error(QStringLiteral("Marginesy strony są zbyt duże - na tekst zostaje mniej niż %1 mm.\n"
                                   "Wydruk nie jest możliwy.")
                        .arg(MinimumTextAreaMm));
    g.textArea = QRect(left, top, right - left, bottom - top);

    const int headerTop = page.top() + mmY(std::max(0, layout.Margin_top - layout.header_height));
    g.headerBand = QRect(left, headerTop, right - left, std::max(0, top - headerTop));
    const int footerTop = page.top() + page.height() - mmY(std::max(0, layout.Margin_bottom - layout.footer_height));
    g.footerBand = QRect(left, footerTop, right - left, page.top() + page.height() - footerTop);

    g.headerRule = centredRule(layout.header_line, g.textArea.width(), page, page.top() + mmY(layout.header_height));
    g.footerRule = centredRule(layout.footer_line, g.textArea.width(), page,
                               page.top() + page.height() - mmY(layout.footer_height));
    g.headerFont = fontForDevice(layout.header_Font, metrics.dpiY);
    g.footerFont = fontForDevice(layout.footer_Font, metrics.dpiY);
    return g;
}

} // namespace vestrum
