#include "print/paged_document.h"

#include "base/error.h"
#include "base/file_modes.h"
#include "print/pdf_structure.h"
#include "program/startup.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>

#include <algorithm>
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

// The document information rides on the root frame, which a copy of the document keeps.
constexpr int PdfTitleProperty = QTextFormat::UserProperty + 0x3511;
constexpr int PdfAuthorProperty = QTextFormat::UserProperty + 0x3512;
constexpr int PdfSubjectProperty = QTextFormat::UserProperty + 0x3513;

// Letters are drawn one glyph each: a font's ligatures ("ﬁ" for "fi") would reach a PDF's text as
// single characters, so searching and copying the words as typed would fail. Qt keeps shaping
// for the scripts that need it, and kerning stays on. Every path to paper or PDF goes through
// here, so the preview's pages break where the PDF's do.
QFont withoutLigatures(QFont font)
{
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    return font;
}

void drawWithoutLigatures(QTextDocument& document)
{
    document.setUndoRedoEnabled(false); // the laid-out copy is never edited back
    document.setDefaultFont(withoutLigatures(document.defaultFont()));
    struct Span {
        int start = 0;
        int length = 0;
        QFont::StyleStrategy strategy = QFont::PreferDefault;
    };
    std::vector<Span> spans; // gathered first: a merged format may join the fragments walked
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            spans.push_back({fragment.position(), fragment.length(), fragment.charFormat().fontStyleStrategy()});
        }
    QTextCursor cursor(&document);
    for (const Span& span : spans) {
        cursor.setPosition(span.start);
        cursor.setPosition(span.start + span.length, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setFontStyleStrategy(QFont::StyleStrategy(span.strategy | QFont::PreferNoShaping));
        cursor.mergeCharFormat(format);
    }
}

const QString OutlineTitleKey = QStringLiteral("title");
const QString OutlineDepthKey = QStringLiteral("depth");

} // namespace

void markKeepWithNext(QTextBlock block)
{
    QTextCursor cursor(block);
    QTextBlockFormat format;
    format.setProperty(KeepWithNextProperty, true);
    cursor.mergeBlockFormat(format);
}

void addOutlineItem(QTextBlock block, const QString& title, int depth)
{
    QVariantList items = block.blockFormat().property(OutlineProperty).toList();
    items.append(QVariantMap{{OutlineTitleKey, title}, {OutlineDepthKey, depth}});
    QTextCursor cursor(block);
    QTextBlockFormat format;
    format.setProperty(OutlineProperty, items);
    cursor.mergeBlockFormat(format);
}

void setPdfInfo(QTextDocument& document, const PdfInfo& info)
{
    QTextFrameFormat format = document.rootFrame()->frameFormat();
    format.setProperty(PdfTitleProperty, info.title);
    format.setProperty(PdfAuthorProperty, info.author);
    format.setProperty(PdfSubjectProperty, info.subject);
    document.rootFrame()->setFrameFormat(format);
}

PdfInfo pdfInfo(const QTextDocument& document)
{
    const QTextFrameFormat format = document.rootFrame()->frameFormat();
    return {format.stringProperty(PdfTitleProperty), format.stringProperty(PdfAuthorProperty),
            format.stringProperty(PdfSubjectProperty)};
}

PagedDocument::PagedDocument(const QTextDocument& source, const PageLayout& layout, QPagedPaintDevice& device)
    : PagedDocument(source, layout, device, PageMetrics::of(device))
{
}

PagedDocument::PagedDocument(const QTextDocument& source, const PageLayout& layout, QPaintDevice& device,
                             const PageMetrics& metrics)
    : layout_(layout), geometry_(computePageGeometry(layout, metrics)), pagePixels_(metrics.pixels),
      document_(source.clone())
{
    // The copy is laid out with the device's font metrics as one unbroken column as wide as the
    // text area; the pages are cut from it line by line below, so each line belongs to exactly
    // one page and is drawn there only.
    drawWithoutLigatures(*document_);
    document_->documentLayout()->setPaintDevice(&device);
    document_->setDocumentMargin(0);
    document_->setTextWidth(geometry_.textArea.width());
    document_->documentLayout()->documentSize(); // lays the whole text out now

    // The marks are read from the source: the copy's blocks are the same, numbered alike.
    std::vector<bool> keepWithNext(size_t(source.blockCount()), false);
    for (QTextBlock block = source.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        keepWithNext[size_t(block.blockNumber())] = format.boolProperty(KeepWithNextProperty);
        for (const QVariant& item : format.property(OutlineProperty).toList()) {
            const QVariantMap fields = item.toMap();
            outline_.push_back({fields.value(OutlineTitleKey).toString(), fields.value(OutlineDepthKey).toInt(), 1});
            outlineBlocks_.push_back(block.blockNumber());
        }
    }
    collectLines();
    paginate(keepWithNext);
    for (size_t i = 0; i < outline_.size(); ++i)
        outline_[i].page = pageOfPosition(document_->findBlockByNumber(outlineBlocks_[i]).position());
}

PagedDocument::~PagedDocument() = default;

void PagedDocument::collectLines()
{
    for (QTextBlock block = document_->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        if (!layout || !block.isVisible())
            continue;
        const qreal top = layout->position().y();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines_.push_back({block.blockNumber(), i, top + line.y(), top + line.y() + line.height()});
        }
    }
}

