// A report of 200 pages to PDF: lay-out, header and footer on every page, fonts embedded, the
// document information and a bookmark for every heading (headings kept with their next line).
// Target: under 3 s for the whole file. Also the preview's recordings of the same pages.
#include "print/paged_document.h"
#include "print/pdf_structure.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int TargetPages = 200;
constexpr double TargetSeconds = 3.0;

vestrum::PageLayout reportLayout()
{
    vestrum::PageLayout layout;
    layout.header_text = QStringLiteral("Vestrum za rok 2008");
    layout.header_height = 15;
    layout.header_align = vestrum::TMy_Align::mal_center;
    layout.header_line = 100;
    layout.header_Font = QFont(QStringLiteral("Times New Roman"), 9, QFont::Bold);
    layout.footer_text = QStringLiteral("strona &p");
    layout.footer_height = 15;
    layout.footer_align = vestrum::TMy_Align::mal_center;
    layout.footer_line = 70;
    layout.footer_Font = QFont(QStringLiteral("Times New Roman"), 8);
    layout.Margin_left = layout.Margin_right = layout.Margin_top = layout.Margin_bottom = 20;
    return layout;
}

// Report-like runs: headings in bold, labels in italic, values regular, list rows, until the
// document fills `pages` A4 pages.
std::unique_ptr<QTextDocument> reportOfPages(int pages)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDefaultFont(QFont(QStringLiteral("Liberation Sans"), 10));
    QTextCharFormat bold, italic, regular;
    bold.setFontWeight(QFont::Bold);
    italic.setFontItalic(true);
    QTextCursor cursor(document.get());
    QPdfWriter page(QStringLiteral("/dev/null"));
    page.setPageSize(QPageSize(QPageSize::A4));
    page.setPageMargins(QMarginsF(0, 0, 0, 0));
    vestrum::setPdfInfo(*document, {QStringLiteral("Ankieta Instytutu Łączności za rok 2008"),
                                    QStringLiteral("Instytut Łączności"),
                                    QStringLiteral("Ankieta jednostki naukowej za rok 2008")});
    for (int section = 1;; ++section) {
        const QTextBlock heading = cursor.block();
        const QString title = QStringLiteral("%1. Dane o publikacjach naukowych i monografiach").arg(section);
        cursor.insertText(title + QLatin1Char('\n'), bold);
        vestrum::markKeepWithNext(heading);
        vestrum::addOutlineItem(heading, title, section % 2);
        for (int row = 1; row <= 40; ++row) {
            cursor.insertText(QStringLiteral(" - "), italic);
            cursor.insertText(QStringLiteral("Kowalski J., Wiśniewska Ż.; Łączenie źródeł w badaniach gęstości; "
                                             "Przegląd Naukowy %1; 2008; %2 pkt\n")
                                  .arg(row)
                                  .arg(row % 24),
                              regular);
        }
        if (section % 5 == 0) {
            vestrum::PagedDocument laidOut(*document, reportLayout(), page);
            if (laidOut.pageCount() >= pages)
                break;
        }
    }
    return document;
}

QTextDocument& report()
{
    static const std::unique_ptr<QTextDocument> document = reportOfPages(TargetPages);
    return *document;
}

void BM_ReportToPdf(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("raport.pdf"));
    int pages = 0;
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        pages = vestrum::writePdf(report(), reportLayout(), path);
        seconds += timer.nsecsElapsed() / 1e9;
    }
    state.counters["pages"] = pages;
    state.counters["ratio_to_target"] = seconds / double(state.iterations()) / TargetSeconds;
}
BENCHMARK(BM_ReportToPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

// The share of the file's time that the document information and the outline take: Qt's pages
// written once into memory, then only the structure added to them.
void BM_PdfStructure(benchmark::State& state)
{
    QBuffer staged;
    staged.open(QIODevice::WriteOnly);
    std::vector<vestrum::OutlineItem> outline;
    {
        QPdfWriter writer(&staged);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        vestrum::PagedDocument pages(report(), reportLayout(), writer);
        QPainter painter(&writer);
        for (int n = 1; n <= pages.pageCount(); ++n) {
            if (n > 1)
                writer.newPage();
            pages.paintPage(painter, n);
        }
        outline = pages.outline();
    }
    const vestrum::PdfInfo info = vestrum::pdfInfo(report());
    for (auto _ : state)
        benchmark::DoNotOptimize(vestrum::addPdfStructure(staged.data(), info, QStringLiteral("Vestrum"), outline));
    state.counters["bookmarks"] = double(outline.size());
    state.counters["MB"] = double(staged.data().size()) / 1e6;
}
BENCHMARK(BM_PdfStructure)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PreviewRecordings(benchmark::State& state)
{
    QPdfWriter page(QStringLiteral("/dev/null"));
    page.setPageSize(QPageSize(QPageSize::A4));
    page.setPageMargins(QMarginsF(0, 0, 0, 0));
    for (auto _ : state) {
        vestrum::PagedDocument pages(report(), reportLayout(), page);
        qint64 bytes = 0;
        for (int n = 1; n <= pages.pageCount(); ++n)
            bytes += pages.recordPage(n).size();
        state.counters["kB_per_page"] = double(bytes) / pages.pageCount() / 1024.0;
    }
}
BENCHMARK(BM_PreviewRecordings)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    report(); // built before the clock starts
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("target: %d pages to PDF in under %.0f s (ratio_to_target < 1)\n", TargetPages, TargetSeconds);
    return 0;
}
