#pragma once

#include "import/spreadsheet_reader.h"

#include "base/error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <zip.h>

#include <map>
#include <optional>
#include <vector>

// What the .xlsx and the .ods reader share with the workbook's entry points; nothing outside import/
// includes this header.
namespace vestrum::importing::workbook {

QString S(const char* text);

// The refusals of a workbook as a whole, each naming the file; libzip's and the XML reader's own words, in
// English, go on the "Szczegóły:" line only.
struct Refusal {
    enum Kind { TooBig, Encrypted, OldFormat, Damaged };
    static Error of(Kind kind, const QString& path, const QString& detail = {});
};

// Members unpacked from one workbook, held to one budget for all of them together.
class ZipContainer {
public:
    explicit ZipContainer(const QString& path);
    ~ZipContainer();
    ZipContainer(const ZipContainer&) = delete;
    ZipContainer& operator=(const ZipContainer&) = delete;

    bool has(const QString& name) const;
    // The member whole; nothing when the container has no such member.
    std::optional<QByteArray> read(const QString& name);
    // The member whole; the workbook is damaged without it.
    QByteArray require(const QString& name);
    Error damaged(const QString& detail = {}) const;

private:
    zip_int64_t locate(const QString& name) const;

    QString path_;
    zip_t* archive_ = nullptr;
    qint64 budget_;
};

// Cells kept for one sheet: rows by number, cells up to the columns asked. Rows and cells repeated by
// a count are held to a bound on what the sheet may expand to.
class SheetCells {
public:
    SheetCells(const QString& path, int columns);

    void set(qint64 row, qint64 column, const QString& value);
    // Empties the cells of a rectangle but its first cell (what a merge covers).
    void clearCovered(qint64 firstRow, qint64 firstColumn, qint64 lastRow, qint64 lastColumn);
    // Counts cells a repeat is about to expand to against the bound.
    void charge(qint64 cells);
    // The rows that hold something, each up to its last non-empty cell.
    std::vector<QStringList> rows() &&;

private:
    static constexpr qint64 kMaxRows = 1048576 * 16;
    static constexpr qint64 kMaxCells = 4'000'000;
    QString path_;
    int columns_;
    std::map<qint64, QStringList> rows_;
    qint64 expanded_ = 0;
};

// "C7" for column 2 and row 6, both from 0.
QString cellReference(qint64 row, qint64 column);

// Cell values as the import shows them.
QString serialDate(double serial, bool from1904); // a day number of the 1900 or the 1904 system
QString isoDate(const QString& text); // "2008-03-15" or "2008-03-15T10:30:00"; other text as it is
std::optional<double> parseNumber(const QString& text); // always with a dot
QString booleanText(bool value);

// A member's XML: a DTD is refused, and a reading error names the member.
void refuseDtd(QXmlStreamReader& xml, const QString& path);
void checkXml(const QXmlStreamReader& xml, const QString& path, const QString& member);

// The readers of the two formats: sheet `sheet`, or without one the first the workbook shows.
Spreadsheet ReadXlsx(ZipContainer& zip, const QString& path, std::optional<int> sheet, int columns);
Spreadsheet ReadOds(ZipContainer& zip, const QString& path, std::optional<int> sheet, int columns);

} // namespace vestrum::importing::workbook
