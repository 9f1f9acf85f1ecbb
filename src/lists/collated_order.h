#pragma once

#include <QLocale>
#include <QString>
#include <cstddef>
#include <functional>
#include <vector>

namespace vestrum::lists {

// The order of `count` texts as the list grids sort them: ascending under `locale` (Polish when
// no locale is configured), without regard to case, and texts that compare equal keep their order
// (the order repeated passes of adjacent swaps give). `textOf(i)` gives the i-th text, which must
// stay where it is until the call returns. Returns the indices 0..count-1 in that order.
std::vector<int> CollatedOrder(size_t count, const std::function<const QString&(size_t)>& textOf,
                               const QLocale& locale = QLocale());

// The rank of each of the texts in that order, from 0: texts that compare equal share a rank.
std::vector<int> CollatedRanks(size_t count, const std::function<const QString&(size_t)>& textOf,
                               const QLocale& locale = QLocale());
// The indices ordered by rank, equal ranks keeping their order.
std::vector<int> OrderByRank(const std::vector<int>& ranks);

} // namespace vestrum::lists
