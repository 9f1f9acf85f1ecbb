#include "base/clock.h"
#include "gui/print/paged_text_edit.h"
#include "gui/print/print_preview_window.h"
#include "gui/print/print_range_window.h"
#include "gui/print/report_window.h"
#include "program/program.h"
#include "support/temp_survey.h"
#include "typing.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

using namespace vestrum;
using vestrum::testing::typeOver;
using vestrum::testing::ScriptedMessages;

namespace {

// A click on the button's circle: a radio button stretched across its row is hit only on its
// circle and caption.
void clickRadio(QRadioButton* choice)
{
    QTest::mouseClick(choice, Qt::LeftButton, Qt::NoModifier, QPoint(8, choice->height() / 2));
}

struct TestProgram {
    ScriptedMessages messages;
    FixedClock clock{QDateTime(QDate(2008, 3, 1), QTime(10, 0))};
    Program program{messages, clock};
};

// A printer that writes a PDF file, and a platform that has it or no printer at all.
PrinterAccess pdfPrinters(const QStringList& names, const QString& path)
{
    PrinterAccess access;
    access.names = [names] { return names; };
    access.defaultName = [names] { return names.value(0); };
    access.open = [path](const QString&) -> std::unique_ptr<QPagedPaintDevice> {
        auto writer = std::make_unique<QPdfWriter>(path);
        writer->setPageSize(QPageSize(QPageSize::A4));
        writer->setPageMargins(QMarginsF(0, 0, 0, 0));
        return writer;
    };
    return access;
}

void fillReport(PagedTextEdit& edit, int lines)
{
    QTextCursor cursor(edit.document());
    for (int i = 1; i <= lines; ++i) {
        if (i > 1)
            cursor.insertBlock();
        cursor.insertText(QStringLiteral("wiersz %1 Żółć").arg(i));
    }
    PageLayout& layout = edit.pageLayout();
    layout.footer_text = QStringLiteral("strona &p");
    layout.footer_height = 15;
    layout.header_text = QStringLiteral("Vestrum za rok 2008");
    layout.header_height = 15;
    layout.Margin_left = layout.Margin_right = layout.Margin_top = layout.Margin_bottom = 20;
}

// Paragraphs of numbered words ("a3b17": word 17 of paragraph 3), several lines each, so that
// page breaks fall inside them; returns every word in order.
QStringList fillParagraphs(PagedTextEdit& edit, int paragraphs, int words)
{
    fillReport(edit, 0);
    QTextCursor cursor(edit.document());
    QStringList all;
    for (int p = 1; p <= paragraphs; ++p) {
        if (p > 1)
            cursor.insertBlock();
        QStringList text;
        for (int w = 1; w <= words; ++w)
            text.append(QStringLiteral("a%1b%2").arg(p).arg(w));
        cursor.insertText(text.join(u' '));
        all += text;
    }
    return all;
}

// The numbered words of a PDF's text, in reading order.
QStringList pdfWords(const QString& path)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(QStringLiteral("pdftotext")),
                  {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    process.waitForFinished(30000);
    static const QRegularExpression word(QStringLiteral("^a\\d+b\\d+$"));
    QStringList words;
    for (const QString& token : QString::fromUtf8(process.readAllStandardOutput())
                                    .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        if (word.match(token).hasMatch())
            words.append(token);
    return words;
}

QStringList pdfPageFooters(const QString& path)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(QStringLiteral("pdftotext")),
                  {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    process.waitForFinished(30000);
    QStringList footers;
    for (const QString& page : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f')))
        if (!page.trimmed().isEmpty())
            footers.append(page.trimmed().split(QLatin1Char('\n')).last().trimmed());
    return footers;
}

// Runs `inspect` on the modal window that `open` shows, then closes it.
template <typename Window>
bool whileModal(const std::function<void()>& open, const std::function<void(Window&)>& inspect)
{
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
        if (!window || seen)
            return;
        seen = true;
        inspect(*window);
        window->close();
    });
    poll.start(10);
    open();
    return seen;
}

} // namespace

