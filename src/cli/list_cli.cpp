#include "cli/list_cli.h"
#include "cli/cli_support.h"
#include "cli/list_xml_cli.h"

#include "base/error.h"
#include "cli/list_import_cli.h"
#include "files/survey_file.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QStringEncoder>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>
#include <numeric>
#include <memory>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;
using cli::kUsage;

int usage(QTextStream& err, const QString& problem = QString())
{
    if (!problem.isEmpty())
        err << problem << '\n';
    err << "Użycie:\n"
           "  vestrum-cli list show PLIK RODZAJ\n"
           "  vestrum-cli list export PLIK RODZAJ PLIK.xml\n"
           "  vestrum-cli list import PLIK RODZAJ PLIK.xml [--save]\n"
           "  vestrum-cli list import-text PLIK RODZAJ TEKST (--separator=S | --lines=N) --map=K1,K2,... [--save]\n"
           "PLIK to plik danych (.naj) albo baza ankieta.mdb, RODZAJ to numer wykazu od 0 do 50.\n";
    err.flush();
    return kUsage;
}

constexpr quint64 kEveryByte = 0x0101010101010101;

// Whether one of the eight bytes of `word` equals `byte`: the classic test for a zero byte.
bool hasByte(quint64 word, unsigned char byte)
{
    const quint64 x = word ^ (kEveryByte * byte);
    return ((x - kEveryByte) & ~x & (kEveryByte << 7)) != 0;
}

bool isEscaped(char byte) { return byte == '\\' || byte == '\t' || byte == '\n' || byte == '\r'; }

// Whether any byte is one written escaped. Nearly every cell has none, so eight bytes are tested
// at a time.
bool anyEscaped(const char* begin, const char* end)
{
    const char* p = begin;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        if (hasByte(word, '\\') || hasByte(word, '\t') || hasByte(word, '\n') || hasByte(word, '\r'))
            return true;
    }
    return std::any_of(p, end, isEscaped);
}

// The escaped form of the bytes [from, end of buffer): a rare case, so it rebuilds the tail.
void escapeTail(QByteArray& buffer, qsizetype from)
{
    const QByteArray tail = buffer.mid(from);
    buffer.truncate(from);
    for (const char byte : tail) {
        switch (byte) {
        case '\\':
            buffer += "\\\\";
            break;
        case '\t':
            buffer += "\\t";
            break;
        case '\n':
            buffer += "\\n";
            break;
        case '\r':
            buffer += "\\r";
            break;
        default:
            buffer += byte;
        }
    }
}

// Appends one cell in UTF-8, escaped. The four escaped characters are ASCII, and no byte of a
// longer UTF-8 sequence is ASCII, so the encoded bytes can be searched directly.
void appendCell(QByteArray& buffer, QStringView cell, QStringEncoder& utf8)
{
    const qsizetype start = buffer.size();
    buffer.resize(start + utf8.requiredSpace(cell.size()));
    char* const end = utf8.appendToBuffer(buffer.data() + start, cell);
    buffer.truncate(end - buffer.constData());
    if (anyEscaped(buffer.constData() + start, end))
        escapeTail(buffer, start);
}

void appendRow(QByteArray& buffer, const QStringList& cells, QStringEncoder& utf8)
{
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c > 0)
            buffer += '\t';
        appendCell(buffer, cells[c], utf8);
    }
    buffer += '\n';
}

// A sorted list's rows lie scattered in memory, and waiting for each text to arrive costs more
// than encoding it. So the cell array of a row some way ahead and the texts of a nearer row are
// asked for early.
constexpr size_t kCellsAhead = 16;
constexpr size_t kTextsAhead = 8;

void prefetchAhead(const std::vector<QStringList>& rows, const std::vector<int>& order, size_t current)
{
    if (current + kCellsAhead < order.size())
        __builtin_prefetch(rows[static_cast<size_t>(order[current + kCellsAhead])].constData());
    if (current + kTextsAhead < order.size())
        for (const QString& cell : rows[static_cast<size_t>(order[current + kTextsAhead])])
            __builtin_prefetch(cell.constData());
}