// Each page takes the lines that fit below its first one; a line that does not fit starts the
// next page, and takes along the paragraphs before it that must stay with it.
void PagedDocument::paginate(const std::vector<bool>& keepWithNext)
{
    const qreal height = geometry_.textArea.height();
    int pageStart = 0;
    for (int i = 0; i < int(lines_.size()); ++i) {
        if (i == pageStart || lines_[size_t(i)].bottom - lines_[size_t(pageStart)].top <= height)
            continue;
        const int next = breakBefore(i, pageStart, keepWithNext);
        pages_.push_back({pageStart, next, lines_[size_t(pageStart)].top});
        pageStart = next;
        i = next;
    }
    if (pageStart < int(lines_.size()) || pages_.empty())
        pages_.push_back({pageStart, int(lines_.size()), lines_.empty() ? 0 : lines_[size_t(pageStart)].top});
}

// Where the page ends when line `line` does not fit: before it, or earlier so that a paragraph
// kept with the next one is not split from it nor parted from its next paragraph's first line.
// When that would leave the page empty the break stays before `line`.
int PagedDocument::breakBefore(int line, int pageStart, const std::vector<bool>& keepWithNext) const
{
    const auto kept = [&](int block) {
        return block >= 0 && size_t(block) < keepWithNext.size() && keepWithNext[size_t(block)];
    };
    int cut = line;
    for (;;) {
        const Line& first = lines_[size_t(cut)];
        int back = cut;
        if (first.line > 0 && kept(first.block))
            back = cut - first.line; // the kept paragraph's first line
        else if (first.line == 0 && cut > 0 && kept(lines_[size_t(cut - 1)].block))
            back = cut - 1 - lines_[size_t(cut - 1)].line;
        if (back == cut)
            return cut;
        if (back <= pageStart)
            return line;
        cut = back;
    }
}

int PagedDocument::pageCount() const { return int(pages_.size()); }

int PagedDocument::pageOfPosition(int position) const
{
    const QTextBlock block = document_->findBlock(position);
    const QTextLayout* layout = block.layout();
    if (!block.isValid() || !layout)
        return 1;
    const QTextLine line = layout->lineForTextPosition(position - block.position());
    const Line wanted{block.blockNumber(), line.isValid() ? line.lineNumber() : 0, 0, 0};
    const auto found = std::lower_bound(lines_.begin(), lines_.end(), wanted, [](const Line& a, const Line& b) {
        return a.block != b.block ? a.block < b.block : a.line < b.line;
    });
    const int index = int(found - lines_.begin());
    const auto page = std::upper_bound(pages_.begin(), pages_.end(), index,
                                       [](int i, const Page& candidate) { return i < candidate.firstLine; });
    return std::max(1, int(page - pages_.begin()));
}

std::vector<OutlineItem> PagedDocument::outline() const { return outline_; }

void PagedDocument::paintBand(QPainter& painter, const QRect& band, const QFont& font, TMy_Align align,
                              const QString& text) const
{
    if (text.isEmpty() || band.isEmpty())
        return;
    painter.setFont(withoutLigatures(font));
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

// Only the page's own lines are drawn: a clip would hide the others on paper but a PDF (and a
// printer job made of one) would still carry their text.
void PagedDocument::paintText(QPainter& painter, int pageNumber) const
{
    if (pageNumber < 1 || pageNumber > pageCount())
        return;
    const Page& page = pages_[size_t(pageNumber - 1)];
    painter.save();
    painter.translate(QPointF(geometry_.textArea.left(), geometry_.textArea.top() - page.top));
    painter.setPen(Qt::black);
    QTextBlock block;
    for (int i = page.firstLine; i < page.endLine; ++i) {
        const Line& line = lines_[size_t(i)];
        if (!block.isValid() || block.blockNumber() != line.block)
            block = document_->findBlockByNumber(line.block);
        const QTextLayout* layout = block.layout();
        layout->lineAt(line.line).draw(&painter, layout->position());
    }
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
    if (isReadOnlyTarget(path))
        throw Error(readOnlyTargetMessage());
    PdfInfo info = pdfInfo(document);
    if (info.title.isEmpty())
        info.title = QFileInfo(path).completeBaseName();
    const QString creator = QStringLiteral("Vestrum ") + programVersion();

    // Qt writes the pages into memory; the library adds what Qt cannot write, and only the whole
    // result goes into the staged file that is then renamed over the target.
    QBuffer staged;
    staged.open(QIODevice::WriteOnly);
    int count = 0;
    std::vector<OutlineItem> outline;
    {
        QPdfWriter writer(&staged);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Portrait);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        // Qt writes the PDF/A-1b parts (embedded fonts, output intent, metadata); the structure
        // step below keeps them.
        writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
        writer.setCreator(creator);
        writer.setTitle(info.title);
        PagedDocument pages(document, layout, writer);
        QPainter painter;
        if (!painter.begin(&writer))
            throw Error(failure);
        count = pages.pageCount();
        for (int page = 1; page <= count; ++page) {
            if (page > 1)
                writer.newPage();
            pages.paintPage(painter, page);
            if (progress && !progress(page, count)) {
                painter.end();
                return 0;
            }
        }
        if (!painter.end())
            throw Error(failure);
        outline = pages.outline();
    }
    QByteArray finished;
    try {
        finished = addPdfStructure(staged.data(), info, creator, outline);
    } catch (const Error& error) {
        throw Error(failure + QStringLiteral("\nSzczegóły: ") + error.message());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(finished) != finished.size() || !file.commit())
        throw Error(failure);
    return count;
}

} // namespace vestrum