TEST(PrintPreviewWindow, OnePageDocumentShowsPageOneOfOneWithPagingDisabled)
{
    TestProgram test;
    ReportWindow report(test.program);
    report.setPrinters(pdfPrinters({}, QString()));
    fillReport(*report.document(), 3);
    const bool opened = whileModal<PrintPreviewWindow>([&] { report.preview(); }, [](PrintPreviewWindow& preview) {
        EXPECT_EQ(preview.statusText(), QStringLiteral("strona 1/1"));
        for (QAction* command : {preview.firstAction(), preview.previousAction(), preview.nextAction(),
                                 preview.lastAction()})
            EXPECT_FALSE(command->isEnabled()) << command->text().toStdString();
        // No printer: both "Drukuj" commands are off and say where to go instead.
        const QString hint = QStringLiteral("Brak drukarki - użyj »Zapisz jako PDF…«");
        EXPECT_FALSE(preview.printButton()->isEnabled());
        EXPECT_FALSE(preview.printAction()->isEnabled());
        EXPECT_EQ(preview.printButton()->toolTip(), hint);
        EXPECT_EQ(preview.printAction()->toolTip(), hint);
        const QRect page = preview.pageRect();
        EXPECT_NEAR(double(page.width()) / page.height(), 210.0 / 297.0, 0.01); // the A4 page of the PDF
    });
    EXPECT_TRUE(opened); // no printer: the preview still opens, on the PDF page
    EXPECT_TRUE(test.messages.shown.isEmpty());
}

TEST(PrintPreviewWindow, PagesMoveAndKeepTheZoom)
{
    TestProgram test;
    PagedTextEdit edit(test.program);
    fillReport(edit, 200);
    QTemporaryDir dir;
    QPdfWriter page(dir.filePath(QStringLiteral("uklad.pdf")));
    page.setPageSize(QPageSize(QPageSize::A4));
    QList<QPicture> pages = edit.recordPages(page);
    ASSERT_GE(pages.size(), 3);
    const int count = int(pages.size());
    PrintPreviewWindow preview(test.program, pages, QSize(page.width(), page.height()), pdfPrinters({}, QString()));
    preview.show();
    preview.zoomIn();
    const QSize zoomed = preview.pageRect().size();
    preview.lastAction()->trigger();
    EXPECT_EQ(preview.statusText(), QStringLiteral("strona %1/%1").arg(count));
    EXPECT_EQ(preview.pageRect().size(), zoomed);
    EXPECT_FALSE(preview.nextAction()->isEnabled());
    EXPECT_TRUE(preview.previousAction()->isEnabled());
    preview.previousAction()->trigger();
    EXPECT_EQ(preview.currentPage(), count - 1);

    // Page Up, Page Down, Home and End page through the document from the view.
    preview.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    QTest::keyClick(preview.view(), Qt::Key_Home);
    EXPECT_EQ(preview.currentPage(), 1);
    QTest::keyClick(preview.view(), Qt::Key_PageDown);
    EXPECT_EQ(preview.currentPage(), 2);
    QTest::keyClick(preview.view(), Qt::Key_End);
    EXPECT_EQ(preview.currentPage(), count);
    QTest::keyClick(preview.view(), Qt::Key_PageUp);
    EXPECT_EQ(preview.currentPage(), count - 1);
}

