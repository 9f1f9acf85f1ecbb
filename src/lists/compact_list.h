#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QLocale>
#include <QStringList>
#include <QStringView>
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

namespace vestrum::lists {

class ListGrid;

// Room for a long run of bytes. Memory fresh from the system costs a fault at the first touch of
// every 4 KB page, and the faults, not the copying, are most of the time a long list takes to load;
// so from 2 MB on the room is taken in whole 2 MB pages where the system offers them. It grows by
// moving into a room at least twice the size.
class PageRoom {
public:
    PageRoom() = default;
    PageRoom(PageRoom&& other) noexcept;
    PageRoom& operator=(PageRoom&& other) noexcept;
    PageRoom(const PageRoom&) = delete;
    PageRoom& operator=(const PageRoom&) = delete;
    ~PageRoom();

    char* data() const { return data_; }
    size_t capacity() const { return capacity_; }
    // Makes room for at least `bytes`, keeping the first `kept`.
    void grow(size_t bytes, size_t kept);

private:
    void release() noexcept;

    char* data_ = nullptr;
    size_t capacity_ = 0;
    bool mapped_ = false; // taken from the system directly rather than from the heap
};

// A growing array of plain values in a PageRoom.
template <typename T> class PagedArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PagedArray() = default;
    PagedArray(PagedArray&& other) noexcept : room_(std::move(other.room_)), size_(std::exchange(other.size_, 0)) {}
    PagedArray& operator=(PagedArray&& other) noexcept
    {
        room_ = std::move(other.room_);
        size_ = std::exchange(other.size_, 0);
        return *this;
    }
    PagedArray(const PagedArray& other) { append(other); }
    PagedArray& operator=(const PagedArray& other)
    {
        if (this != &other) {
            size_ = 0;
            append(other);
        }
        return *this;
    }
    ~PagedArray() = default;

    qsizetype size() const { return size_; }
    const T* data() const { return reinterpret_cast<const T*>(room_.data()); }
    T* data() { return reinterpret_cast<T*>(room_.data()); }
    const T& operator[](qsizetype i) const { return data()[i]; }

    // Adds `count` values, left undefined, and returns the first of them.
    T* extend(qsizetype count)
    {
        const size_t needed = sizeof(T) * static_cast<size_t>(size_ + count);
        if (needed > room_.capacity())
            room_.grow(needed, sizeof(T) * static_cast<size_t>(size_));
        T* const added = data() + size_;
        size_ += count;
        return added;
    }
    void push_back(T value) { *extend(1) = value; }
    void truncate(qsizetype size) { size_ = std::min(size_, size); }

private:
    void append(const PagedArray& other)
    {
        if (other.size_ > 0)
            std::memcpy(extend(other.size_), other.data(), sizeof(T) * static_cast<size_t>(other.size_));
    }

    PageRoom room_;
    qsizetype size_ = 0;
};

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
    QByteArrayView bytes() const { return QByteArrayView(bytes_.data(), bytes_.size()); }

    QStringList headers_;
    PagedArray<char> bytes_;
    PagedArray<qsizetype> cellEnds_;
};

// The grid's headers and rows in compact form.
CompactList CompactCopy(const ListGrid& grid);

} // namespace vestrum::lists
