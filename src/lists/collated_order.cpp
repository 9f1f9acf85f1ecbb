#include "lists/collated_order.h"

#include <QCollator>
#include <QHash>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <thread>

namespace vestrum::lists {
namespace {

// Rows from this many on are sorted in two halves on two threads, whose orders are then merged: a list of tens
// of thousands of distinct titles is worth a second core.
constexpr size_t kRowsForTwoThreads = 4096;

// A stretch of rows sorted on its own: one entry per distinct text of the column (journals, points and years
// repeat), each row's text, the distinct texts in ascending order and, for each of them in that order, whether the
// collator holds it equal to the one before (texts differing in case only).
struct SortedStretch {
    size_t begin = 0;
    std::vector<QStringView> wholeTexts;
    qsizetype skipped = 0; // the start every text of the stretch shares with the list's first, up to a blank
    QString packed;        // the distinct texts without that start, back to back, which `texts` view
    std::vector<QStringView> texts;
    std::vector<int> textOfRow;
    std::vector<int> ascending;
    std::vector<bool> sameAsPrevious;

    int textOf(size_t row) const { return textOfRow[row - begin]; }
};

// Without a configured locale ("C") Qt compares code points and ignores the case setting; the
// survey's lists are Polish, so they sort as Polish then. Each thread needs a collator of its own.
QCollator listCollator(const QLocale& locale)
{
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::Polish, QLocale::Poland) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// The length of the identical start of two texts, eight bytes at a time.
qsizetype identicalStart(QStringView a, QStringView b)
{
    const qsizetype length = std::min(a.size(), b.size());
    const char16_t* x = a.utf16();
    const char16_t* y = b.utf16();
    qsizetype i = 0;
    for (; i + 4 <= length; i += 4) {
        std::uint64_t p = 0, q = 0;
        std::memcpy(&p, x + i, sizeof p);
        std::memcpy(&q, y + i, sizeof q);
        if (p != q)
            break;
    }
    while (i < length && x[i] == y[i])
        ++i;
    return i;
}

// How much of an identical start of `shared` letters may be left out of a comparison: everything before its
// last blank (the blank stays, so nothing is left empty), or nothing.
qsizetype skippable(QStringView text, qsizetype shared)
{
    const qsizetype blank = shared > 0 ? text.first(shared).lastIndexOf(u' ') : -1;
    return std::max<qsizetype>(blank, 0);
}

// The collator's own comparison, told what the texts share: a list's texts often begin alike (numbered parts of
// one title, one journal's volumes), and the collator walks such a start a letter at a time. The identical start
// is skipped here up to its last blank, and the collator compares from that blank on. A blank joins no letter
// before it (it neither combines nor takes part in a contraction), so the identical part before it orders
// nothing and the result is the collator's on the whole texts.
class TextOrder {
public:
    explicit TextOrder(const QLocale& locale) : collator_(listCollator(locale)) {}

