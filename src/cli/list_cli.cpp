#include "cli/list_cli.h"
#include "cli/cli_support.h"
#include "cli/list_xml_cli.h"

#include "base/error.h"
#include "cli/list_identify_cli.h"
#include "cli/list_import_bib_cli.h"
#include "cli/list_import_cli.h"
#include "datafile/survey_file.h"
#include "datafile/scratch_folders.h"
#include "storage/engine.h"
#include "storage/schema.h"
#include "lists/list_catalogue.h"
#include "lists/list_data.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace vestrum {
namespace {

using cli::kFailed;
using cli::kOk;

int usage(QTextStream& err, const QString& problem = QString())
{
    return cli::RefuseUsage(err, problem,
                            "Użycie:\n"
                            "  vestrum-cli list show PLIK RODZAJ\n"
                            "  vestrum-cli list export PLIK RODZAJ PLIK.xml\n"
                            "  vestrum-cli list import PLIK RODZAJ PLIK.xml [--save] [--skip-duplicates]\n"
                            "  vestrum-cli list import-text PLIK RODZAJ TEKST (--separator=S | --lines=N) --map=K1,K2,... [--save]\n"
                            "      [--skip-duplicates]\n"
                            "  vestrum-cli list import-bib PLIK RODZAJ BIBLIOGRAFIA [--save] [--skip-duplicates]\n"
                            "  vestrum-cli list identify PLIK RODZAJ [--save]\n"
                            "PLIK to plik danych (.naj) albo baza ankieta.mdb, RODZAJ to numer wykazu od 0 do 50.\n");
}

constexpr quint64 kEveryByte = 0x0101010101010101;

// Whether one of the eight bytes of `word` equals `byte`: the classic test for a zero byte.
bool hasByte(quint64 word, unsigned char byte)
{
    const quint64 x = word ^ (kEveryByte * byte);
    return ((x - kEveryByte) & ~x & (kEveryByte << 7)) != 0;
}

// Whether one of the eight bytes of `word` is below `bound` (at most 128).
bool hasByteBelow(quint64 word, unsigned char bound)
{
    return ((word - kEveryByte * bound) & ~word & (kEveryByte << 7)) != 0;
}

bool isEscaped(char byte) { return byte == '\\' || byte == '\t' || byte == '\n' || byte == '\r'; }

// Whether any byte is one written escaped. Nearly every cell has none, so eight bytes are tested
// at a time: for a backslash, and for any control character up to a carriage return, which are
// rare enough to be looked at one by one when they occur.
bool anyEscaped(const char* begin, const char* end)
{
    const char* p = begin;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        if (hasByte(word, '\\') || (hasByteBelow(word, '\r' + 1) && std::any_of(p, p + 8, isEscaped)))
            return true;
    }
    return std::any_of(p, end, isEscaped);
}

// Writes the bytes escaped: a rare case, so it goes byte by byte.
char* writeEscaped(char* out, QByteArrayView cell)
{
    for (const char byte : cell) {
        switch (byte) {
        case '\\':
            *out++ = '\\';
            *out++ = '\\';
            break;
        case '\t':
            *out++ = '\\';
            *out++ = 't';
            break;
        case '\n':
            *out++ = '\\';
            *out++ = 'n';
            break;
        case '\r':
            *out++ = '\\';
            *out++ = 'r';
            break;
        default:
            *out++ = byte;
        }
    }
    return out;
}

// Writes one cell's UTF-8, escaped, and returns the end of what was written. The four escaped
// characters are ASCII, and no byte of a longer UTF-8 sequence is ASCII, so the bytes can be
// searched directly.
char* writeCell(char* out, QByteArrayView cell)
{
    if (cell.isEmpty())
        return out; // the blank row's cells have no bytes at all
    if (anyEscaped(cell.begin(), cell.end()))
        return writeEscaped(out, cell);
    std::memcpy(out, cell.data(), static_cast<size_t>(cell.size()));
    return out + cell.size();
}

