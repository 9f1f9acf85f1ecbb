#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "import/text_encoding.h"

namespace vestrum::lists {
class JournalList;
}

// Delimited text turned into the rows of a list: reading a file in the encoding it was written in,
// cutting the text into lines and the lines into fields, placing the fields by the field map, and
// completing publication and monograph rows the way the entry dialog would.
namespace vestrum::importing {

// --- the text ---------------------------------------------------------------------------------

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};

// Largest file, and largest clipboard text in characters, that the import takes: beyond this the
// window would stop answering for minutes.
constexpr qint64 kMaxImportBytes = 50LL * 1024 * 1024;

// The bytes in the encoding given, or in the one DetectEncoding finds; a byte-order mark is dropped.
DecodedText DecodeImportBytes(const QByteArray& bytes, std::optional<TextEncoding> forced = std::nullopt);

// Reads a file whole. Throws vestrum::Error with a Polish message when the file cannot be read or is
// larger than kMaxImportBytes.
QByteArray ReadImportBytes(const QString& path);
// ReadImportBytes and DecodeImportBytes.
DecodedText ReadImportFile(const QString& path, std::optional<TextEncoding> forced = std::nullopt);
// The refusal of a clipboard text over the limit; empty when the text may be taken.
QString ClipboardTextProblem(const QString& text);

// Lines as a text editor shows them: a line ends at CR LF, LF or a lone CR; a final line break
// adds no empty line, and an empty text has no lines.
QStringList SplitLines(const QString& text);

// --- the structure ----------------------------------------------------------------------------

// The columns an import places, in the map's order: the list's columns (for publications, kinds 3
// to 6, "ISSN" is column 7: it identifies the row's journal and is kept).
QStringList ImportHeaders(int kind);

constexpr int kMapPositions = 12;
constexpr int kMaxLinesPerRecord = 12;

enum class SeparatorMode {
    Characters, // "znak/znaki:": fields of a line separated by a string, one record per line
    LineEnds, // "koniec linii": one field per line, a fixed number of lines per record
};

struct ImportStructure {
    SeparatorMode mode = SeparatorMode::Characters;
    QString separator = QStringLiteral(";"); // as typed, blanks included
    int linesPerRecord = 1;
    // Grid column (from 0) that field position n + 1 goes to; -1 drops the field ("- pomiń -").
    std::array<int, kMapPositions> map { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 };
    // "cudzysłów ogranicza pola": in "znak/znaki:" mode a field that begins with a quote and whose
    // closing quote is followed by the separator or the end of the record holds separators and line
    // breaks as text, "" standing for one quote. Quotes that form no such field are text.
    bool quotes = true;
    // "pierwszy wiersz zawiera nazwy kolumn": the first record is skipped.
    bool header = false;
};

// The separator a field or an option names: "tabulator" or "tab" (any case, blanks around
// ignored) stand for one TAB, which cannot be typed into a field and looks empty when pasted;
// anything else is the separator as typed, blanks included.
QString SeparatorFromText(const QString& typed);

// Refusals of the structure, each the message the window shows; empty when there is nothing to refuse.
QString SeparatorProblem(const ImportStructure& structure);
// The line-count field when the focus leaves it: blank is allowed there.
QString LineCountFieldProblem(const QString& text);
// The line-count field when the text is read into the structure: blank is refused too.
QString LineCountProblem(const QString& text);
// Two positions mapped to the same column: names the column's header (the later list's choice).
QString DuplicateMapProblem(const ImportStructure& structure, const QStringList& headers);
// All three in the order the window checks them (separator or line count, then the map).
QString StructureProblem(const ImportStructure& structure, const QString& lineCountText, const QStringList& headers);

// --- the records ------------------------------------------------------------------------------

struct ImportedRows {
    std::vector<QStringList> rows; // each with one cell per column
    // Records that ended (each line in "znak/znaki:" mode, every full group of lines in "koniec
    // linii" mode); only these are completed. An unfinished last record is kept as far as it got.
    std::vector<bool> complete;
};

// Cuts the text into records and places their fields. `fieldRead` is called for every field read
// (the progress of publication imports).
ImportedRows SplitRecords(const QString& text, const ImportStructure& structure, int columnCount,
    const std::function<void()>& fieldRead = {});

// ReadRecords for the rows of a spreadsheet (each row one record of its cells); blank rows are
// skipped as blank lines are.
ImportedRows ReadSheetRecords(int kind, const std::vector<QStringList>& sheetRows, const ImportStructure& structure,
    lists::JournalList* journals, const std::function<void()>& fieldRead = {});

// The fields (at most kMapPositions) of the first record of the text, trimmed; empty without one.
QStringList FirstRecordFields(const QString& text, const ImportStructure& structure);
// The first non-blank row of a spreadsheet, at most kMapPositions cells.
QStringList FirstSheetRecord(const std::vector<QStringList>& sheetRows);

// Whether a first record is a header row worth skipping without being asked: most of its non-blank
// fields are captions of the kind's columns, and the record, placed by the map (or, with nothing
// mapped yet, each caption in the column it names), fails the row checks, so it could never be
// imported as data anyway. The headless command never guesses.
bool LooksLikeHeader(int kind, const QStringList& fields, const ImportStructure& structure, int reportingYear);

// Fills what the program derives for a finished row: the listed journal and its points for
// publications (kinds 3 to 6, identified by the title and the row's ISSN cell), the fixed points
// for monographs (kinds 8 to 11).
void CompleteRow(int kind, QStringList& row, lists::JournalList* journals);

// SplitRecords followed by CompleteRow for every finished record.
ImportedRows ReadRecords(int kind, const QString& text, const ImportStructure& structure, lists::JournalList* journals,
    const std::function<void()>& fieldRead = {});

// Whether the kind's rows are identified against the journal list while they are read.
bool IdentifiesJournals(int kind);

// The rows as the list holds them: cells beyond the list's columns (the ISSN) are dropped.
void DropImportOnlyCells(int kind, std::vector<QStringList>& rows);

// "wprowadź wykaz do bazy": the rows go after the list's rows; a list holding only its empty
// placeholder row (every cell blank) is replaced.
void AppendImportedRows(std::vector<QStringList>& listRows, const std::vector<QStringList>& imported);

} // namespace vestrum::importing
