#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <exception>
#include <vector>

class QIODevice;

// The program's XML list format: the cell texts of a list's data rows, addressed by column number,
// without the list kind or the headers, so a file is meant to be read back into a list of the same
// kind. The list editor and `vestrum-cli list export` / `list import` share this code.
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <eksport>
//   <rekord>
//    <kolumna_1><![CDATA[cell text]]></kolumna_1>
//   </rekord>
//   </eksport>
//
// Every line of the frame ends with CR LF, the file is UTF-8 without a byte-order mark.
namespace vestrum::lists {

class JournalList;
class ListGrid;
class ReadMonitor; // lists/xml_exchange_scan.h

// Thrown when the monitor of a read stopped it; nothing has been read then.
class ReadStopped : public std::exception {
public:
    const char* what() const noexcept override { return "list file read stopped"; }
};

// The file's bytes for these rows, one record per row and one column element per cell, empty cells
// included. A cell's own line breaks are written as they are (reading turns CR LF and a lone CR into
// the editor's line feed); characters XML 1.0 cannot hold (control characters other than tab, LF and
// CR, unpaired surrogates, U+FFFE, U+FFFF) are dropped, and a "]]>" in a cell is split over two
// CDATA sections, so that every file written reads back.
QByteArray listXml(const std::vector<QStringList>& rows);

// Writes the grid's data rows to `path` through a QSaveFile: an existing file is replaced only once
// the new one is complete. A file whose mode denies its owner writing is refused, whoever runs the
// program (readOnlyTargetMessage()). Throws vestrum::Error naming the file when it cannot be written;
// the old file (if any) is then unchanged.
void writeListXml(const QString& path, const ListGrid& grid);

// The file the export writes for the name typed in the file picker whose current folder is `folder`:
// the folder is put in front unless the name already contains it, and a name without ".xml" loses
// everything from the first "." of its last part and gets ".xml".
QString exportFilePath(const QString& folder, const QString& typedName);

// Reads a list file: one row of `columnCount` cells per element child of the root, in order. A column
// element's number is the part of its name after the first "_"; a number outside 1..columnCount is
// ignored, a name that gives no number ends the reading of that record. The text and CDATA pieces
// of a column element are joined; an element holding other elements leaves its cell empty.
// A namespace prefix plays no part in a column element's name.
// A document with a DTD is refused (no entity is ever declared, resolved or expanded), and so is a
// start tag with more than 256 attributes or longer than 64 KiB, before the parser sees it ("element
// w wierszu N jest zbyt duży"). Throws vestrum::Error with the line and column of the fault when the
// document is not well-formed. A monitor hears of the bytes read and may stop the reading, which then
// throws ReadStopped.
std::vector<QStringList> readListXml(QIODevice& device, int columnCount, ReadMonitor* monitor = nullptr);
// As above, from a file; the messages name it.
std::vector<QStringList> readListXml(const QString& path, int columnCount, ReadMonitor* monitor = nullptr);

// Publications (kinds 3 to 6) carry a journal identified on the ministry's list.
bool identifiesJournals(int kind);

// How many columns an import reads: publications also element kolumna_7, the journal's ISSN.
int xmlColumnsToRead(int kind, int columnCount);
// Automatic identification after an import: every row whose listed journal is blank gets the list's
// name and points for its typed journal title (leading and trailing blanks ignored) and the ISSN of
// kolumna_7, or "" and "0". Rows that already name a listed journal keep it with their points. The
// ISSN cell is taken off every row.
void identifyImportedJournals(JournalList& journals, std::vector<QStringList>& rows);

// The notices of the two commands, with the numbers under which the user may silence them.
QString emptyExportNotice(); // the list has nothing to export
QString exportFinishedNotice(); // after an export
QString identificationNotice(); // after an import of publications
QString importFinishedNotice(); // closing every import
inline constexpr int kExportFinishedMessage = 13;
inline constexpr int kIdentificationMessage = 14;
inline constexpr int kImportFinishedMessage = 15;

} // namespace vestrum::lists
