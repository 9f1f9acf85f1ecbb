#include "print/report_document.h"

#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

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

} // namespace

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
    for (const Run& run : report.runs) {
        const QTextCharFormat format = formatOf(run.style, bodyFont, report.setup.bodyPointSize);
        const QStringList paragraphs = run.text.split(QStringLiteral("\r\n"));
        for (qsizetype i = 0; i < paragraphs.size(); ++i) {
            if (i > 0)
                cursor.insertBlock(QTextBlockFormat(), format);
            cursor.insertText(paragraphs.at(i), format);
        }
    }
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
