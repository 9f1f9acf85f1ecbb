#include "base/error.h"
#include "print/paged_document.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "print/pdf_structure.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

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

// Paragraphs of numbered words ("a3b17" is word 17 of paragraph 3), each several lines long, so
// that page breaks fall inside paragraphs.
std::unique_ptr<QTextDocument> paragraphDocument(int paragraphs, int words)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDefaultFont(QFont(QStringLiteral("Liberation Serif"), 10));
    QTextCursor cursor(document.get());
    for (int p = 1; p <= paragraphs; ++p) {
        if (p > 1)
            cursor.insertBlock();
        QStringList text;
        for (int w = 1; w <= words; ++w)
            text.append(QStringLiteral("a%1b%2").arg(p).arg(w));
        cursor.insertText(text.join(u' '));
    }
    return document;
}

QStringList numberedWords(int paragraphs, int words)
{
    QStringList all;
    for (int p = 1; p <= paragraphs; ++p)
        for (int w = 1; w <= words; ++w)
            all.append(QStringLiteral("a%1b%2").arg(p).arg(w));
    return all;
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

// The numbered words of a PDF's text, in reading order.
QStringList wordsOf(const QStringList& pages)
{
    static const QRegularExpression word(QStringLiteral("^a\\d+b\\d+$"));
    QStringList words;
    for (const QString& page : pages)
        for (const QString& token : page.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            if (word.match(token).hasMatch())
                words.append(token);
    return words;
}

// What a command-line tool prints, or nothing when it is not installed.
std::optional<QByteArray> toolOutput(const QString& name, const QStringList& arguments)
{
    const QString tool = QStandardPaths::findExecutable(name);
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, arguments);
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
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

TEST(PdfOutput, LinesSplitOffByAPageBreakAreWrittenOnce)
{
    // A clipped line still lands in a PDF's text: each line must be drawn on its own page only,
    // in the file written directly and in the preview's recordings replayed on a printer.
    QTemporaryDir dir;
    const int paragraphs = 40, words = 90; // about seven lines each, three pages
    const auto document = paragraphDocument(paragraphs, words);
    const QString direct = dir.filePath(QStringLiteral("akapity.pdf"));
    const int written = writePdf(*document, reportLayout(), direct);
    ASSERT_GE(written, 3);

    const QString replayed = dir.filePath(QStringLiteral("odtworzone.pdf"));
    {
        QPdfWriter printer(replayed);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
        PagedDocument pages(*document, reportLayout(), printer);
        ASSERT_EQ(pages.pageCount(), written);
        QPainter painter(&printer);
        for (int page = 1; page <= pages.pageCount(); ++page) {
            if (page > 1)
                printer.newPage();
            playPage(painter, pages.recordPage(page));
        }
    }
    for (const QString& path : {direct, replayed}) {
        const auto pages = pdfPages(path);
        SKIP_WITHOUT_PDFTOTEXT(pages);
        ASSERT_EQ(pages->size(), written) << path.toStdString();
        EXPECT_EQ(wordsOf(*pages), numberedWords(paragraphs, words)) << path.toStdString();
        for (const QString& page : *pages) // no stray line in the header band above the text
            EXPECT_TRUE(page.trimmed().startsWith(QStringLiteral("Vestrum za rok 2008"))) << path.toStdString();
    }
}

TEST(Pagination, AHeadingGoesToTheNextPageWithTheLineItHeads)
{
    QTemporaryDir dir;
    QPdfWriter page(dir.filePath(QStringLiteral("uklad.pdf")));
    page.setPageSize(QPageSize(QPageSize::A4));
    page.setPageMargins(QMarginsF(0, 0, 0, 0));
    // The lines page 1 takes, found by laying out one-line paragraphs.
    const auto probe = numberedDocument(200);
    const PagedDocument probed(*probe, reportLayout(), page);
    int firstPage = 0;
    while (probed.pageOfPosition(probe->findBlockByNumber(firstPage).position()) == 1)
        ++firstPage;

    // A heading on the last line of page 1 and a blank line kept with it, both landing on page 2.
    const auto document = numberedDocument(firstPage + 20);
    const QTextBlock heading = document->findBlockByNumber(firstPage - 2);
    const QTextBlock blank = document->findBlockByNumber(firstPage - 1);
    const QTextBlock body = document->findBlockByNumber(firstPage);
    {
        const PagedDocument unmarked(*document, reportLayout(), page);
        ASSERT_EQ(unmarked.pageOfPosition(blank.position()), 1);
        ASSERT_EQ(unmarked.pageOfPosition(body.position()), 2);
    }
    markKeepWithNext(heading);
    markKeepWithNext(blank);
    const PagedDocument marked(*document, reportLayout(), page);
    EXPECT_EQ(marked.pageOfPosition(document->findBlockByNumber(firstPage - 3).position()), 1);
    EXPECT_EQ(marked.pageOfPosition(heading.position()), 2);
    EXPECT_EQ(marked.pageOfPosition(blank.position()), 2);
    EXPECT_EQ(marked.pageOfPosition(body.position()), 2);

    // Kept paragraphs longer than a page cannot all move: the pages still take every line once.
    const auto allKept = numberedDocument(3 * firstPage);
    for (QTextBlock block = allKept->begin(); block.isValid(); block = block.next())
        markKeepWithNext(block);
    const QString path = dir.filePath(QStringLiteral("naglowki.pdf"));
    EXPECT_EQ(writePdf(*allKept, reportLayout(), path), 3);
    const auto pages = pdfPages(path);
    SKIP_WITHOUT_PDFTOTEXT(pages);
    expectEveryLineOnce(*pages, 3 * firstPage);
}

TEST(PdfOutput, InformationAndOutlineGoIntoThePdfWithTheirPages)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zakladki.pdf"));
    const auto document = numberedDocument(300);
    setPdfInfo(*document, {QStringLiteral("Ankieta Instytutu Łączności za rok 2008"),
                           QStringLiteral("Instytut Łączności"), QStringLiteral("Ankieta jednostki naukowej za rok 2008")});
    addOutlineItem(document->findBlockByNumber(0), QStringLiteral("1. Informacje"), 0);
    addOutlineItem(document->findBlockByNumber(0), QStringLiteral("- dane podstawowe"), 1);
    addOutlineItem(document->findBlockByNumber(120), QStringLiteral("- dane adresowe"), 1);
    addOutlineItem(document->findBlockByNumber(250), QStringLiteral("2. Żółć"), 0);
    writePdf(*document, reportLayout(), path);
    // The pages the pagination gives those paragraphs on the PDF's page.
    QPdfWriter a4(dir.filePath(QStringLiteral("uklad.pdf")));
    a4.setPageSize(QPageSize(QPageSize::A4));
    a4.setPageMargins(QMarginsF(0, 0, 0, 0));
    const PagedDocument laidOut(*document, reportLayout(), a4);
    const auto pageOf = [&](int block) { return laidOut.pageOfPosition(document->findBlockByNumber(block).position()); };
    ASSERT_LT(pageOf(0), pageOf(120));
    ASSERT_LT(pageOf(120), pageOf(250));
    EXPECT_EQ(laidOut.outline(), (std::vector<OutlineItem>{{QStringLiteral("1. Informacje"), 0, 1},
                                                          {QStringLiteral("- dane podstawowe"), 1, 1},
                                                          {QStringLiteral("- dane adresowe"), 1, pageOf(120)},
                                                          {QStringLiteral("2. Żółć"), 0, pageOf(250)}}));

    const auto info = toolOutput(QStringLiteral("pdfinfo"), {path});
    if (!info)
        GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
    const QString text = QString::fromUtf8(*info);
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Title: +Ankieta Instytutu Łączności za rok 2008\n"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Author: +Instytut Łączności\n"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Subject: +Ankieta jednostki naukowej za rok 2008\n"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Creator: +Vestrum \\d"))));

    const auto json = toolOutput(QStringLiteral("qpdf"), {QStringLiteral("--json"), QStringLiteral("--json-key=outlines"), path});
    if (!json)
        GTEST_SKIP() << "qpdf is not installed";
    const QJsonArray outlines = QJsonDocument::fromJson(*json).object().value(QStringLiteral("outlines")).toArray();
    ASSERT_EQ(outlines.size(), 2);
    const auto titleAndPage = [](const QJsonValue& item) {
        return QStringLiteral("%1@%2").arg(item[QStringLiteral("title")].toString()).arg(item[QStringLiteral("destpageposfrom1")].toInt());
    };
    EXPECT_EQ(titleAndPage(outlines[0]), QStringLiteral("1. Informacje@1"));
    EXPECT_EQ(titleAndPage(outlines[1]), QStringLiteral("2. Żółć@%1").arg(pageOf(250)));
    const QJsonArray parts = outlines[0][QStringLiteral("kids")].toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(titleAndPage(parts[0]), QStringLiteral("- dane podstawowe@1"));
    EXPECT_EQ(titleAndPage(parts[1]), QStringLiteral("- dane adresowe@%1").arg(pageOf(120)));
    EXPECT_TRUE(outlines[1][QStringLiteral("kids")].toArray().isEmpty());

    // The counts a viewer shows the outline by: every bookmark open, so the outline counts all four and
    // "1. Informacje" its two parts.
    const auto objects = toolOutput(QStringLiteral("qpdf"), {QStringLiteral("--json=2"), QStringLiteral("--json-key=qpdf"), path});
    ASSERT_TRUE(objects);
    const QJsonObject all = QJsonDocument::fromJson(*objects).object().value(QStringLiteral("qpdf")).toArray().at(1).toObject();
    const auto dictionary = [&all](const QJsonValue& reference) {
        return all.value(QStringLiteral("obj:") + reference.toString()).toObject().value(QStringLiteral("value")).toObject();
    };
    const QJsonObject trailer = all.value(QStringLiteral("trailer")).toObject().value(QStringLiteral("value")).toObject();
    const QJsonObject outline = dictionary(dictionary(trailer.value(QStringLiteral("/Root"))).value(QStringLiteral("/Outlines")));
    EXPECT_EQ(outline.value(QStringLiteral("/Count")).toInt(), 4);
    EXPECT_EQ(dictionary(outlines[0][QStringLiteral("object")]).value(QStringLiteral("/Count")).toInt(), 2);
    EXPECT_FALSE(dictionary(outlines[1][QStringLiteral("object")]).contains(QStringLiteral("/Count")));
}

