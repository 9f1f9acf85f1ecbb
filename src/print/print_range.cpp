#include "print/print_range.h"

#include <algorithm>

namespace vestrum {

QList<int> PrintRange::pages() const
{
    QList<int> result;
    for (int page = from; page <= to; page += step)
        result.append(page);
    return result;
}

namespace {

// Moves `from` up and `to` down to the nearest page of the wanted parity (1 odd, 0 even).
void keepParity(PrintRange& range, int parity)
{
    if (range.from % 2 != parity)
        ++range.from;
    if (range.to % 2 != parity)
        --range.to;
    range.step = 2;
}

} // namespace

PrintRange printRange(PageParity parity, bool wholeDocument, int from, int to, int pageCount)
{
    PrintRange range;
    range.from = wholeDocument ? 1 : from;
    range.to = wholeDocument ? pageCount : to;
    // Clamping first keeps the parity right: page 0 raised to 1 would be odd in an even range.
    range.from = std::max(range.from, 1);
    range.to = std::min(range.to, pageCount);
    if (parity == PageParity::Odd)
        keepParity(range, 1);
    else if (parity == PageParity::Even)
        keepParity(range, 0);
    return range;
}

} // namespace vestrum
