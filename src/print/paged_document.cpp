#include "print/paged_document.h"

#include "base/error.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include <cmath>

namespace vestrum {

namespace {

Qt::Alignment toQt(TMy_Align align)
{
    switch (align) {
    case TMy_Align::mal_center:
        return Qt::AlignHCenter;
    case TMy_Align::mal_right:
        return Qt::AlignRight;
    case TMy_Align::mal_left:
        break;
    }
    return Qt::AlignLeft;
}

// Rules a quarter of a millimetre thick: a one-pixel line at printer resolution disappears.
constexpr double RuleWidthMm = 0.25;

} // namespace

PagedDocument::PagedDocument(const QTextDocument& source, const PageLayout& layout, QPagedPaintDevice& device)
    : PagedDocument(source, layout, device, PageMetrics::of(device))
{
}

PagedDocument::PagedDocument(const QTextDocument& source, const PageLayout& layout, QPaintDevice& device,
                             const PageMetrics& metrics)
    : layout_(layout), geometry_(computePageGeometry(layout, metrics)), pagePixels_(metrics.pixels),
      document_(source.clone())
{
    // The copy is laid out with the device's font metrics, one text area per page; lines that
    // would cross the bottom of a text area move to the next page.
    document_->documentLayout()->setPaintDevice(&device);
    document_->setDocumentMargin(0);
    document_->setPageSize(geometry_.textArea.size());
}

PagedDocument::~PagedDocument() = default;

int PagedDocument::pageCount() const { return std::max(1, document_->pageCount()); }

void PagedDocument::paintBand(QPainter& painter, const QRect& band, const QFont& font, TMy_Align align,
                              const QString& text) const
{
    if (text.isEmpty() || band.isEmpty())
        return;
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(band, int(Qt::AlignTop | Qt::TextWordWrap | toQt(align)), text);
}

void PagedDocument::paintRule(QPainter& painter, const std::optional<QLine>& rule) const
{
    if (!rule)
        return;
    const double width = std::max(1.0, RuleWidthMm * geometry_.pixelsPerMmY);
    painter.setPen(QPen(Qt::black, width, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(*rule);
}

void PagedDocument::paintText(QPainter& painter, int pageNumber) const
{
    const QSize area = geometry_.textArea.size();
    const QRectF slice(0, qreal(pageNumber - 1) * area.height(), area.width(), area.height());
    painter.save();
    painter.translate(QPointF(geometry_.textArea.topLeft()) - slice.topLeft());
    painter.setClipRect(slice);
    QAbstractTextDocumentLayout::PaintContext context;
    // A line moved down to the next page begins exactly on this slice's lower edge, which the
    // layout still counts as inside; half a pixel in keeps it off this page (and out of its text).
    context.clip = slice.adjusted(0, 0.5, 0, -0.5);
    context.palette.setColor(QPalette::Text, Qt::black);
    document_->documentLayout()->draw(&painter, context);
    painter.restore();
}

void PagedDocument::paintPage(QPainter& painter, int pageNumber) const
{
    painter.save();
    paintBand(painter, geometry_.headerBand, geometry_.headerFont, layout_.header_align,
              layout_.header_text);
    paintRule(painter, geometry_.headerRule);
    paintText(painter, pageNumber);
    paintBand(painter, geometry_.footerBand, geometry_.footerFont, layout_.footer_align,
              pageLineText(layout_.footer_text, pageNumber));
    paintRule(painter, geometry_.footerRule);
    painter.restore();
}

QPicture PagedDocument::recordPage(int pageNumber) const
{
    QPicture picture;
    QPainter painter(&picture);
    paintPage(painter, pageNumber);
    painter.end();
    picture.setBoundingRect(QRect(QPoint(0, 0), pagePixels_));
    return picture;
}

void playPage(QPainter& painter, const QPicture& page, double scale)
{
    const QPaintDevice* target = painter.device();
    painter.save();
    painter.scale(scale * page.logicalDpiX() / target->logicalDpiX(), scale * page.logicalDpiY() / target->logicalDpiY());
    painter.drawPicture(0, 0, page);
    painter.restore();
}

int writePdf(const QTextDocument& document, const PageLayout& layout, const QString& path,
             const PageProgress& progress)
{
    const QString failure = QStringLiteral("Nie udało się zapisać pliku PDF:\n%1").arg(QFileInfo(path).absoluteFilePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(failure);
    int written = 0;
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Portrait);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        writer.setCreator(QStringLiteral("Vestrum"));
        writer.setTitle(QFileInfo(path).completeBaseName());
        PagedDocument pages(document, layout, writer);
        QPainter painter;
        if (!painter.begin(&writer))
            throw Error(failure);
        const int count = pages.pageCount();
        for (int page = 1; page <= count; ++page) {
            if (page > 1)
                writer.newPage();
            pages.paintPage(painter, page);
            if (progress && !progress(page, count)) {
                painter.end();
                file.cancelWriting();
                return 0;
            }
        }
        painter.end();
        written = count;
    }
    if (!file.commit())
        throw Error(failure);
    return written;
}

} // namespace vestrum
