// libFuzzer target: arbitrary bytes become a list kind, a separator mode, a separator, a field map and a text in
// any encoding; the text is cut into records and every row is checked. Whatever the bytes say, the process must
// not crash, every row must have one cell per column, and every finding must name a real row and column.
// A seed's bytes, in order: the list kind (modulo 51); the mode (bit 0 one field per line, the other bits the lines
// per record); the separator's length (modulo 4) and that many separator bytes; 12 bytes of field map (each modulo
// the columns + 2, less 1: 0 skips the field, 1 the first column); the year (bit 0: 2007 or 2008); then the text.
#include "import/import_rules.h"
#include "import/import_text.h"
#include "lists/list_catalogue.h"

#include <cstdint>
#include <cstdlib>

namespace {

using namespace vestrum;

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t next() { return at < size ? data[at++] : 0; }
    QByteArray rest() const
    {
        return at < size ? QByteArray(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(size - at))
                         : QByteArray();
    }
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Reader in{data, size};
    const int kind = in.next() % lists::ListKindCount;
    const int columns = static_cast<int>(lists::ListKindInfoOf(kind).columns.size());
    const int placed = static_cast<int>(importing::ImportHeaders(kind).size()); // publications add the ISSN

    importing::ImportStructure structure;
    const std::uint8_t mode = in.next();
    structure.mode = (mode & 1) ? importing::SeparatorMode::LineEnds : importing::SeparatorMode::Characters;
    structure.linesPerRecord = 1 + (mode >> 1) % importing::kMaxLinesPerRecord;
    const int separatorLength = in.next() % 4;
    QByteArray separator;
    for (int i = 0; i < separatorLength; ++i)
        separator.append(static_cast<char>(in.next()));
    structure.separator = QString::fromLatin1(separator);
    for (int& column : structure.map)
        column = static_cast<int>(in.next() % (placed + 2)) - 1; // now and then one past the last column
    const int reportingYear = 2007 + (in.next() & 1);

    const importing::DecodedText decoded = importing::DecodeImportBytes(in.rest());
    (void)importing::SplitLines(decoded.text);
    (void)importing::DuplicateMapProblem(structure, importing::ImportHeaders(kind));

    const importing::ImportedRows read = importing::ReadRecords(kind, decoded.text, structure, nullptr);
    require(read.rows.size() == read.complete.size());
    for (const QStringList& row : read.rows)
        require(row.size() == placed);

    std::vector<QStringList> handOver;
    const auto findings = importing::CheckRows(kind, read.rows, importing::CheckContext{reportingYear, {}}, &handOver);
    require(handOver.size() == read.rows.size());
    importing::DropImportOnlyCells(kind, handOver);
    for (const QStringList& row : handOver)
        require(row.size() == columns); // the ISSN is never handed over
    for (const importing::ImportFinding& f : findings) {
        require(f.row >= 1 && f.row <= static_cast<int>(read.rows.size()));
        require(f.column >= 0 && f.column < columns);
    }
    const QString errors = importing::ImportErrorText(findings);
    require(findings.empty() == errors.isEmpty());

    std::vector<QStringList> list{QStringList(columns)};
    importing::AppendImportedRows(list, handOver);
    require(list.size() == handOver.size()); // the blank placeholder row is replaced
    return 0;
}