TEST(PdfOutput, TheStructureLeavesEveryPageAsQtWroteIt)
{
    QTemporaryDir dir;
    QBuffer staged;
    staged.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&staged);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        const auto document = numberedDocument(120);
        const PagedDocument pages(*document, reportLayout(), writer);
        QPainter painter(&writer);
        for (int page = 1; page <= pages.pageCount(); ++page) {
            if (page > 1)
                writer.newPage();
            pages.paintPage(painter, page);
        }
    }
    const QByteArray finished = addPdfStructure(staged.data(), {QStringLiteral("T"), QStringLiteral("A"), QStringLiteral("S")},
                                                QStringLiteral("Vestrum"), {{QStringLiteral("x"), 0, 2}});
    EXPECT_THROW(addPdfStructure(QByteArray("%PDF-1.4 to nie jest PDF"), {}, QString(), {}), Error);

    const QString before = dir.filePath(QStringLiteral("przed.pdf"));
    const QString after = dir.filePath(QStringLiteral("po.pdf"));
    for (const auto& [path, bytes] : {std::pair{before, staged.data()}, std::pair{after, finished}}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // Each page's content stream, raw, by page order (the library renumbers objects).
    const auto contents = [](const QString& path) {
        QStringList streams;
        const auto pages = toolOutput(QStringLiteral("qpdf"), {QStringLiteral("--show-pages"), path});
        static const QRegularExpression contentRef(QStringLiteral("^\\s+(\\d+) 0 R$"), QRegularExpression::MultilineOption);
        for (auto match = contentRef.globalMatch(QString::fromLatin1(pages.value_or(QByteArray()))); match.hasNext();)
            streams.append(QString::fromLatin1(
                toolOutput(QStringLiteral("qpdf"), {QStringLiteral("--show-object=") + match.next().captured(1),
                                                    QStringLiteral("--raw-stream-data"), path})
                    .value_or(QByteArray())
                    .toBase64()));
        return streams;
    };
    if (QStandardPaths::findExecutable(QStringLiteral("qpdf")).isEmpty())
        GTEST_SKIP() << "qpdf is not installed";
    const QStringList original = contents(before);
    ASSERT_GE(original.size(), 2);
    EXPECT_EQ(contents(after), original);
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

    // A file marked read-only stays as it is, whoever runs the program (root may write anything).
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    try {
        writePdf(*document, reportLayout(), path);
        ADD_FAILURE() << "a read-only target was replaced";
    } catch (const Error& error) {
        EXPECT_TRUE(error.message().startsWith(QStringLiteral("Uwaga! Wskazany zbiór jest oznaczony jako tylko do odczytu")));
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("stary"));
}
