#include "print/report_document.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace vestrum::report {
namespace {

QTextCharFormat formatOf(RunStyle style, const QFont& bodyFont, int pointSize)
{
    QFont font = bodyFont;
    font.setPointSize(pointSize);
    font.setBold(style == RunStyle::Bold || style == RunStyle::BoldItalic);
    font.setItalic(style == RunStyle::Italic || style == RunStyle::BoldItalic);
    QTextCharFormat format;
    format.setFont(font);
    return format;
}

QFont bandFont(const QString& family, int pointSize, bool bold)
{
    QFont font(family);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

// A mark of the report at an offset of its joined text.
struct Mark {
    qsizetype offset = 0;
    int entry = -1; // -1: a paragraph kept with the next line
};

std::vector<Mark> marksOf(const ReportDocument& report)
{
    std::vector<Mark> marks;
    for (qsizetype offset : report.keptWithNext)
        marks.push_back({offset, -1});
    for (const EntryStart& start : report.entryStarts)
        marks.push_back({start.offset, start.entry});
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.offset < b.offset; });
    return marks;
}

void applyMark(const QTextBlock& block, const Mark& mark)
{
    if (mark.entry < 0) {
        markKeepWithNext(block);
        return;
    }
    const ReportEntry& entry = ReportEntries().at(static_cast<size_t>(mark.entry));
    addOutlineItem(block, entry.text.trimmed(), entry.parent >= 0 ? 1 : 0);
}

} // namespace

PdfInfo ReportPdfInfo(const ReportDocument& report)
{
    const QString year = report.reportingYear;
    PdfInfo info;
    info.title = report.unitName.isEmpty() ? QStringLiteral("Ankieta za rok %1").arg(year)
                                           : QStringLiteral("Ankieta %1 za rok %2").arg(report.unitName, year);
    info.author = report.unitName;
    info.subject = QStringLiteral("Ankieta jednostki naukowej za rok %1").arg(year);
    return info;
}

QFont ReportBodyFont(const UserFontSpec& userFont) { return QFont(userFont.name); }

std::unique_ptr<QTextDocument> ReportTextDocument(const ReportDocument& report, const QFont& bodyFont)
{
    auto document = std::make_unique<QTextDocument>();
    FillReportDocument(*document, report, bodyFont);
    return document;
}

void FillReportDocument(QTextDocument& document, const ReportDocument& report, const QFont& bodyFont)
{
    document.clear();
    QFont base = bodyFont;
    base.setPointSize(report.setup.bodyPointSize);
    document.setDefaultFont(base);
    QTextCursor cursor(&document);
    const std::vector<Mark> marks = marksOf(report);
    auto nextMark = marks.begin();
    qsizetype offset = 0; // in the runs' joined text
    for (const Run& run : report.runs) {
        const QTextCharFormat format = formatOf(run.style, bodyFont, report.setup.bodyPointSize);
        const QStringList paragraphs = run.text.split(QStringLiteral("\r\n"));
        for (qsizetype i = 0; i < paragraphs.size(); ++i) {
            if (i > 0) {
                cursor.insertBlock(QTextBlockFormat(), format);
                offset += 2;
            }
            // A mark belongs to the paragraph whose text (or closing break) it points into.
            for (; nextMark != marks.end() && nextMark->offset <= offset + paragraphs.at(i).size(); ++nextMark)
                applyMark(cursor.block(), *nextMark);
            cursor.insertText(paragraphs.at(i), format);
            offset += paragraphs.at(i).size();
        }
    }
    for (; nextMark != marks.end(); ++nextMark)
        applyMark(cursor.block(), *nextMark);
    setPdfInfo(document, ReportPdfInfo(report));
}

PageLayout ReportPageLayout(const ReportPageSetup& setup)
{
    PageLayout layout;
    layout.header_text = setup.headerText;
    layout.header_height = static_cast<int>(setup.headerHeightMm);
    layout.header_align = TMy_Align::mal_center;
    layout.header_Font = bandFont(setup.headerFontFamily, setup.headerPointSize, setup.headerBold);
    layout.header_line = setup.headerRulePercent;
    layout.footer_text = setup.footerText;
    layout.footer_height = static_cast<int>(setup.footerHeightMm);
    layout.footer_align = TMy_Align::mal_center;
    layout.footer_Font = bandFont(setup.footerFontFamily, setup.footerPointSize, setup.footerBold);
    layout.footer_line = setup.footerRulePercent;
    layout.Margin_left = static_cast<int>(setup.marginLeftMm);
    layout.Margin_right = static_cast<int>(setup.marginRightMm);
    layout.Margin_top = static_cast<int>(setup.marginTopMm);
    layout.Margin_bottom = static_cast<int>(setup.marginBottomMm);
    return layout;
}

} // namespace vestrum::report
