#include "lists/list_grid.h"

#include "base/number_format.h"

#include <QCollator>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <numeric>
#include <thread>

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

namespace {

// Rows from this many on have their sort keys made on two threads: making a key costs far more
// than comparing two, and a list of tens of thousands of distinct titles is worth a second core.
constexpr size_t kRowsForTwoThreads = 4096;

// The sort keys of a stretch of rows: one key per distinct text of the column (journals, points
// and years repeat), each row's key, and the keys in ascending order.
struct KeyedStretch {
    size_t begin = 0;
    std::vector<QCollatorSortKey> keys;
    std::vector<int> keyOfRow;
    std::vector<int> ascending;

    int keyOf(size_t row) const { return keyOfRow[row - begin]; }
};

// Without a configured locale ("C") Qt compares code points and ignores the case setting; the
// survey's lists are Polish, so they sort as Polish then. Each thread needs a collator of its own.
QCollator listCollator(const QLocale& locale)
{
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::Polish, QLocale::Poland) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

KeyedStretch keyStretch(const std::vector<QStringList>& rows, int column, size_t begin, size_t end,
                        const QLocale& locale)
{
    const QCollator collator = listCollator(locale);
    KeyedStretch stretch;
    stretch.begin = begin;
    stretch.keyOfRow.reserve(end - begin);
    QHash<QString, int> distinct;
    for (size_t r = begin; r < end; ++r) {
        const QString& text = rows[r][column];
        auto it = distinct.find(text);
        if (it == distinct.end()) {
            it = distinct.insert(text, static_cast<int>(stretch.keys.size()));
            stretch.keys.push_back(collator.sortKey(text));
        }
        stretch.keyOfRow.push_back(*it);
    }
    stretch.ascending.resize(stretch.keys.size());
    std::iota(stretch.ascending.begin(), stretch.ascending.end(), 0);
    const std::vector<QCollatorSortKey>& keys = stretch.keys;
    std::sort(stretch.ascending.begin(), stretch.ascending.end(),
              [&keys](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    return stretch;
}

// The rank of every key of both stretches in their joint order; keys the collator holds equal
// (within a stretch or across the two) share a rank.
std::pair<std::vector<int>, std::vector<int>> jointRanks(const KeyedStretch& first, const KeyedStretch& second)
{
    std::vector<int> firstRanks(first.keys.size()), secondRanks(second.keys.size());
    size_t i = 0, j = 0;
    int rank = -1;
    const QCollatorSortKey* previous = nullptr;
    const auto place = [&](const QCollatorSortKey& key, int& slot) {
        if (previous == nullptr || previous->compare(key) < 0)
            ++rank;
        slot = rank;
        previous = &key;
    };
    while (i < first.ascending.size() || j < second.ascending.size()) {
        const bool takeFirst =
            j == second.ascending.size() ||
            (i < first.ascending.size() &&
             first.keys[first.ascending[i]].compare(second.keys[second.ascending[j]]) <= 0);
        if (takeFirst) {
            const int key = first.ascending[i++];
            place(first.keys[key], firstRanks[key]);
        } else {
            const int key = second.ascending[j++];
            place(second.keys[key], secondRanks[key]);
        }
    }
    return {std::move(firstRanks), std::move(secondRanks)};
}

} // namespace

std::vector<int> ListGrid::sortedOrder(int column, const QLocale& locale) const
{
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    if (column < 0 || column >= columnCount() || rows_.size() < 2)
        return order;

    // Adjacent swaps move a row only past a strictly greater one, which is exactly a stable sort
    // with the same comparison: the rows are ranked by key and placed by rank in their old order.
    const bool twoThreads = rows_.size() >= kRowsForTwoThreads && std::thread::hardware_concurrency() > 1;
    const size_t split = twoThreads ? rows_.size() / 2 : rows_.size();
    KeyedStretch second;
    std::thread secondThread;
    if (twoThreads)
        secondThread = std::thread([&] { second = keyStretch(rows_, column, split, rows_.size(), locale); });
    const KeyedStretch first = keyStretch(rows_, column, 0, split, locale);
    if (secondThread.joinable())
        secondThread.join();
    const auto [firstRanks, secondRanks] = jointRanks(first, second);

    const auto rankOf = [&](size_t r) {
        return static_cast<size_t>(r < split ? firstRanks[first.keyOf(r)] : secondRanks[second.keyOf(r)]);
    };
    std::vector<size_t> start(first.keys.size() + second.keys.size() + 1, 0);
    for (size_t r = 0; r < rows_.size(); ++r)
        ++start[rankOf(r) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    for (size_t r = 0; r < rows_.size(); ++r)
        order[start[rankOf(r)]++] = static_cast<int>(r);
    return order;
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
