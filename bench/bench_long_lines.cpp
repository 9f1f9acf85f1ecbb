// A text of 5 MB in one line against the same bytes in 100,000 lines: read from the file, decoded, cut into
// records and checked as `vestrum-cli list import-text` does it, in "znak/znaki:" mode and in "koniec linii"
// mode; taken from the clipboard; and loaded and read in the import window. The one line may cost at most
// twice the many lines (both linear in the size), and each is read, or refused, in under a second.
#include "bench_support.h"

#include "base/clock.h"
#include "gui/common/progress_window.h"
#include "gui/import/text_import_window.h"
#include "import/import_rules.h"
#include "import/import_text.h"
#include "lists/journal_identification.h"
#include "program/program.h"
#include "storage/engine.h"
#include "storage/journal_list.h"

#include <QFile>
#include <QTemporaryDir>

#include <string>

using namespace vestrum;

namespace {

constexpr int kLines = 100000;
constexpr int kKind = 19; // scientific networks: three text columns
constexpr int kFieldsPerLine = 26;

// 100,000 lines of 26 fields "a" ("a;a;…;a\n", 52 bytes); the one-line text has ";" for every line break.
QByteArray manyLines()
{
    QByteArray line;
    for (int f = 0; f < kFieldsPerLine; ++f)
        line += f + 1 < kFieldsPerLine ? "a;" : "a\n";
    return line.repeated(kLines);
}

QByteArray oneLine()
{
    QByteArray bytes = manyLines();
    bytes.replace('\n', ';');
    bytes.back() = '\n';
    return bytes;
}

struct Files {
    QTemporaryDir dir;
    QString one = dir.filePath(QStringLiteral("jeden_wiersz.csv"));
    QString many = dir.filePath(QStringLiteral("wiele_wierszy.csv"));

    Files()
    {
        for (const auto& [path, bytes] : { std::pair { one, oneLine() }, std::pair { many, manyLines() } }) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                std::abort();
        }
    }
};

Files& files()
{
    static Files made;
    return made;
}

importing::ImportStructure separated()
{
    importing::ImportStructure s;
    s.map[0] = 0;
    s.map[1] = 1;
    return s;
}

importing::ImportStructure fixedLines()
{
    importing::ImportStructure s = separated();
    s.mode = importing::SeparatorMode::LineEnds;
    s.linesPerRecord = 2;
    return s;
}

// What the headless command does with a file: read, decode, cut into records and check every row.
void readAndCheck(benchmark::State& state, const QString& path, const importing::ImportStructure& structure)
{
    std::size_t rows = 0;
    for (auto _ : state) {
        const importing::DecodedText text = importing::ReadImportFile(path);
        const importing::ImportedRows read = importing::ReadRecords(kKind, text.text, structure, nullptr);
        std::vector<QStringList> handOver;
        importing::CheckRows(kKind, read.rows, importing::CheckContext { 2008, {} }, &handOver);
        rows = read.rows.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}

void BM_OneLineFile(benchmark::State& state) { readAndCheck(state, files().one, separated()); }
void BM_ManyLinesFile(benchmark::State& state) { readAndCheck(state, files().many, separated()); }
void BM_OneLineFileFixedLines(benchmark::State& state) { readAndCheck(state, files().one, fixedLines()); }
void BM_ManyLinesFileFixedLines(benchmark::State& state) { readAndCheck(state, files().many, fixedLines()); }
BENCHMARK(BM_OneLineFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ManyLinesFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OneLineFileFixedLines)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ManyLinesFileFixedLines)->Unit(benchmark::kMillisecond)->Iterations(3);

// The clipboard's text: checked, then cut into records.
void readClipboard(benchmark::State& state, const QString& text)
{
    for (auto _ : state) {
        if (!importing::ClipboardTextProblem(text).isEmpty())
            std::abort();
        benchmark::DoNotOptimize(importing::ReadRecords(kKind, text, separated(), nullptr));
    }
}

void BM_OneLineClipboard(benchmark::State& state) { readClipboard(state, QString::fromLatin1(oneLine())); }
void BM_ManyLinesClipboard(benchmark::State& state) { readClipboard(state, QString::fromLatin1(manyLines())); }
BENCHMARK(BM_OneLineClipboard)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ManyLinesClipboard)->Unit(benchmark::kMillisecond)->Iterations(3);

// The import window: the file loaded into the text field and read into the preview.
void readInWindow(benchmark::State& state, const QString& path)
{
    struct Silent final : Messages {
        MessageResponse present(const MessageRequest&) override { return { MessageAnswer::Yes, false }; }
    } messages;
    SystemClock clock;
    Program program(messages, clock);
    db::Connection noDatabase;
    lists::JournalList journals(noDatabase);
    ProgressWindow progress;
    TextImportWindow window(program, journals, progress);
    window.resize(1200, 800);
    window.prepare(kKind);
    window.showPage(TextImportWindow::StructurePage);
    window.setMapColumn(0, 0);
    window.setMapColumn(1, 1);
    window.show();
    for (auto _ : state) {
        window.loadTextFromFile(path);
        window.readIntoStructure();
        QApplication::processEvents();
        state.PauseTiming();
        window.showPage(TextImportWindow::StructurePage);
        state.ResumeTiming();
    }
}

void BM_OneLineWindow(benchmark::State& state) { readInWindow(state, files().one); }
void BM_ManyLinesWindow(benchmark::State& state) { readInWindow(state, files().many); }
BENCHMARK(BM_OneLineWindow)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ManyLinesWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    return RunWidgetBenchmarks(argc, argv, [](const TargetReporter& r) {
        const std::pair<const char*, const char*> pairs[] = { { "BM_OneLineFile", "BM_ManyLinesFile" },
            { "BM_OneLineFileFixedLines", "BM_ManyLinesFileFixedLines" },
            { "BM_OneLineClipboard", "BM_ManyLinesClipboard" }, { "BM_OneLineWindow", "BM_ManyLinesWindow" } };
        for (const auto& [one, many] : pairs) {
            const std::string label = std::string(one) + " / many lines";
            r.printRatio(label.c_str(), one, many, 2.0);
            r.printUnder(one, one, 1000);
            r.printUnder(many, many, 1000);
        }
        std::puts("Targets: 5 MB in one line costs at most 2x the same bytes in 100,000 lines, and each is read "
                  "(or refused) in under 1 s.");
    });
}
