// Text import of 10,000 publication lines of six fields: reading them into rows, identifying every journal
// against the shipped journal list and checking every row, from plain text, from the CSV a spreadsheet writes
// (every field quoted, separators and quotes inside) and from an .xlsx workbook; then showing those rows in the
// import window's preview.
#include "bench_support.h"

#include "base/clock.h"
#include "gui/common/list_grid_view.h"
#include "gui/common/progress_window.h"
#include "gui/import/text_import_window.h"
#include "import/import_rules.h"
#include "import/import_text.h"
#include "import/spreadsheet_reader.h"
#include "lists/journal_identification.h"
#include "lists/list_catalogue.h"
#include "program/program.h"
#include "storage/engine.h"
#include "storage/journal_list.h"
#include "storage/schema.h"

#include <QTemporaryDir>

#include "../tests/import/workbook_files.h"

#include <cstdio>
#include <map>
#include <string>

using namespace vestrum;

namespace {

constexpr int kLines = 10000;
constexpr int kKind = 3; // 8.1.a publications

struct ShippedList {
    QTemporaryDir dir;
    db::Connection connection;
    lists::JournalList list { connection };

    ShippedList()
    {
        const QString path = dir.filePath(QStringLiteral("lista_czasopism.mdb"));
        journals::createJournalListDatabase(path);
        connection.open(path, schema::databasePassword());
        list.open();
    }
};

ShippedList& shippedList()
{
    static ShippedList list;
    return list;
}

// Lines as a unit's bibliography tool writes them: journal, title, authors, volume, two fields the map skips.
// Most journals are typed as listed in another letter case, some are not on the list.
QString publicationText()
{
    lists::JournalList& list = shippedList().list;
    QString text;
    for (int i = 0; i < kLines; ++i) {
        const QString listed = list.journal((i * 7919) % list.count()).name;
        const QString journal = i % 4 == 3 ? QStringLiteral("Zeszyty Naukowe Wydziału nr %1").arg(i)
                                           : (i % 2 == 0 ? listed.toUpper() : listed);
        text += journal
            + QStringLiteral(";Badania nad zjawiskiem %1 w warunkach polowych;Kowalski J., Żak Ł.;"
                             "2008, %2, 11-40;DOI 10.1000/%1;uwagi\r\n")
                  .arg(i)
                  .arg(i % 120);
    }
    return text;
}

// The same rows as a spreadsheet's CSV: every field quoted, the authors holding the separator, the
// title a quoted word.
QString quotedPublicationText()
{
    QString text;
    for (const QString& line : importing::SplitLines(publicationText())) {
        QStringList fields = line.split(QLatin1Char(';'));
        fields[1] = QStringLiteral("%1 \"polowych\"").arg(fields[1]);
        fields[2].replace(QLatin1String(", "), QLatin1String("; "));
        for (QString& field : fields)
            field = QLatin1Char('"') + field.replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
        text += fields.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    }
    return text;
}

// The same rows in a workbook, text in shared strings as Excel keeps it.
QString publicationWorkbook(const QTemporaryDir& dir)
{
    QByteArray rows;
    QByteArray strings;
    int shared = 0;
    int r = 0;
    for (const QString& line : importing::SplitLines(publicationText())) {
        ++r;
        rows += "<row r=\"" + QByteArray::number(r) + "\">";
        const QStringList fields = line.split(QLatin1Char(';'));
        for (int c = 0; c < fields.size(); ++c) {
            rows += "<c r=\"" + QByteArray(1, char('A' + c)) + QByteArray::number(r) + "\" t=\"s\"><v>"
                + QByteArray::number(shared++) + "</v></c>";
            strings += "<si><t>" + fields[c].toHtmlEscaped().toUtf8() + "</t></si>";
        }
        rows += "</row>";
    }
    const QString path = dir.filePath(QStringLiteral("publikacje.xlsx"));
    const auto members = testing::XlsxMembers({ { QStringLiteral("Publikacje"), rows + "</sheetData>" } }, strings);
    testing::WriteZip(path, members);
    return path;
}

importing::ImportStructure publicationMap()
{
    importing::ImportStructure s;
    for (int p = 0; p < 4; ++p)
        s.map[static_cast<size_t>(p)] = p;
    return s;
}

std::map<std::string, double> secondsPerRun;

void BM_ReadIdentifyAndCheck10k(benchmark::State& state)
{
    lists::JournalList& list = shippedList().list;
    const QString text = publicationText();
    const importing::ImportStructure structure = publicationMap();
    std::size_t findings = 0;
    for (auto _ : state) {
        const importing::ImportedRows read = importing::ReadRecords(kKind, text, structure, &list);
        std::vector<QStringList> handOver;
        findings = importing::CheckRows(kKind, read.rows, importing::CheckContext { 2008, {} }, &handOver).size();
        benchmark::DoNotOptimize(handOver);
    }
    state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_ReadIdentifyAndCheck10k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_QuotedCsvReadIdentifyAndCheck10k(benchmark::State& state)
{
    lists::JournalList& list = shippedList().list;
    const QByteArray bytes = quotedPublicationText().toUtf8();
    const importing::ImportStructure structure = publicationMap();
    std::size_t rows = 0;
    for (auto _ : state) {
        const importing::DecodedText text = importing::DecodeImportBytes(bytes);
        const importing::ImportedRows read = importing::ReadRecords(kKind, text.text, structure, &list);
        std::vector<QStringList> handOver;
        importing::CheckRows(kKind, read.rows, importing::CheckContext { 2008, {} }, &handOver);
        rows = handOver.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_QuotedCsvReadIdentifyAndCheck10k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_XlsxReadIdentifyAndCheck10k(benchmark::State& state)
{
    lists::JournalList& list = shippedList().list;
    QTemporaryDir dir;
    const QString path = publicationWorkbook(dir);
    const importing::ImportStructure structure = publicationMap();
    std::size_t rows = 0;
    for (auto _ : state) {
        const importing::Spreadsheet sheet = importing::ReadSpreadsheet(path);
        const importing::ImportedRows read = importing::ReadSheetRecords(kKind, sheet.rows, structure, &list);
        std::vector<QStringList> handOver;
        importing::CheckRows(kKind, read.rows, importing::CheckContext { 2008, {} }, &handOver);
        rows = handOver.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_XlsxReadIdentifyAndCheck10k)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShowPreview10k(benchmark::State& state)
{
    struct Silent final : Messages {
        MessageResponse present(const MessageRequest&) override { return { MessageAnswer::Yes, false }; }
    } messages;
    SystemClock clock;
    Program program(messages, clock);
    ProgressWindow progress;
    TextImportWindow window(program, shippedList().list, progress);
    window.resize(1200, 800);
    window.prepare(kKind);
    const std::vector<QStringList> rows
        = importing::ReadRecords(kKind, publicationText(), publicationMap(), &shippedList().list).rows;
    for (auto _ : state) {
        state.PauseTiming();
        window.preview()->clearData();
        state.ResumeTiming();
        window.preview()->setDataRows(rows);
        window.showPage(TextImportWindow::PreviewPage);
    }
    state.counters["rows"] = window.preview()->dataRowCount();
}
BENCHMARK(BM_ShowPreview10k)->Unit(benchmark::kMillisecond)->Iterations(5);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            secondsPerRun[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const std::pair<const char*, double> targets[] = { { "BM_ReadIdentifyAndCheck10k/iterations:5", 1.0 },
        { "BM_QuotedCsvReadIdentifyAndCheck10k/iterations:5", 1.0 }, { "BM_XlsxReadIdentifyAndCheck10k/iterations:5", 1.0 },
        { "BM_ShowPreview10k/iterations:5", 0.3 } };
    std::printf("\n%-52s %9s %9s %7s\n", "", "seconds", "target", "ratio");
    for (const auto& [name, target] : targets) {
        const auto found = secondsPerRun.find(name);
        if (found == secondsPerRun.end())
            continue;
        std::printf("%-52s %9.3f %9.3f %7.2f\n", name, found->second, target, found->second / target);
    }
    std::puts("Targets: 10,000 publication lines read, identified and checked < 1 s (as text, as a quoted CSV and "
              "as an .xlsx); their preview shown < 0.3 s (ratio below 1 meets the target).");
    return 0;
}
