#include "lists/compact_list.h"

#include "lists/collated_order.h"
#include "lists/list_grid.h"

#include <QHash>
#include <QStringEncoder>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numeric>

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#endif

namespace vestrum::lists {
namespace {

constexpr quint64 kHighBits = 0x8080808080808080;

// Whether `bytes` is well-formed UTF-8: no stray continuation byte, no overlong form, no surrogate,
// nothing above U+10FFFF. Text of that form decodes and encodes back to the same bytes. Nearly
// every byte is ASCII, so eight are looked at at a time.
bool isWellFormedUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        if (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, sizeof word);
            if ((word & kHighBits) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF; // the range of the byte after the lead
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (end - p < length || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i < length; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF)
                return false;
        p += length;
    }
    return true;
}

bool startsWithByteOrderMark(QByteArrayView bytes) { return bytes.startsWith("\xEF\xBB\xBF"); }

constexpr size_t kLargePage = size_t(2) << 20;
constexpr size_t kSmallestRoom = 4096;
// Rooms from this size on are mapped in large pages: a list of a few hundred rows already takes one
// fault instead of dozens.
constexpr size_t kMappedRoom = 64 << 10;

size_t roundedUp(size_t bytes, size_t unit) { return (bytes + unit - 1) / unit * unit; }

#ifdef Q_OS_UNIX
// `bytes` (a multiple of a large page) at a large-page boundary, to be taken in large pages where
// the system can: a mapping a page longer is cut down to the aligned part.
char* mapLargePages(size_t bytes)
{
    const size_t span = bytes + kLargePage;
    void* const mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    char* const raw = static_cast<char*>(mapped);
    char* const start = raw + (kLargePage - reinterpret_cast<std::uintptr_t>(raw) % kLargePage) % kLargePage;
    if (start > raw)
        munmap(raw, static_cast<size_t>(start - raw));
    if (const size_t tail = span - static_cast<size_t>(start - raw) - bytes; tail > 0)
        munmap(start + bytes, tail);
#ifdef MADV_HUGEPAGE
    madvise(start, bytes, MADV_HUGEPAGE); // only advice: without large pages the room still works
#endif
    return start;
}
#endif

} // namespace

PageRoom::PageRoom(PageRoom&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, false))
{
}

PageRoom& PageRoom::operator=(PageRoom&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

PageRoom::~PageRoom() { release(); }

void PageRoom::release() noexcept
{
#ifdef Q_OS_UNIX
    if (mapped_)
        munmap(data_, capacity_);
    else
#endif
        std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
    mapped_ = false;
}

void PageRoom::grow(size_t bytes, size_t kept)
{
    size_t capacity = std::max({bytes, 2 * capacity_, kSmallestRoom});
#ifdef Q_OS_UNIX
    const bool fromHeap = capacity < kMappedRoom;
#else
    const bool fromHeap = true; // large pages are asked for only where mmap offers them
#endif
    if (fromHeap) {
        // Small rooms come from the heap, which often enlarges them where they are. (A mapped room
        // is never smaller than a large page, so this room is the heap's.)
        void* const enlarged = std::realloc(data_, capacity);
        if (!enlarged)
            throw std::bad_alloc();
        data_ = static_cast<char*>(enlarged);
        capacity_ = capacity;
        return;
    }
#ifdef Q_OS_UNIX
    capacity = roundedUp(capacity, kLargePage);
    char* const moved = mapLargePages(capacity);
    if (kept > 0)
        std::memcpy(moved, data_, kept);
    release();
    data_ = moved;
    capacity_ = capacity;
    mapped_ = true;
#endif
}

CompactList::CompactList(QStringList headers) : headers_(std::move(headers))
{
    if (headers_.isEmpty())
        headers_ << QString();
}

int CompactList::rowCount() const
{
    return std::max(1, static_cast<int>(cellEnds_.size() / columnCount()));
}

QByteArrayView CompactList::cell(int row, int column) const
{
    const qsizetype index = qsizetype(row) * columnCount() + column;
    if (index >= cellEnds_.size())
        return {}; // the blank row of an empty list
    const qsizetype begin = index == 0 ? 0 : cellEnds_[index - 1];
    return bytes().sliced(begin, cellEnds_[index] - begin);
}

qsizetype CompactList::rowSize(int row) const
{
    const qsizetype first = qsizetype(row) * columnCount();
    const qsizetype last = first + columnCount() - 1;
    if (last >= cellEnds_.size())
        return 0;
    return cellEnds_[last] - (first == 0 ? 0 : cellEnds_[first - 1]);
}

void CompactList::prefetchRow(int row) const
{
    const qsizetype first = qsizetype(row) * columnCount();
    if (first < cellEnds_.size())
        __builtin_prefetch(bytes_.data() + (first == 0 ? 0 : cellEnds_[first - 1]));
}

bool CompactList::appendUtf8(QByteArrayView bytes)
{
    if (!isWellFormedUtf8(bytes) || startsWithByteOrderMark(bytes))
        return false;
    if (!bytes.isEmpty())
        std::memcpy(bytes_.extend(bytes.size()), bytes.data(), static_cast<size_t>(bytes.size()));
    cellEnds_.push_back(bytes_.size());
    return true;
}

void CompactList::appendText(QStringView text)
{
    // Each cell stands alone: a broken surrogate pair at the end of one never joins the next.
    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    const qsizetype start = bytes_.size();
    bytes_.extend(utf8.requiredSpace(text.size()));
    char* const end = utf8.appendToBuffer(bytes_.data() + start, text);
    bytes_.truncate(end - bytes_.data());
    cellEnds_.push_back(bytes_.size());
}

void CompactList::markSortColumn(int column) { MarkSortColumn(headers_, column); }

std::vector<int> CompactList::sortedOrder(int column, const QLocale& locale) const
{
    const int rows = rowCount();
    if (column < 0 || column >= columnCount()) {
        std::vector<int> order(static_cast<size_t>(rows));
        std::iota(order.begin(), order.end(), 0);
        return order;
    }
    // A column's texts repeat (journals, years), so each distinct one is decoded and ranked once.
    QHash<QByteArrayView, int> distinct;
    std::vector<QByteArrayView> distinctBytes;
    std::vector<int> distinctOfRow(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        const QByteArrayView bytes = cell(r, column);
        auto it = distinct.constFind(bytes);
        if (it == distinct.cend()) {
            it = distinct.insert(bytes, static_cast<int>(distinctBytes.size()));
            distinctBytes.push_back(bytes);
        }
        distinctOfRow[static_cast<size_t>(r)] = *it;
    }

    QStringList texts;
    texts.reserve(static_cast<qsizetype>(distinctBytes.size()));
    for (const QByteArrayView bytes : distinctBytes)
        texts.append(QString::fromUtf8(bytes));
    const std::vector<int> distinctRanks =
        CollatedRanks(
            distinctBytes.size(), [&](size_t i) -> const QString& { return texts[qsizetype(i)]; }, locale);

    std::vector<int> ranks(static_cast<size_t>(rows));
    for (size_t r = 0; r < ranks.size(); ++r)
        ranks[r] = distinctRanks[static_cast<size_t>(distinctOfRow[r])];
    return OrderByRank(ranks);
}

CompactList CompactCopy(const ListGrid& grid)
{
    CompactList list(grid.headers());
    for (const QStringList& row : grid.rows())
        for (const QString& cell : row)
            list.appendText(cell);
    return list;
}

} // namespace vestrum::lists
