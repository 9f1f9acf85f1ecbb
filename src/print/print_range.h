#pragma once

#include <QList>

namespace vestrum {

// Which pages of the range the print range window asks for.
enum class PageParity { All, Odd, Even };

// The pages a print from the preview sends to the printer, ascending.
struct PrintRange {
    int from = 1;
    int to = 0;
    int step = 1;

    bool isEmpty() const { return to < from; }
    QList<int> pages() const;
};

// The range of a print: the whole document, or `from` to `to` as typed. An odd-pages range
// starts and ends on odd pages (an even end moves down), an even-pages range on even ones, and
// both step by 2. The result never leaves 1..pageCount; a range that holds no page is empty and
// starts no print job.
PrintRange printRange(PageParity parity, bool wholeDocument, int from, int to, int pageCount);

} // namespace vestrum