// Each cell stands alone: a broken surrogate pair at the end of one never joins the next.
QStringEncoder cellEncoder() { return QStringEncoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless); }

// Rows go out in blocks of about this many bytes: big lists are written with few calls.
constexpr qsizetype kOutputBlock = 1 << 20;

void writeBytes(QTextStream& out, const QByteArray& bytes)
{
    out.flush();
    if (QIODevice* device = out.device())
        device->write(bytes);
    else
        out << QString::fromUtf8(bytes);
}

// Appends the rows order[begin..end) to `block`; whenever it holds a block's worth, `blockFull`
// (when given) takes it.
void encodeRows(const std::vector<QStringList>& rows, const std::vector<int>& order, size_t begin, size_t end,
                QByteArray& block, const std::function<void(QByteArray&)>& blockFull)
{
    QStringEncoder utf8 = cellEncoder();
    for (size_t i = begin; i < end; ++i) {
        prefetchAhead(rows, order, i);
        appendRow(block, rows.at(static_cast<size_t>(order[i])), utf8);
        if (blockFull && block.size() >= kOutputBlock)
            blockFull(block);
    }
}

// Lists from this many rows on are encoded on two threads.
constexpr size_t kRowsForTwoThreads = 4096;

} // namespace

QString escapeListCell(const QString& cell)
{
    QStringEncoder utf8 = cellEncoder();
    QByteArray bytes;
    appendCell(bytes, cell, utf8);
    return QString::fromUtf8(bytes);
}

void writeListRow(QTextStream& out, const QStringList& cells)
{
    QStringEncoder utf8 = cellEncoder();
    QByteArray bytes;
    appendRow(bytes, cells, utf8);
    writeBytes(out, bytes);
}

void printListGrid(const lists::ListGrid& grid, QTextStream& out, const std::vector<int>& order)
{
    // Long lists are encoded on both cores: the second half of the rows into a buffer of its own
    // while this thread writes the first half out.
    const size_t half = order.size() >= kRowsForTwoThreads ? order.size() / 2 : order.size();
    QByteArray secondHalf;
    std::thread helper;
    if (half < order.size())
        helper = std::thread([&] { encodeRows(grid.rows(), order, half, order.size(), secondHalf, {}); });

    QByteArray block;
    block.reserve(kOutputBlock + kOutputBlock / 4);
    QStringEncoder utf8 = cellEncoder();
    appendRow(block, grid.headers(), utf8);
    encodeRows(grid.rows(), order, 0, half, block, [&out](QByteArray& full) {
        writeBytes(out, full);
        full.resize(0);
    });
    writeBytes(out, block);
    if (helper.joinable())
        helper.join();
    writeBytes(out, secondHalf);
    out.flush();
}

void printListGrid(const lists::ListGrid& grid, QTextStream& out)
{
    std::vector<int> order(grid.rows().size());
    std::iota(order.begin(), order.end(), 0);
    printListGrid(grid, out, order);
}

int runListCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (isListXmlCommand(args))
        return runListXmlCommand(args, out, err);
    if (!args.isEmpty() && args[0] == QLatin1String("import-text"))
        return runListImportText(args.mid(1), out, err, QCoreApplication::applicationDirPath());
    if (args.size() != 3 || args[0] != QLatin1String("show"))
        return usage(err);
    bool ok = false;
    const int kind = args[2].toInt(&ok);
    if (!ok || !lists::isListKind(kind))
        return usage(err, QStringLiteral("Nieznany rodzaj wykazu: %1.").arg(args[2]));

    try {
        QTemporaryDir scratch;
        db::Connection connection;
        OpenSurveyFile(connection, args[1], scratch);
        // Printed in the editor's order without moving the rows: a sorted list's rows lie scattered
        // in memory, and freeing them in the order they were loaded is several times faster.
        lists::ListGrid grid = lists::LoadList(connection, kind).grid;
        connection.close();
        const std::vector<int> order = lists::EditorOrder(grid);
        printListGrid(grid, out, order);
        return kOk;
    } catch (const Error& e) {
        err << e.message() << '\n';
        err.flush();
        return kFailed;
    }
}

} // namespace vestrum
