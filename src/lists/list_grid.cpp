#include "lists/list_grid.h"

#include "base/number_format.h"
#include "lists/collated_order.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <numeric>

namespace vestrum::lists {

ListGrid::ListGrid(QStringList headers) : headers_(std::move(headers))
{
    if (headers_.isEmpty())
        headers_ << QString();
    clear();
}

QStringList ListGrid::fitted(QStringList row) const
{
    const qsizetype n = headers_.size();
    if (row.size() > n)
        row.resize(n);
    while (row.size() < n)
        row.append(QString());
    return row;
}

void ListGrid::setHeaders(QStringList headers)
{
    headers_ = std::move(headers);
    if (headers_.isEmpty())
        headers_ << QString();
    for (QStringList& r : rows_)
        r = fitted(std::move(r));
}

void ListGrid::setCell(int column, int r, const QString& text)
{
    if (column >= 0 && column < columnCount())
        rows_.at(static_cast<size_t>(r))[column] = text;
}

void ListGrid::setRows(std::vector<QStringList> rows)
{
    rows_ = std::move(rows);
    for (QStringList& r : rows_)
        r = fitted(std::move(r));
    if (rows_.empty())
        clear();
}

void ListGrid::appendLoaded(QStringList row)
{
    if (isEmpty())
        rows_.clear();
    rows_.push_back(fitted(std::move(row)));
}

bool ListGrid::isEmpty() const
{
    return rows_.size() == 1 && std::all_of(rows_[0].begin(), rows_[0].end(), numbers::IsBlank);
}

int ListGrid::addRow(QStringList row)
{
    if (isEmpty()) {
        rows_[0] = fitted(std::move(row));
        return 0;
    }
    rows_.push_back(fitted(std::move(row)));
    return rowCount() - 1;
}

void ListGrid::replaceRow(int r, QStringList row) { rows_.at(static_cast<size_t>(r)) = fitted(std::move(row)); }

int ListGrid::removeRows(int first, int last)
{
    first = std::max(0, first);
    last = std::min(rowCount() - 1, last);
    if (first > last)
        return std::min(first, rowCount() - 1);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    if (rows_.empty())
        clear();
    return std::min(first, rowCount() - 1);
}

void ListGrid::clear() { rows_.assign(1, fitted({})); }

void MarkSortColumn(QStringList& headers, int column)
{
    for (QString& h : headers)
        if (h.startsWith(QLatin1Char('*')))
            h.remove(0, 2);
    if (column >= 0 && column < headers.size())
        headers[column].prepend(QStringLiteral("* "));
}

void ListGrid::markSortColumn(int column) { MarkSortColumn(headers_, column); }

int ListGrid::sortColumn() const
{
    for (int c = 0; c < columnCount(); ++c)
        if (headers_[c].startsWith(QLatin1Char('*')))
            return c;
    return -1;
}

std::vector<int> ListGrid::sortedOrder(int column, const QLocale& locale) const
{
    if (column < 0 || column >= columnCount()) {
        std::vector<int> order(rows_.size());
        std::iota(order.begin(), order.end(), 0);
        return order;
    }
    return CollatedOrder(
        rows_.size(), [&](size_t r) -> const QString& { return rows_[r][column]; }, locale);
}

void ListGrid::reorder(const std::vector<int>& order)
{
    std::vector<QStringList> reordered;
    reordered.reserve(rows_.size());
    for (const int r : order)
        reordered.push_back(std::move(rows_.at(static_cast<size_t>(r))));
    rows_ = std::move(reordered);
}

void ListGrid::sortBy(int column, const QLocale& locale)
{
    if (column < 0 || column >= columnCount())
        return;
    markSortColumn(column);
    reorder(sortedOrder(column, locale));
}

namespace {

// Rows compare equal without regard to case exactly when their case-folded cells are equal.
QStringList foldedKey(const QStringList& row)
{
    QStringList key;
    key.reserve(row.size());
    for (const QString& cell : row)
        key.append(cell.toCaseFolded());
    return key;
}

} // namespace

bool ListGrid::hasDuplicates() const
{
    QSet<QStringList> seen;
    seen.reserve(static_cast<qsizetype>(rows_.size()));
    for (const QStringList& r : rows_) {
        QStringList key = foldedKey(r);
        if (seen.contains(key))
            return true;
        seen.insert(std::move(key));
    }
    return false;
}

std::vector<std::pair<int, int>> ListGrid::duplicateRows() const
{
    QHash<QStringList, int> firstOf;
    firstOf.reserve(static_cast<qsizetype>(rows_.size()));
    std::vector<std::pair<int, int>> repeats;
    for (int r = 0; r < rowCount(); ++r) {
        QStringList key = foldedKey(row(r));
        const auto earlier = firstOf.constFind(key);
        if (earlier != firstOf.cend())
            repeats.emplace_back(r, earlier.value());
        else
            firstOf.insert(std::move(key), r);
    }
    return repeats;
}

int ListGrid::removeDuplicates()
{
    QSet<QStringList> seen;
    seen.reserve(static_cast<qsizetype>(rows_.size()));
    std::vector<QStringList> kept;
    kept.reserve(rows_.size());
    for (QStringList& r : rows_) {
        QStringList key = foldedKey(r);
        if (seen.contains(key))
            continue;
        seen.insert(std::move(key));
        kept.push_back(std::move(r));
    }
    const int removed = rowCount() - static_cast<int>(kept.size());
    rows_ = std::move(kept);
    return removed;
}

} // namespace vestrum::lists