TEST(PrintPreviewWindow, ZoomingInScrollsDownOnlyWhileThePageIsNarrowerThanTheView)
{
    TestProgram test;
    PagedTextEdit edit(test.program);
    fillReport(edit, 3);
    QTemporaryDir dir;
    QPdfWriter page(dir.filePath(QStringLiteral("uklad.pdf")));
    page.setPageSize(QPageSize(QPageSize::A4));
    PrintPreviewWindow preview(test.program, edit.recordPages(page), QSize(page.width(), page.height()),
                               pdfPrinters({}, QString()));
    preview.resize(900, 700);
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    QToolButton* zoomIn = nullptr;
    for (auto* bar : preview.findChildren<QToolBar*>())
        for (QAction* action : bar->actions())
            if (action->text() == QStringLiteral("Powiększ"))
                zoomIn = qobject_cast<QToolButton*>(bar->widgetForAction(action));
    ASSERT_NE(zoomIn, nullptr);
    QTest::mouseClick(zoomIn, Qt::LeftButton);
    QApplication::processEvents();
    ASSERT_LT(preview.pageRect().width() + 40, preview.view()->width()); // still narrower
    EXPECT_TRUE(preview.view()->verticalScrollBar()->isVisible());
    EXPECT_FALSE(preview.view()->horizontalScrollBar()->isVisible());
}

TEST(PrintPreviewWindow, PrintsTheOddPagesOfARangeAndRefusesAnEmptyOne)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    TestProgram test;
    QTemporaryDir dir;
    const QString printed = dir.filePath(QStringLiteral("drukarka.pdf"));
    const PrinterAccess printers = pdfPrinters({QStringLiteral("Testowa")}, printed);
    PagedTextEdit edit(test.program);
    fillReport(edit, 500);
    QPdfWriter page(dir.filePath(QStringLiteral("uklad.pdf")));
    page.setPageSize(QPageSize(QPageSize::A4));
    page.setPageMargins(QMarginsF(0, 0, 0, 0));
    const QList<QPicture> pages = edit.recordPages(page);
    ASSERT_GE(pages.size(), 8);
    PrintPreviewWindow preview(test.program, pages, QSize(page.width(), page.height()), printers);

    PrintRangeWindow& range = *preview.rangeWindow();
    range.prepare(preview.pageCount());
    range.show();
    clickRadio(range.pagesChoice());
    typeOver(range.fromField(), QStringLiteral("2"));
    typeOver(range.toField(), QStringLiteral("7"));
    range.parityList()->setCurrentIndex(1); // "Strony nieparzystte"
    ASSERT_TRUE(preview.printPages(range.range()));
    EXPECT_EQ(pdfPageFooters(printed),
              QStringList({QStringLiteral("strona 3"), QStringLiteral("strona 5"), QStringLiteral("strona 7")}));

    QFile::remove(printed);
    typeOver(range.fromField(), QStringLiteral("4"));
    typeOver(range.toField(), QStringLiteral("4"));
    EXPECT_FALSE(preview.printPages(range.range()));
    EXPECT_FALSE(QFile::exists(printed)); // no job, not even a blank page
    EXPECT_EQ(test.messages.shown.size(), 1);
}

TEST(ReportWindow, APrintedJobCarriesEachLineOfASplitParagraphOnce)
{
    // A line that a page break splits off used to be drawn, clipped, on the next page too: hidden
    // on paper but there in the job's text. Printed directly and from the preview's pages.
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    TestProgram test;
    QTemporaryDir dir;
    const QString printed = dir.filePath(QStringLiteral("drukarka.pdf"));
    const PrinterAccess printers = pdfPrinters({QStringLiteral("Testowa")}, printed);
    ReportWindow report(test.program);
    report.setPrinters(printers);
    const QStringList words = fillParagraphs(*report.document(), 40, 90);
    QTest::mouseClick(report.printButton(), Qt::LeftButton);
    EXPECT_EQ(pdfWords(printed), words);

    QFile::remove(printed);
    QPdfWriter page(dir.filePath(QStringLiteral("uklad.pdf")));
    page.setPageSize(QPageSize(QPageSize::A4));
    page.setPageMargins(QMarginsF(0, 0, 0, 0));
    const QList<QPicture> pages = report.document()->recordPages(page);
    ASSERT_GE(pages.size(), 3);
    PrintPreviewWindow preview(test.program, pages, QSize(page.width(), page.height()), printers);
    const int count = int(pages.size());
    ASSERT_TRUE(preview.printPages(printRange(PageParity::All, true, 1, count, count)));
    EXPECT_EQ(pdfWords(printed), words);
    EXPECT_TRUE(test.messages.shown.isEmpty());
}

