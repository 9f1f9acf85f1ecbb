#pragma once

#include "print/page_layout.h"

#include <QPicture>

#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPainter;
class QTextDocument;

namespace vestrum {

// How a report reaches paper or PDF, without any window:
//
//   QTextDocument report;                 // styled runs written with QTextCursor
//   PageLayout layout;                    // header/footer text, fonts, heights, rules, margins
//   layout.footer_text = "strona &p";
//   writePdf(report, layout, "raport.pdf");                 // A4 portrait, no printer needed
//
//   PagedDocument pages(report, layout, printerOrPdfWriter); // laid out for that device
//   pages.pageCount(); pages.paintPage(painter, n);          // print page n (1-based)
//   pages.recordPage(n);                                     // a QPicture for a preview
//
// The document is copied and laid out for the target device (its resolution, not the screen's),
// so what a preview shows is what the printer gets. A vestrum-cli command needs a QGuiApplication
// (the offscreen platform will do) for fonts.
class PagedDocument {
public:
    // Lays a copy of `source` out into the text area of `device`'s page. Throws Error when the
    // margins leave no usable text area.
    PagedDocument(const QTextDocument& source, const PageLayout& layout, QPagedPaintDevice& device);
    PagedDocument(const QTextDocument& source, const PageLayout& layout, QPaintDevice& device,
                  const PageMetrics& metrics);
    ~PagedDocument();

    PagedDocument(const PagedDocument&) = delete;
    PagedDocument& operator=(const PagedDocument&) = delete;

    int pageCount() const;
    const PageGeometry& geometry() const { return geometry_; }
    QSize pageSize() const { return pagePixels_; } // the printable page, device pixels

    // Draws page `pageNumber` (from 1): header line and rule, its part of the text, footer line
    // with the page number and rule. The painter's origin is the printable page's top left.
    void paintPage(QPainter& painter, int pageNumber) const;

    // The same page as a vector recording, to show scaled and to replay on a printer.
    QPicture recordPage(int pageNumber) const;

private:
    void paintBand(QPainter& painter, const QRect& band, const QFont& font, TMy_Align align,
                   const QString& text) const;
    void paintRule(QPainter& painter, const std::optional<QLine>& rule) const;
    void paintText(QPainter& painter, int pageNumber) const;

    PageLayout layout_;
    PageGeometry geometry_;
    QSize pagePixels_;
    std::unique_ptr<QTextDocument> document_;
};

// Draws a recorded page with its top left corner at the painter's origin, `scale` device pixels
// of the target per pixel of the page. A picture played on a device of another resolution is
// enlarged by the ratio of the resolutions; this takes that back out.
void playPage(QPainter& painter, const QPicture& page, double scale = 1.0);

// Called after each page with the page number and the page count; false stops the job.
using PageProgress = std::function<bool(int page, int pageCount)>;

// Writes the document's pages (header, footer, rules, page numbers) into a PDF file at A4
// portrait with selectable text and embedded fonts. The file appears only when every page is
// written; a stopped or failed job leaves what was there before. Throws Error on failure.
// Returns the number of pages written, 0 when `progress` stopped the job.
int writePdf(const QTextDocument& document, const PageLayout& layout, const QString& path,
             const PageProgress& progress = {});

} // namespace vestrum
