#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QLocale>
#include <QStringList>
#include <QStringView>
#include <vector>

namespace vestrum::lists {

class ListGrid;

// A list held for writing out rather than for editing: the cells of every row as UTF-8, one after
// another in a single block, instead of one string per cell, so that long lists load, sort and
// print without hundreds of thousands of small allocations. As in ListGrid, an empty list has one
// blank data row.
class CompactList {
public:
    explicit CompactList(QStringList headers);

    const QStringList& headers() const { return headers_; }
    int columnCount() const { return static_cast<int>(headers_.size()); }
    int rowCount() const; // always >= 1
    // The cell's UTF-8 bytes, valid until the next append.
    QByteArrayView cell(int row, int column) const;
    // The size of all the row's cells together.
    qsizetype rowSize(int row) const;
    // Asks the processor early for the row's bytes: for walks in an order far from the loading one.
    void prefetchRow(int row) const;

    // The cells of a row are appended one by one in column order, and every row is completed.
    // Bytes are taken as they stand only when they are well-formed UTF-8 spelling the text exactly
    // (no byte-order mark in front); otherwise nothing is appended and false is returned, so the
    // caller appends the text as decoded instead.
    bool appendUtf8(QByteArrayView bytes);
    void appendText(QStringView text);

    // Puts the sort marker on `column`, as ListGrid::markSortColumn does.
    void markSortColumn(int column);
    // The data rows' indices ordered by `column` as ListGrid::sortedOrder orders the same texts.
    std::vector<int> sortedOrder(int column, const QLocale& locale = QLocale()) const;

private:
    QStringList headers_;
    QByteArray bytes_;
    QList<qsizetype> cellEnds_; // grows in place, like the block
};

// The grid's headers and rows in compact form.
CompactList CompactCopy(const ListGrid& grid);

} // namespace vestrum::lists
