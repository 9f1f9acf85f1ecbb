#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace vestrum::lists {

// Puts the sort marker "* " on the header of `column` and takes it off every other header.
void MarkSortColumn(QStringList& headers, int column);

// A list as the editor holds it: a header row and at least one data row, every cell text. An
// entry is identified only by its position. Data rows are numbered from 0 here; in the editor's
// grid, where row 0 holds the headers, data row r is grid row r + 1.
class ListGrid {
public:
    ListGrid() : ListGrid(QStringList{QString()}) {}
    // The headers and one blank data row.
    explicit ListGrid(QStringList headers);

    const QStringList& headers() const { return headers_; }
    void setHeaders(QStringList headers); // keeps the rows, padded or cut to the new width
    int columnCount() const { return static_cast<int>(headers_.size()); }

    int rowCount() const { return static_cast<int>(rows_.size()); } // always >= 1
    const QStringList& row(int r) const { return rows_.at(static_cast<size_t>(r)); }
    const std::vector<QStringList>& rows() const { return rows_; }
    QString cell(int column, int r) const { return row(r).value(column); }
    void setCell(int column, int r, const QString& text);

    // Replaces the data rows; each row is padded or cut to the column count, and no rows give
    // the one blank row of an empty list.
    void setRows(std::vector<QStringList> rows);
    // Appends without looking at the empty-list rule (loading); the first call replaces the blank row
    // of an empty list.
    void appendLoaded(QStringList row);

    // An empty list is its single data row with every cell blank.
    bool isEmpty() const;

    // A new entry: fills the blank row of an empty list, otherwise becomes the last row. Returns its index.
    int addRow(QStringList row);
    void replaceRow(int r, QStringList row);
    // Deletes rows first..last (clamped); when no row would be left, one blank row stays. Returns
    // the row to select afterwards: the top of the former range, or the last row if fewer remain.
    int removeRows(int first, int last);
    // Back to one blank row.
    void clear();

    // Sorts ascending by one column, comparing without regard to case under `locale` (Polish when
    // no locale is configured); rows with equal text keep their order (the order repeated passes of
    // adjacent swaps give, reached by a stable sort). The column's header gets the "* " marker and
    // every other "*" header loses it.
    void sortBy(int column, const QLocale& locale = QLocale());
    // The data rows' indices in the order sortBy would give them, leaving rows and headers alone.
    std::vector<int> sortedOrder(int column, const QLocale& locale = QLocale()) const;
    // Puts the data rows in `order`, which names every row once (as sortedOrder gives).
    void reorder(const std::vector<int>& order);
    // The column whose header carries the sort marker, or -1.
    int sortColumn() const;
    // Puts the sort marker on `column` without sorting.
    void markSortColumn(int column);

    // Whether two rows are equal in every column, compared without regard to case.
    bool hasDuplicates() const;
    // Every row equal (by the same test) to an earlier one: (the row, the first row it repeats),
    // in row order.
    std::vector<std::pair<int, int>> duplicateRows() const;
    // Keeps the first row of every group of equal rows and deletes the later ones, in order.
    // Returns how many rows were deleted.
    int removeDuplicates();

    bool operator==(const ListGrid&) const = default;

private:
    QStringList fitted(QStringList row) const;

    QStringList headers_;
    std::vector<QStringList> rows_;
};

} // namespace vestrum::lists
