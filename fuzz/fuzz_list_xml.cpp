// libFuzzer target: arbitrary bytes are read as an XML list file. Whatever the bytes say, the reader
// must not crash, hang or expand entities; what it reads must have the list's width, and writing
// those rows again must give a file that reads back the same (line breaks as the editor's line feed).
// A seed is a list file as it is: its first byte "<" gives a list of six columns.
#include "base/error.h"
#include "lists/xml_exchange.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {

std::vector<QStringList> read(QByteArray bytes, int columns)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return vestrum::lists::readListXml(buffer, columns);
}

// What a cell becomes on its way through a file: every line break a line feed, characters XML cannot
// hold gone.
QString throughFile(const QString& cell)
{
    QString text = cell;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString kept;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pair) {
            kept += text[i];
            kept += text[++i];
        } else if ((c >= 0x20 || c == u'\t' || c == u'\n') && !text[i].isSurrogate() && c != 0xFFFE && c != 0xFFFF) {
            kept += text[i];
        }
    }
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte chooses the list's width (1 to 11 columns, as the list kinds have).
    const int columns = size > 0 ? 1 + data[0] % 11 : 1;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::vector<QStringList> rows;
    try {
        rows = read(bytes, columns);
    } catch (const vestrum::Error&) {
        return 0; // refused with a message: fine
    }
    for (QStringList& row : rows) {
        if (row.size() != columns)
            std::abort();
        for (QString& cell : row)
            cell = throughFile(cell);
    }
    try {
        if (read(vestrum::lists::listXml(rows), columns) != rows)
            std::abort(); // a written file reads back different rows
    } catch (const vestrum::Error&) {
        std::abort(); // a written file does not read back at all
    }
    return 0;
}
