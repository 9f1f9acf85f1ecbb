#include "lists/list_grid.h"

#include "base/number_format.h"

#include <QCollator>
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

void ListGrid::markSortColumn(int column)
{
    for (QString& h : headers_)
        if (h.startsWith(QLatin1Char('*')))
            h.remove(0, 2);
    if (column >= 0 && column < columnCount())
        headers_[column].prepend(QStringLiteral("* "));
}

int ListGrid::sortColumn() const
{
    for (int c = 0; c < columnCount(); ++c)
        if (headers_[c].startsWith(QLatin1Char('*')))
            return c;
    return -1;
}

void ListGrid::sortBy(int column, const QLocale& locale)
{
    if (column < 0 || column >= columnCount())
        return;
    markSortColumn(column);
    if (rows_.size() < 2)
        return;

    // Adjacent swaps move a row only past a strictly greater one, which is exactly a stable sort
    // with the same comparison. Each distinct text gets one sort key (journals, points and years
    // repeat), the keys are ranked once, and the rows are placed by rank in their old order.
    // Without a configured locale ("C") Qt compares code points and ignores the case setting; the
    // survey's lists are Polish, so they sort as Polish then.
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::Polish, QLocale::Poland) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QHash<QString, int> distinct;
    std::vector<QCollatorSortKey> keys;
    std::vector<int> keyOfRow(rows_.size());
    for (size_t r = 0; r < rows_.size(); ++r) {
        const QString& text = rows_[r][column];
        auto it = distinct.find(text);
        if (it == distinct.end()) {
            it = distinct.insert(text, static_cast<int>(keys.size()));
            keys.push_back(collator.sortKey(text));
        }
        keyOfRow[r] = *it;
    }
    std::vector<int> byKey(keys.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::sort(byKey.begin(), byKey.end(), [&keys](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    std::vector<int> rank(keys.size(), 0); // texts the collator holds equal share a rank
    for (size_t i = 1; i < byKey.size(); ++i)
        rank[byKey[i]] = rank[byKey[i - 1]] + (keys[byKey[i - 1]].compare(keys[byKey[i]]) < 0 ? 1 : 0);

    std::vector<size_t> start(keys.size() + 1, 0);
    for (const int key : keyOfRow)
        ++start[static_cast<size_t>(rank[key]) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<QStringList> sorted(rows_.size());
    for (size_t r = 0; r < rows_.size(); ++r)
        sorted[start[static_cast<size_t>(rank[keyOfRow[r]])]++] = std::move(rows_[r]);
    rows_ = std::move(sorted);
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
