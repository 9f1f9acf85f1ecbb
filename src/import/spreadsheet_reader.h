#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// Workbooks read as they are (.xlsx of Excel and others, .ods of LibreOffice and others), one sheet
// at a time, cells turned into the text a person would type into the import: a date DD/MM/RRRR, a
// number the shortest decimal with a comma and no thousands separator, a whole number without
// decimals, a text as stored, a formula its last computed value, merged-over cells empty.
namespace vestrum::importing {

// Cells of a row beyond this many never reach the field map, so they are not kept.
constexpr int kSheetColumns = 12;
// What one workbook may unpack in all, and at most this many times its own size (a zip bomb stops here).
constexpr qint64 kMaxUnpackedBytes = 50LL * 1024 * 1024;
constexpr qint64 kMaxUnpackRatio = 100;

struct Spreadsheet {
    QStringList sheetNames; // in the workbook's order
    int sheet = 0; // the sheet read, from 0
    // Its rows that hold something, in order, each up to its last non-empty cell (at most the columns asked).
    std::vector<QStringList> rows;
};

// A workbook by its name (.xlsx, .ods, even when no such file exists, so the reader names what is
// missing) or by its first bytes (a zip container, or the OLE container that Excel writes a workbook
// with a password in).
bool IsSpreadsheetFile(const QString& path);

// Reads sheet `sheet` (from 0), each row up to `columns` cells. Throws vestrum::Error with the message for the user: "Plik %1 jest zbyt
// duży.", "Plik %1 jest zaszyfrowany - zapisz go bez hasła.", "Plik %1 jest uszkodzony lub nie jest
// arkuszem .xlsx/.ods.", or that the workbook has no such sheet.
Spreadsheet ReadSpreadsheet(const QString& path, int sheet = 0, int columns = kSheetColumns);

// A number as a cell shows it in the import: at most 15 significant digits (what a spreadsheet shows),
// the shortest decimal, "," before the fraction, no exponent, a whole number without decimals.
QString FormatCellNumber(double value);

} // namespace vestrum::importing
