#include "lists/collated_order.h"

#include <QCollator>
#include <QHash>
#include <algorithm>
#include <numeric>
#include <thread>

namespace vestrum::lists {
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

KeyedStretch keyStretch(const std::function<const QString&(size_t)>& textOf, size_t begin, size_t end, const QLocale& locale)
{
    const QCollator collator = listCollator(locale);
    KeyedStretch stretch;
    stretch.begin = begin;
    stretch.keyOfRow.reserve(end - begin);
    QHash<QStringView, int> distinct;
    for (size_t r = begin; r < end; ++r) {
        const QString& text = textOf(r);
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

std::vector<int> CollatedRanks(size_t count, const std::function<const QString&(size_t)>& textOf, const QLocale& locale)
{
    const bool twoThreads = count >= kRowsForTwoThreads && std::thread::hardware_concurrency() > 1;
    const size_t split = twoThreads ? count / 2 : count;
    KeyedStretch second;
    std::thread secondThread;
    if (twoThreads)
        secondThread = std::thread([&] { second = keyStretch(textOf, split, count, locale); });
    const KeyedStretch first = keyStretch(textOf, 0, split, locale);
    if (secondThread.joinable())
        secondThread.join();
    const auto [firstRanks, secondRanks] = jointRanks(first, second);

    std::vector<int> ranks(count);
    for (size_t i = 0; i < count; ++i)
        ranks[i] = i < split ? firstRanks[first.keyOf(i)] : secondRanks[second.keyOf(i)];
    return ranks;
}

std::vector<int> OrderByRank(const std::vector<int>& ranks)
{
    // Adjacent swaps move a row only past a strictly greater one, which is exactly a stable sort
    // with the same comparison: the rows are placed by rank in their old order.
    const int highest = ranks.empty() ? -1 : *std::max_element(ranks.begin(), ranks.end());
    std::vector<size_t> start(static_cast<size_t>(highest) + 2, 0);
    for (const int rank : ranks)
        ++start[static_cast<size_t>(rank) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<int> order(ranks.size());
    for (size_t i = 0; i < ranks.size(); ++i)
        order[start[static_cast<size_t>(ranks[i])]++] = static_cast<int>(i);
    return order;
}

std::vector<int> CollatedOrder(size_t count, const std::function<const QString&(size_t)>& textOf, const QLocale& locale)
{
    return OrderByRank(CollatedRanks(count, textOf, locale));
}

} // namespace vestrum::lists
