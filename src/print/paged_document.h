#pragma once

#include "print/page_layout.h"

#include <QPicture>
#include <QTextFormat>

#include <functional>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class QTextBlock;
class QTextDocument;

namespace vestrum {

// What a document tells its pagination and its PDF, kept in the document itself (block and root
// frame properties), so that every path that prints it — the preview, a printer job, a PDF saved
// from the window or written headless — reads the same marks.
//
// A paragraph marked KeepWithNext goes to the next page together with the first line of the
// paragraph after it (a heading never stands alone at the foot of a page). A paragraph may open
// bookmarks of the PDF's outline; each has a title and a depth (0 at the top, 1 for the items
// nested in the last item of depth 0, and so on).
inline constexpr int KeepWithNextProperty = QTextFormat::UserProperty + 0x3501;
inline constexpr int OutlineProperty = QTextFormat::UserProperty + 0x3502;

struct OutlineItem {
    QString title;
    int depth = 0;
    int page = 1; // filled in by the pagination

    bool operator==(const OutlineItem&) const = default;
};

void markKeepWithNext(QTextBlock block);
void addOutlineItem(QTextBlock block, const QString& title, int depth);

// The document information of a PDF; empty fields are left out. The creator is always the program.
struct PdfInfo {
    QString title;
    QString author;
    QString subject;
};

void setPdfInfo(QTextDocument& document, const PdfInfo& info);
PdfInfo pdfInfo(const QTextDocument& document);

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
    // The page (from 1) on which the text at `position` is drawn.
    int pageOfPosition(int position) const;
    // The bookmarks the paragraphs open, in document order, each with the page it lies on.
    std::vector<OutlineItem> outline() const;
    const PageGeometry& geometry() const { return geometry_; }
    QSize pageSize() const { return pagePixels_; } // the printable page, device pixels

    // Draws page `pageNumber` (from 1): header line and rule, its part of the text, footer line
    // with the page number and rule. The painter's origin is the printable page's top left.
    void paintPage(QPainter& painter, int pageNumber) const;

    // The same page as a vector recording, to show scaled and to replay on a printer.
    QPicture recordPage(int pageNumber) const;

private:
    // One line of the laid-out text: its paragraph, its number in the paragraph, where it lies.
    struct Line {
        int block = 0;
        int line = 0;
        qreal top = 0;
        qreal bottom = 0;
    };
    struct Page {
        int firstLine = 0; // index into lines_
        int endLine = 0;
        qreal top = 0; // where the page's first line lies in the unbroken text
    };

    void collectLines();
    void paginate(const std::vector<bool>& keepWithNext);
    int breakBefore(int line, int pageStart, const std::vector<bool>& keepWithNext) const;

    void paintBand(QPainter& painter, const QRect& band, const QFont& font, TMy_Align align,
                   const QString& text) const;
    void paintRule(QPainter& painter, const std::optional<QLine>& rule) const;
    void paintText(QPainter& painter, int pageNumber) const;

    PageLayout layout_;
    PageGeometry geometry_;
    QSize pagePixels_;
    std::unique_ptr<QTextDocument> document_;
    std::vector<Line> lines_;
    std::vector<Page> pages_;
    std::vector<OutlineItem> outline_; // pages filled once the pages are known
    std::vector<int> outlineBlocks_;   // the paragraph each bookmark opens
};

// Draws a recorded page with its top left corner at the painter's origin, `scale` device pixels
// of the target per pixel of the page. A picture played on a device of another resolution is
// enlarged by the ratio of the resolutions; this takes that back out.
void playPage(QPainter& painter, const QPicture& page, double scale = 1.0);

// Called after each page with the page number and the page count; false stops the job.
using PageProgress = std::function<bool(int page, int pageCount)>;

// Writes the document's pages (header, footer, rules, page numbers) into a PDF/A-1b file at A4
// portrait with selectable text (each letter as typed, no ligatures) and embedded fonts, its
// document information (pdfInfo) repeated in its XMP metadata, its outline, the Polish language
// and the title shown by viewers. The file appears only when it is whole; a stopped or failed job leaves what was there
// before, and a target the user marked read-only is refused. Throws Error on failure. Returns the
// number of pages written, 0 when `progress` stopped the job.
int writePdf(const QTextDocument& document, const PageLayout& layout, const QString& path,
             const PageProgress& progress = {});

} // namespace vestrum