// Appends a row of cells, tab-separated and escaped, with its line end. `cellOf(c)` gives a cell and
// `bytes` the size of all of them together, so the row is written with room made once.
template <typename CellOf>
void appendRow(QByteArray& buffer, int columns, qsizetype bytes, CellOf cellOf)
{
    const qsizetype start = buffer.size();
    buffer.resize(start + 2 * bytes + columns); // every byte escaped, a separator after each cell
    char* out = buffer.data() + start;
    for (int c = 0; c < columns; ++c) {
        if (c > 0)
            *out++ = '\t';
        out = writeCell(out, cellOf(c));
    }
    *out++ = '\n';
    buffer.truncate(out - buffer.constData());
}

// Each cell is encoded on its own: a broken surrogate pair at the end of one never joins the next.
void appendTextRow(QByteArray& buffer, const QStringList& cells)
{
    QByteArrayList encoded;
    qsizetype bytes = 0;
    for (const QString& cell : cells) {
        encoded.append(cell.toUtf8());
        bytes += encoded.back().size();
    }
    appendRow(buffer, static_cast<int>(encoded.size()), bytes, [&](int c) { return QByteArrayView(encoded[c]); });
}

// A sorted list's rows lie scattered in memory, and waiting for each to arrive costs more than
// writing it out; so the bytes of a row some way ahead are asked for early.
constexpr size_t kRowsAhead = 8;

// Rows go out in blocks of about this many bytes: big lists are written with few calls, and the
// block stays small enough to take few fresh pages of memory.
constexpr qsizetype kOutputBlock = 256 << 10;

void writeBytes(QTextStream& out, const QByteArray& bytes)
{
    out.flush();
    if (QIODevice* device = out.device())
        device->write(bytes);
    else
        out << QString::fromUtf8(bytes);
}

} // namespace

QString escapeListCell(const QString& cell)
{
    QByteArray bytes;
    appendTextRow(bytes, {cell});
    bytes.chop(1); // the line end
    return QString::fromUtf8(bytes);
}

void writeListRow(QTextStream& out, const QStringList& cells)
{
    QByteArray bytes;
    appendTextRow(bytes, cells);
    writeBytes(out, bytes);
}

void printList(const lists::CompactList& list, QTextStream& out, const std::vector<int>& order)
{
    QByteArray block;
    block.reserve(kOutputBlock + kOutputBlock / 4);
    appendTextRow(block, list.headers());
    for (size_t i = 0; i < order.size(); ++i) {
        if (i + kRowsAhead < order.size())
            list.prefetchRow(order[i + kRowsAhead]);
        const int row = order[i];
        appendRow(block, list.columnCount(), list.rowSize(row), [&](int c) { return list.cell(row, c); });
        if (block.size() >= kOutputBlock) {
            writeBytes(out, block);
            block.resize(0);
        }
    }
    writeBytes(out, block);
    out.flush();
}

void printListGrid(const lists::ListGrid& grid, QTextStream& out)
{
    std::vector<int> order(grid.rows().size());
    std::iota(order.begin(), order.end(), 0);
    printList(lists::CompactCopy(grid), out, order);
}

int runListCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (isListXmlCommand(args))
        return runListXmlCommand(args, out, err);
    if (!args.isEmpty() && args[0] == QLatin1String("import-text"))
        return runListImportText(args.mid(1), out, err);
    if (!args.isEmpty() && args[0] == QLatin1String("import-bib"))
        return runListImportBib(args.mid(1), out, err);
    if (!args.isEmpty() && args[0] == QLatin1String("identify"))
        return runListIdentify(args.mid(1), out, err);
    if (args.size() != 3 || args[0] != QLatin1String("show"))
        return usage(err);
    bool ok = false;
    const int kind = args[2].toInt(&ok);
    if (!ok || !lists::isListKind(kind))
        return usage(err, QStringLiteral("Nieznany rodzaj wykazu: %1.").arg(args[2]));

    try {
        tempfiles::ScratchFolder scratch;
        db::Connection connection;
        OpenSurveyFile(connection, args[1], scratch);
        // The list is read once from its first row to its last: pages read need not be kept.
        connection.execute(QStringLiteral("PRAGMA cache_size = 16"));
        lists::CompactList list = lists::LoadCompactList(connection, kind);
        connection.close();
        printList(list, out, lists::EditorOrder(list));
        return kOk;
    } catch (const Error& e) {
        err << e.message() << '\n';
        err.flush();
        return kFailed;
    }
}

} // namespace vestrum