TEST(PrintRangeWindow, FieldsFollowTheChoiceAndWholeIgnoresThem)
{
    PrintRangeWindow window;
    window.prepare(12);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Zakres drukowania"));
    EXPECT_EQ(window.parityList()->itemText(1), QStringLiteral("Strony nieparzystte"));
    EXPECT_EQ(window.fromField()->text(), QStringLiteral("1"));
    EXPECT_EQ(window.toField()->text(), QStringLiteral("12"));
    EXPECT_FALSE(window.fromField()->isEnabled());
    window.show();
    clickRadio(window.pagesChoice());
    EXPECT_TRUE(window.toField()->isEnabled());
    typeOver(window.fromField(), QStringLiteral("9"));
    typeOver(window.toField(), QStringLiteral("9999"));
    EXPECT_EQ(window.range().pages(), QList<int>({9, 10, 11, 12}));
    // Back on the whole document, the typed pages are ignored.
    clickRadio(window.wholeChoice());
    EXPECT_FALSE(window.fromField()->isEnabled());
    EXPECT_EQ(window.range().pages().size(), 12);
}

TEST(ReportWindow, NoPrinterMessagesAreThePrograms)
{
    TestProgram test;
    ReportWindow report(test.program);
    report.setPrinters(pdfPrinters({}, QString()));
    EXPECT_FALSE(report.printButton()->isEnabled());
    EXPECT_TRUE(report.previewButton()->isEnabled());
    report.print();
    QPdfWriter unused(QStringLiteral("/dev/null"));
    EXPECT_FALSE(report.document()->Print(unused));
    EXPECT_EQ(test.messages.shown,
              QStringList({QStringLiteral("W systemie nie została zainstalowana żadna drukarka - wydruk nie jest możliwy"),
                           QStringLiteral("Przygotowanie podglądu wydruku oraz wydruk nie sa możliwe.\n"
                                          "W systemie nie została zainstalowana żadna drukarka")}));

    test.messages.shown.clear();
    report.setPrinters(pdfPrinters({QStringLiteral("Testowa")}, QStringLiteral("/dev/null")));
    report.printerList()->setCurrentIndex(-1);
    report.print();
    report.preview();
    EXPECT_EQ(test.messages.shown,
              QStringList({QStringLiteral("Nie została wybrana żadna drukarka - wydruk nie jest możliwy"),
                           QStringLiteral("Nie została wybrana żadna drukarka - wygenerowanie podglądu wydruku nie "
                                          "jest możliwe")}));
}

TEST(ReportWindow, FontCommandReachesEveryCharacterAndPdfFailureIsReported)
{
    TestProgram test;
    ReportWindow report(test.program);
    QTextCursor cursor(report.document()->document());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setFontPointSize(10);
    cursor.insertText(QStringLiteral("Nagłówek"), bold);
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("treść"));
    report.applyDocumentFont(QStringLiteral("Liberation Serif"), 14);
    for (QTextBlock block = report.document()->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            EXPECT_EQ(it.fragment().charFormat().fontPointSize(), 14);
            EXPECT_EQ(it.fragment().charFormat().fontFamilies().toStringList().value(0),
                      QStringLiteral("Liberation Serif"));
        }
    EXPECT_EQ(report.document()->document()->begin().begin().fragment().charFormat().fontWeight(), QFont::Bold);

    QTemporaryDir dir;
    EXPECT_FALSE(report.saveAsPdf(dir.filePath(QStringLiteral("brak/raport.pdf"))));
    ASSERT_EQ(test.messages.shown.size(), 1);
    EXPECT_TRUE(test.messages.shown.first().startsWith(QStringLiteral("Nie udało się zapisać pliku PDF")));
    EXPECT_TRUE(report.saveAsPdf(dir.filePath(QStringLiteral("raport.pdf"))));
}
