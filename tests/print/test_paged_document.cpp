#include "base/error.h"
#include "print/paged_document.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

using namespace vestrum;

namespace {

const QString PolishLine = QStringLiteral("Zażółć gęślą jaźń ŻÓŁW");

// Numbered lines of 10-point text, one paragraph each.
std::unique_ptr<QTextDocument> numberedDocument(int lines)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDefaultFont(QFont(QStringLiteral("Liberation Serif"), 10));
    QTextCursor cursor(document.get());
    for (int i = 1; i <= lines; ++i) {
        if (i > 1)
            cursor.insertBlock();
        cursor.insertText(QStringLiteral("wiersz %1 %2").arg(i).arg(PolishLine));
    }
    return document;
}

PageLayout reportLayout()
{
    PageLayout layout;
    layout.header_text = QStringLiteral("Vestrum za rok 2008");
    layout.header_height = 15;
    layout.header_align = TMy_Align::mal_center;
    layout.header_line = 100;
    layout.header_Font = QFont(QStringLiteral("Times New Roman"), 9, QFont::Bold);
    layout.footer_text = QStringLiteral("strona &p");
    layout.footer_height = 15;
    layout.footer_align = TMy_Align::mal_center;
    layout.footer_line = 70;
    layout.footer_Font = QFont(QStringLiteral("Times New Roman"), 8);
    layout.Margin_left = layout.Margin_right = layout.Margin_top = layout.Margin_bottom = 20;
    return layout;
}

// The text of each page of a PDF, or nothing when pdftotext is not installed.
std::optional<QStringList> pdfPages(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    process.waitForFinished(60000);
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

#define SKIP_WITHOUT_PDFTOTEXT(pages)                                                                        \
    if (!(pages))                                                                                            \
    GTEST_SKIP() << "pdftotext (poppler-utils) is not installed"

// Every numbered line appears once, in order, across the pages.
void expectEveryLineOnce(const QStringList& pages, int lines)
{
    int expected = 1;
    for (const QString& page : pages)
        for (const QString& line : page.split(QLatin1Char('\n')))
            if (line.startsWith(QStringLiteral("wiersz "))) {
                ASSERT_EQ(line.trimmed(), QStringLiteral("wiersz %1 %2").arg(expected).arg(PolishLine));
                ++expected;
            }
    EXPECT_EQ(expected - 1, lines);
}

} // namespace

TEST(PdfOutput, ThirtyPagesCarryHeaderFooterAndEveryLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("raport.pdf"));
    const int lines = 1800;
    const auto document = numberedDocument(lines);
    const int written = writePdf(*document, reportLayout(), path);
    ASSERT_GE(written, 30);

    const auto pages = pdfPages(path);
    SKIP_WITHOUT_PDFTOTEXT(pages);
    ASSERT_EQ(pages->size(), written);
    for (int i = 0; i < written; ++i) {
        const QStringList pageLines = pages->at(i).trimmed().split(QLatin1Char('\n'));
        EXPECT_EQ(pageLines.first().trimmed(), QStringLiteral("Vestrum za rok 2008")) << "page " << i + 1;
        EXPECT_EQ(pageLines.last().trimmed(), QStringLiteral("strona %1").arg(i + 1)) << "page " << i + 1;
    }
    expectEveryLineOnce(*pages, lines);
}

TEST(PdfOutput, RecordedPagesReplayTheSameText)
{
    // The preview keeps vector recordings of the pages and replays them on the printer.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("powtorka.pdf"));
    const int lines = 150;
    const auto document = numberedDocument(lines);
    {
        QPdfWriter layoutDevice(dir.filePath(QStringLiteral("uklad.pdf")));
        layoutDevice.setPageSize(QPageSize(QPageSize::A4));
        layoutDevice.setPageMargins(QMarginsF(0, 0, 0, 0));
        PagedDocument pages(*document, reportLayout(), layoutDevice);
        ASSERT_EQ(pages.pageCount(), 3);
        QList<QPicture> recorded;
        for (int page = 1; page <= pages.pageCount(); ++page)
            recorded.append(pages.recordPage(page));
        EXPECT_EQ(recorded.first().boundingRect().size(), pages.pageSize());

        QPdfWriter printer(path);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&printer);
        for (int i = 0; i < recorded.size(); ++i) {
            if (i > 0)
                printer.newPage();
            playPage(painter, recorded[i]);
        }
    }
    const auto pages = pdfPages(path);
    SKIP_WITHOUT_PDFTOTEXT(pages);
    ASSERT_EQ(pages->size(), 3);
    EXPECT_TRUE(pages->at(2).contains(QStringLiteral("strona 3")));
    expectEveryLineOnce(*pages, lines);
}

TEST(PdfOutput, AnEmptyDocumentIsOnePageWithItsHeaderAndFooter)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pusty.pdf"));
    QTextDocument empty;
    EXPECT_EQ(writePdf(empty, reportLayout(), path), 1);
    const auto pages = pdfPages(path);
    SKIP_WITHOUT_PDFTOTEXT(pages);
    ASSERT_EQ(pages->size(), 1);
    EXPECT_TRUE(pages->at(0).contains(QStringLiteral("Vestrum za rok 2008")));
    EXPECT_TRUE(pages->at(0).contains(QStringLiteral("strona 1")));
}

TEST(PdfOutput, AStoppedOrRefusedJobKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stary.pdf"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("stary");
    }
    const auto document = numberedDocument(200);
    EXPECT_EQ(writePdf(*document, reportLayout(), path, [](int page, int) { return page < 2; }), 0);

    PageLayout tooWide = reportLayout();
    tooWide.Margin_left = 185;
    EXPECT_THROW(writePdf(*document, tooWide, path), Error);

    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("stary"));
}