    int compare(QStringView a, QStringView b) const
    {
        const qsizetype skip = skippable(a, identicalStart(a, b));
        return collator_.compare(a.sliced(skip), b.sliced(skip));
    }
    bool less(QStringView a, QStringView b) const { return compare(a, b) < 0; }

private:
    QCollator collator_;
};

// Views the texts in one block of their own, without the start they all share: a sort reads its texts in no
// order, and tens of thousands of them lying between the other cells of their rows are a memory access each,
// while packed they mostly stay in the cache.
void packTexts(SortedStretch& stretch, QStringView reference)
{
    qsizetype shared = reference.size();
    for (const QStringView text : stretch.wholeTexts) {
        if (shared == 0)
            break;
        shared = identicalStart(reference.first(shared), text);
    }
    stretch.skipped = skippable(reference, shared);
    qsizetype total = 0;
    for (const QStringView text : stretch.wholeTexts)
        total += text.size() - stretch.skipped;
    stretch.packed.reserve(total);
    for (const QStringView text : stretch.wholeTexts)
        stretch.packed.append(text.sliced(stretch.skipped));
    stretch.texts.reserve(stretch.wholeTexts.size());
    qsizetype at = 0;
    for (const QStringView text : stretch.wholeTexts) {
        const qsizetype length = text.size() - stretch.skipped;
        stretch.texts.push_back(QStringView(stretch.packed).sliced(at, length));
        at += length;
    }
}

SortedStretch sortStretch(const std::function<const QString&(size_t)>& textOf, size_t begin, size_t end,
                          QStringView reference, const QLocale& locale)
{
    const TextOrder order(locale);
    SortedStretch stretch;
    stretch.begin = begin;
    stretch.textOfRow.reserve(end - begin);
    QHash<QStringView, int> distinct;
    distinct.reserve(static_cast<qsizetype>(end - begin));
    for (size_t r = begin; r < end; ++r) {
        const QStringView text = textOf(r);
        auto it = distinct.find(text);
        if (it == distinct.end()) {
            it = distinct.insert(text, static_cast<int>(stretch.wholeTexts.size()));
            stretch.wholeTexts.push_back(text);
        }
        stretch.textOfRow.push_back(*it);
    }
    packTexts(stretch, reference);

    const std::vector<QStringView>& texts = stretch.texts;
    std::vector<int>& ascending = stretch.ascending;
    ascending.resize(texts.size());
    std::iota(ascending.begin(), ascending.end(), 0);
    std::sort(ascending.begin(), ascending.end(), [&](int a, int b) { return order.less(texts[a], texts[b]); });
    stretch.sameAsPrevious.assign(ascending.size(), false);
    for (size_t k = 1; k < ascending.size(); ++k)
        stretch.sameAsPrevious[k] = !order.less(texts[ascending[k - 1]], texts[ascending[k]]);
    return stretch;
}

// The rank of every distinct text of both stretches in their joint order; texts the collator holds
// equal (within a stretch or across the two) share a rank. Each step of the merge compares once: whether the text
// taken equals the one taken before it follows from its stretch's own order or from the comparison that took that
// one.
std::pair<std::vector<int>, std::vector<int>> jointRanks(const SortedStretch& first, const SortedStretch& second,
                                                         const QLocale& locale)
{
    const TextOrder order(locale);
    // Both left out a start of the same text: when they left out as much, what is left compares as it stands.
    const bool sameStart = first.skipped == second.skipped;
    const std::vector<QStringView>& firstTexts = sameStart ? first.texts : first.wholeTexts;
    const std::vector<QStringView>& secondTexts = sameStart ? second.texts : second.wholeTexts;
    std::vector<int> firstRanks(first.texts.size()), secondRanks(second.texts.size());
    const size_t firstCount = first.ascending.size(), secondCount = second.ascending.size();
    size_t i = 0, j = 0;
    int rank = -1;
    enum class Taken { Nothing, First, Second } previous = Taken::Nothing;
    int decided = 0; // the comparison that took the last text of the first stretch
    while (i < firstCount || j < secondCount) {
        int comparison = 0;
        bool takeFirst = j == secondCount;
        if (i < firstCount && j < secondCount) {
            comparison = order.compare(firstTexts[first.ascending[i]], secondTexts[second.ascending[j]]);
            takeFirst = comparison <= 0;
        }
        if (takeFirst) {
            // After a text of the second stretch, this one was found greater when that one was taken.
            const bool equal = previous == Taken::First && first.sameAsPrevious[i];
            if (!equal)
                ++rank;
            firstRanks[first.ascending[i++]] = rank;
            previous = Taken::First;
            decided = comparison;
        } else {
            const bool equal = previous == Taken::Second ? second.sameAsPrevious[j]
                                                           : previous == Taken::First && decided == 0;
            if (!equal)
                ++rank;
            secondRanks[second.ascending[j++]] = rank;
            previous = Taken::Second;
        }
    }
    return {std::move(firstRanks), std::move(secondRanks)};
}

} // namespace

std::vector<int> CollatedRanks(size_t count, const std::function<const QString&(size_t)>& textOf, const QLocale& locale)
{
    const bool twoThreads = count >= kRowsForTwoThreads && std::thread::hardware_concurrency() > 1;
    const size_t split = twoThreads ? count / 2 : count;
    const QStringView reference = count > 0 ? QStringView(textOf(0)) : QStringView();
    SortedStretch second;
    std::thread secondThread;
    if (twoThreads)
        secondThread = std::thread([&] { second = sortStretch(textOf, split, count, reference, locale); });
    const SortedStretch first = sortStretch(textOf, 0, split, reference, locale);
    if (secondThread.joinable())
        secondThread.join();
    const auto [firstRanks, secondRanks] = jointRanks(first, second, locale);

    std::vector<int> ranks(count);
    for (size_t i = 0; i < count; ++i)
        ranks[i] = i < split ? firstRanks[first.textOf(i)] : secondRanks[second.textOf(i)];
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
