// Archive throughput: AddFile of a 50 MB survey database at fcDefault and ExtractAll of it (its CRC checked, as
// loading a data file does), each beside plain zlib deflate/inflate of the same bytes in memory on one thread,
// plus the peak memory of both operations.
// Targets: AddFile >= 1.7x the single-thread deflate on 2 cores (it deflates in blocks on every core), its member
// at most 1 % larger than the single-thread stream, ExtractAll >= 0.9x plain inflate and, since it inflates the
// blocks apart on every core, >= 1.6x, peak memory <= 2x the file.
#include "archive/zlb_archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kDatabaseSize = 50LL * 1024 * 1024;

QString benchFolder()
{
    const QString folder = QDir::tempPath() + QStringLiteral("/vestrum-bench-archive");
    QDir().mkpath(folder);
    return folder;
}

// A survey database as the program keeps it: many short rows of Polish text, codes and amounts. Built once and
// kept in the temporary folder, since filling 50 MB takes longer than the measurements.
QString surveyDatabase()
{
    const QString path = benchFolder() + QStringLiteral("/ankieta.mdb");
    if (QFileInfo(path).size() >= kDatabaseSize)
        return path;
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot create the bench database");
    sqlite3_exec(db,
                 "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                 "CREATE TABLE odpowiedzi (id INTEGER PRIMARY KEY AUTOINCREMENT, sekcja INTEGER, pole VARCHAR(10),"
                 " tresc TEXT, kwota REAL, rok INTEGER);"
                 "CREATE INDEX odpowiedzi_pole ON odpowiedzi(sekcja, pole);",
                 nullptr, nullptr, nullptr);
    static const char* const words[] = {
        "publikacja", "monografia", "rozdział", "czasopismo", "konferencja", "patent", "wdrożenie", "grant",
        "projekt", "badania", "jednostka", "wydział", "instytut", "zatrudnienie", "etat", "doktorat",
        "habilitacja", "profesor", "adiunkt", "asystent", "przychody", "koszty", "aparatura", "laboratorium",
        "współpraca", "zagraniczna", "krajowa", "nagroda", "wyróżnienie", "ekspertyza", "norma", "licencja",
        "Kraków", "Warszawa", "Poznań", "Gdańsk", "Wrocław", "Łódź", "Lublin", "Białystok", "i", "w", "na", "do"};
    std::mt19937 rng(2005);
    std::uniform_int_distribution<int> word(0, int(std::size(words)) - 1), length(3, 24), section(1, 24),
        field(1, 400), year(1995, 2005);
    std::uniform_real_distribution<double> amount(0, 1e6);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO odpowiedzi (sekcja, pole, tresc, kwota, rok) VALUES (?,?,?,?,?)", -1, &insert,
                       nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (qint64 row = 1;; ++row) {
        std::string text;
        for (int i = length(rng); i > 0; --i)
            text.append(words[word(rng)]).push_back(' ');
        const std::string code = "e" + std::to_string(field(rng));
        sqlite3_bind_int(insert, 1, section(rng));
        sqlite3_bind_text(insert, 2, code.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 4, double(qRound64(amount(rng) * 100)) / 100);
        sqlite3_bind_int(insert, 5, year(rng));
        sqlite3_step(insert);
        sqlite3_reset(insert);
        if (row % 20000 == 0) {
            sqlite3_exec(db, "COMMIT; BEGIN", nullptr, nullptr, nullptr);
            if (QFileInfo(path).size() >= kDatabaseSize)
                break;
        }
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return path;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// Plain zlib in memory, the way any program would call it: one stream, a 64 KiB output buffer.
qint64 plainDeflate(const QByteArray& in, std::vector<char>& out)
{
    z_stream zs{};
    deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    zs.avail_in = static_cast<uInt>(in.size());
    out.resize(deflateBound(&zs, static_cast<uLong>(in.size())));
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    const auto size = static_cast<qint64>(zs.total_out);
    deflateEnd(&zs);
    return size;
}

void plainInflate(const char* packed, qint64 packedSize, std::vector<char>& out)
{
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed));
    zs.avail_in = static_cast<uInt>(packedSize);
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    inflate(&zs, Z_FINISH);
    inflateEnd(&zs);
}

// Peak resident memory of this process, measured from a reset just before an operation.
void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

qint64 peakMemoryBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return -1;
}

qint64 currentMemoryBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) * 1024;
    return -1;
}

QString newArchiveWith(const QString& archivePath, const QString& member)
{
    QFile::remove(archivePath);
    QFile(archivePath).open(QIODevice::WriteOnly);
    vestrum::ZlbArchive archive;
    archive.OpenArchive(archivePath);
    archive.AddFile(member);
    if (!archive.LastFailure().isEmpty())
        throw std::runtime_error(archive.LastFailure().toStdString());
    return archivePath;
}

void BM_AddFile(benchmark::State& state)
{
    const QString database = surveyDatabase();
    const QString archivePath = benchFolder() + QStringLiteral("/dodaj.naj");
    for (auto _ : state) {
        state.PauseTiming(); // removing the last round's archive is not part of adding
        QFile::remove(archivePath);
        state.ResumeTiming();
        newArchiveWith(archivePath, database);
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(database).size());
}

