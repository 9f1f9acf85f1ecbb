#pragma once

#include <QFont>
#include <QLine>
#include <QRect>
#include <QSizeF>
#include <QString>

#include <optional>

class QPagedPaintDevice;

namespace vestrum {

// Alignment of the header and footer lines.
enum class TMy_Align { mal_left, mal_center, mal_right };

// What a paged document carries besides its text: header and footer lines with their fonts,
// bands and rules, and the margins of the text area. Lengths are millimetres, rules a
// percentage of the text width (0 or less draws none). The fonts are values, so a layout owns
// copies of them. `pageRect` (device pixels), when not empty, takes the place of the printable
// page: the margins are then measured from its edges.
struct PageLayout {
    bool header_lock = false; // kept with the header settings; nothing reads it
    QString header_text;
    int header_height = 0;
    TMy_Align header_align = TMy_Align::mal_left;
    QFont header_Font;
    int header_line = 0;

    bool footer_lock = false;
    QString footer_text; // every "&p" becomes the page number
    int footer_height = 0;
    TMy_Align footer_align = TMy_Align::mal_left;
    QFont footer_Font;
    int footer_line = 0;

    int Margin_left = 0;
    int Margin_right = 0;
    int Margin_top = 0;
    int Margin_bottom = 0;

    QRect pageRect;
};

// The printable page of a device: its size in device pixels and in millimetres, and the
// vertical resolution the header and footer fonts are sized with.
struct PageMetrics {
    QSize pixels;
    QSizeF millimetres;
    int dpiY = 72;

    // The printable area of a printer or a PDF writer, as a painter on it sees it.
    static PageMetrics of(const QPagedPaintDevice& device);
};

// Where everything goes on one page, in device pixels with the origin at the top left corner
// of the printable page.
struct PageGeometry {
    double pixelsPerMmX = 0;
    double pixelsPerMmY = 0;
    QRect textArea;
    QRect headerBand;
    QRect footerBand;
    std::optional<QLine> headerRule;
    std::optional<QLine> footerRule;
    QFont headerFont; // sized in device pixels
    QFont footerFont;
};

// The text area must be at least this high and wide, so that every page takes some text.
inline constexpr int MinimumTextAreaMm = 10;

// Computes the page's geometry; throws Error with the user's message when the margins leave a
// text area under MinimumTextAreaMm in either direction.
PageGeometry computePageGeometry(const PageLayout& layout, const PageMetrics& metrics);

// The footer (or header) line of a page: every "&p" replaced by the page number.
QString pageLineText(const QString& text, int pageNumber);

// The header and footer font sized for a device: minus the nearest integer to
// (pixels per inch × points ÷ 72) in pixels.
QFont fontForDevice(const QFont& font, int dpiY);

} // namespace vestrum