void BM_PlainDeflate(benchmark::State& state)
{
    const QByteArray bytes = readAll(surveyDatabase());
    std::vector<char> out;
    for (auto _ : state)
        benchmark::DoNotOptimize(plainDeflate(bytes, out));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_ExtractAll(benchmark::State& state)
{
    const QString database = surveyDatabase();
    const QString archivePath = newArchiveWith(benchFolder() + QStringLiteral("/rozpakuj.naj"), database);
    const QString target = benchFolder() + QStringLiteral("/rozpakowane");
    vestrum::ZlbArchive archive;
    archive.OpenArchive(archivePath);
    archive.SetCheckCRC(true); // as loading a data file does
    for (auto _ : state) {
        state.PauseTiming(); // nor is deleting the last round's 50 MB part of extracting
        QDir(target).removeRecursively();
        state.ResumeTiming();
        archive.ExtractAll(target);
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(database).size());
}

void BM_PlainInflate(benchmark::State& state)
{
    const QByteArray bytes = readAll(surveyDatabase());
    std::vector<char> packed;
    const qint64 packedSize = plainDeflate(bytes, packed);
    std::vector<char> out(static_cast<size_t>(bytes.size()));
    for (auto _ : state)
        plainInflate(packed.data(), packedSize, out);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

BENCHMARK(BM_PlainDeflate)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_AddFile)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_PlainInflate)->Unit(benchmark::kMillisecond)->Iterations(10)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_ExtractAll)->Unit(benchmark::kMillisecond)->Iterations(10)->MeasureProcessCPUTime()->UseRealTime();

// Keeps each benchmark's time per iteration for the comparison printed at the end.
class ComparingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            seconds[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
            cpuSeconds[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const QString database = surveyDatabase();
    const qint64 size = QFileInfo(database).size();

    // Memory first, before the in-memory comparisons load their 50 MB buffers.
    const QString archivePath = benchFolder() + QStringLiteral("/pamiec.naj");
    const qint64 idle = currentMemoryBytes();
    resetPeakMemory();
    newArchiveWith(archivePath, database);
    const qint64 addPeak = peakMemoryBytes();
    vestrum::ZlbArchive archive;
    archive.OpenArchive(archivePath);
    archive.SetCheckCRC(true);
    resetPeakMemory();
    archive.ExtractAll(benchFolder() + QStringLiteral("/pamiec"));
    const qint64 extractPeak = peakMemoryBytes();
    const double packed = double(archive.GetFileEntry(0).StoredSize);
    double plainPacked = 0;
    {
        std::vector<char> out;
        plainPacked = double(plainDeflate(readAll(database), out));
    }

    ComparingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double mb = 1024.0 * 1024.0;
    std::printf("\nDatabase %.1f MB, stored in the archive as %.1f MB (%.1f%%)\n", double(size) / mb, packed / mb,
                100.0 * packed / double(size));
    const double growth = 100.0 * (packed / plainPacked - 1.0);
    std::printf("Member vs single-thread deflate: %.3f MB vs %.3f MB, %+.2f%% (target <= +1%%) %s\n", packed / mb,
                plainPacked / mb, growth, growth <= 1.0 ? "met" : "MISSED");
    std::printf("Cores: %u\n", std::thread::hardware_concurrency());
    // Wall-clock throughput is what the user waits for. The CPU ratio (every thread of the process) shows what the
    // blocks cost beside one stream: near 1 when the cores only share the work, lower by what priming costs.
    std::printf("%-24s %9s %11s %7s %11s %7s %7s\n", "", "MB/s", "plain MB/s", "ratio", "CPU ratio", "target", "");
    const auto compare = [&](const char* label, const char* ours, const char* plain, double target) {
        if (!reporter.seconds.count(ours) || !reporter.seconds.count(plain))
            return;
        const double oursRate = double(size) / reporter.seconds[ours] / 1e6;
        const double plainRate = double(size) / reporter.seconds[plain] / 1e6;
        const double cpuRatio = reporter.cpuSeconds[plain] / reporter.cpuSeconds[ours];
        std::printf("%-24s %9.1f %11.1f %7.3f %11.3f %7.2f %7s\n", label, oursRate, plainRate, oursRate / plainRate,
                    cpuRatio, target, oursRate / plainRate >= target ? "met" : "MISSED");
    };
    compare("AddFile vs deflate", "BM_AddFile/iterations:3/process_time/real_time", "BM_PlainDeflate/iterations:3/process_time/real_time", 1.7);
    compare("ExtractAll vs inflate", "BM_ExtractAll/iterations:10/process_time/real_time", "BM_PlainInflate/iterations:10/process_time/real_time",
            0.9);
    compare("ExtractAll, blocks apart", "BM_ExtractAll/iterations:10/process_time/real_time",
            "BM_PlainInflate/iterations:10/process_time/real_time", 1.6);
    std::printf("Peak memory (whole process, %.1f MB before): AddFile %.1f MB = %.2fx file, ExtractAll %.1f MB = "
                "%.2fx file (target <= 2x)\n",
                double(idle) / mb, double(addPeak) / mb, double(addPeak) / double(size), double(extractPeak) / mb,
                double(extractPeak) / double(size));
    benchmark::Shutdown();
    return 0;
}
