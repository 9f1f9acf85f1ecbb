#include "archive/block_inflate.h"

#include "archive/archive_failures.h"
#include "archive/block_deflate.h"
#include "archive/checksums.h"
#include "archive/packed_input.h"
#include "archive/raw_inflate.h"
#include "archive/job_threads.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace vestrum::zlb {
namespace {

constexpr std::string_view kFullFlushMark("\0\0\xff\xff", 4);
constexpr qint64 kWindow = 32 * 1024;
// A piece longer than two blocks, packed or inflated, is no block of ours: reading goes on as one stream rather
// than holding it in memory.
constexpr qint64 kMostPerPiece = 2 * blockdeflate::kBlockSize;

// Room for inflated bytes that is never zeroed: every byte read from it was written by inflate first.
class InflatedBytes {
public:
    char* data() { return bytes_.get(); }
    const char* data() const { return bytes_.get(); }
    qint64 capacity() const { return capacity_; }
    // Keeps the first `kept` bytes.
    void grow(qint64 capacity, qint64 kept)
    {
        auto larger = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(capacity));
        if (kept > 0)
            std::memcpy(larger.get(), bytes_.get(), static_cast<size_t>(kept));
        bytes_ = std::move(larger);
        capacity_ = capacity;
    }

private:
    std::unique_ptr<char[]> bytes_;
    qint64 capacity_ = 0;
};

struct Piece {
    qint64 index = 0; // its place among the pieces of the stream
    std::vector<char> packed;
    bool last = false;
    InflatedBytes inflated;
    qint64 produced = 0;
    std::uint32_t adler = 1;
    std::uint32_t crc = 0;
    bool placed = false;      // written at its offset by the thread that inflated it
    bool placeFailed = false; // that write failed
    bool worked = false;      // inflated alone as a block
    bool done = false;
};

// Where the next piece goes. A piece's offset is known once every piece before it has been placed, so no piece is
// ever written anywhere but its own place: the one that is no block stops the line, and none after it is written.
class PlacementLine {
public:
    explicit PlacementLine(qint64 size) : size_(size) {}

    // The offset of piece `index`, `length` bytes long, when it is next in line and fits the member.
    std::optional<qint64> claim(qint64 index, qint64 length)
    {
        const std::lock_guard lock(mutex_);
        if (index != nextIndex_ || nextOffset_ + length > size_)
            return std::nullopt;
        const qint64 offset = nextOffset_;
        ++nextIndex_;
        nextOffset_ += length;
        return offset;
    }

private:
    std::mutex mutex_;
    const qint64 size_;
    qint64 nextIndex_ = 0;
    qint64 nextOffset_ = 0;
};

class RawInflater {
public:
    z_stream& zs() { return stream_.zs(); }

    // Whether the piece is a block: inflated from nothing, it uses up every byte, gives at most kMostPerPiece and
    // stops at the end of the stream (the last piece) or else between two deflate blocks on a byte boundary.
    bool inflateAlone(Piece& piece)
    {
        z_stream& zs = stream_.zs();
        if (inflateReset(&zs) != Z_OK)
            return false;
        InflatedBytes& out = piece.inflated;
        if (out.capacity() < blockdeflate::kBlockSize + 1)
            out.grow(blockdeflate::kBlockSize + 1, 0);
        zs.next_in = reinterpret_cast<Bytef*>(piece.packed.data());
        zs.avail_in = static_cast<uInt>(piece.packed.size());
        piece.produced = 0;
        int rc = Z_OK;
        for (;;) {
            zs.next_out = reinterpret_cast<Bytef*>(out.data() + piece.produced);
            zs.avail_out = static_cast<uInt>(out.capacity() - piece.produced);
            rc = inflate(&zs, Z_NO_FLUSH);
            piece.produced = out.capacity() - zs.avail_out;
            if (rc == Z_STREAM_END)
                break;
            if (rc != Z_OK && rc != Z_BUF_ERROR)
                return false;
            if (zs.avail_out == 0) {
                if (out.capacity() > kMostPerPiece)
                    return false;
                out.grow(out.capacity() * 2, piece.produced);
                continue;
            }
            break; // every byte taken, and room left for more
        }
        if (zs.avail_in != 0)
            return false;
        if (piece.last)
            return rc == Z_STREAM_END;
        return rc != Z_STREAM_END && stoppedOnFullFlush(zs);
    }

private:
    RawInflateStream stream_;
};

// Reads the deflate data of a stream (between its header and its Adler-32) and cuts it after each full-flush
// mark; the bytes after the last mark are the last piece. The bytes read wait in one buffer, made once, that
// holds the longest piece allowed and one more read.
class PieceCutter {
public:
    PieceCutter(QFile& archive, qint64 length, int number)
        : archive_(archive), left_(length), number_(number),
          buffer_(std::make_unique_for_overwrite<char[]>(static_cast<size_t>(kBufferSize)))
    {
    }

    // False when no mark comes within kMostPerPiece bytes.
    bool next(Piece& piece)
    {
        for (;;) {
            const std::string_view pending(buffer_.get() + begin_, static_cast<size_t>(end_ - begin_));
            // A mark may straddle the end of what was searched before.
            const qint64 overlap = qint64(kFullFlushMark.size()) - 1;
            const auto from = static_cast<size_t>(std::max<qint64>(scanned_ - overlap - begin_, 0));
            const size_t mark = pending.find(kFullFlushMark, from);
            if (mark != std::string_view::npos) {
                take(piece, static_cast<qint64>(mark + kFullFlushMark.size()), false);
                return true;
            }
            scanned_ = end_;
            if (left_ == 0) {
                take(piece, end_ - begin_, true);
                return true;
            }
            if (end_ - begin_ > kMostPerPiece)
                return false;
            readMore();
        }
    }

private:
    static constexpr qint64 kBufferSize = kMostPerPiece + kIoChunk;

    void take(Piece& piece, qint64 length, bool last)
    {
        piece.packed.assign(buffer_.get() + begin_, buffer_.get() + begin_ + length);
        piece.index = taken_++;
        piece.last = last;
        begin_ += length;
        scanned_ = begin_;
    }

    void readMore()
    {
        const qint64 wanted = std::min(left_, kIoChunk);
        if (end_ + wanted > kBufferSize) {
            std::memmove(buffer_.get(), buffer_.get() + begin_, static_cast<size_t>(end_ - begin_));
            scanned_ -= begin_;
            end_ -= begin_;
            begin_ = 0;
        }
        const qint64 n = archive_.read(buffer_.get() + end_, wanted);
        if (n != wanted)
            throw memberCorrupt(number_);
        end_ += n;
        left_ -= n;
    }

    QFile& archive_;
    qint64 left_;
    const int number_;
    std::unique_ptr<char[]> buffer_;
    qint64 begin_ = 0; // the bytes read and not yet taken: [begin_, end_)
    qint64 end_ = 0;
    qint64 scanned_ = 0; // searched for a mark up to here
    qint64 taken_ = 0;
};

// The last 32 KiB handed to the output: what one inflate would hold in its window there.
class Window {
public:
    void follow(const char* data, qint64 length)
    {
        if (length >= kWindow) {
            bytes_.assign(data + length - kWindow, data + length);
            return;
        }
        bytes_.insert(bytes_.end(), data, data + length);
        if (static_cast<qint64>(bytes_.size()) > kWindow)
            bytes_.erase(bytes_.begin(), bytes_.end() - kWindow);
    }
    const std::vector<char>& bytes() const { return bytes_; }

private:
    std::vector<char> bytes_;
};

// How far the blocks took the stream: bytes of deflate data used, bytes given, their Adler-32 and CRC.
struct Reached {
    qint64 packed = 0;
    qint64 produced = 0;
    std::uint32_t adler = 1;
    std::uint32_t crc = 0;
    bool ended = false; // the last piece was a block too
    Window window;
};

std::uint32_t readAdler(QFile& archive, int number)
{
    unsigned char trailer[4];
    if (archive.read(reinterpret_cast<char*>(trailer), 4) != 4)
        throw memberCorrupt(number);
    return std::uint32_t(trailer[0]) << 24 | std::uint32_t(trailer[1]) << 16 | std::uint32_t(trailer[2]) << 8
        | std::uint32_t(trailer[3]);
}

bool soundZlibHeader(const unsigned char* header)
{
    return (header[0] & 0x0f) == Z_DEFLATED && (header[0] >> 4) <= MAX_WBITS - 8 && (header[1] & 0x20) == 0
        && ((header[0] << 8) | header[1]) % 31 == 0;
}

// On a worker: inflates the piece, computes its checksums and, when every piece before it has been placed,
// writes it at its offset.
bool workPiece(RawInflater& inflater, Piece& piece, PlacementLine& line, ArchiveMemberOutput& output)
{
    piece.placed = false;
    piece.placeFailed = false;
    if (!inflater.inflateAlone(piece))
        return false;
    piece.adler = adler32Of(1, piece.inflated.data(), piece.produced);
    piece.crc = output.keepsCrc() ? crcUpdate(0, piece.inflated.data(), piece.produced) : 0;
    if (const std::optional<qint64> offset = line.claim(piece.index, piece.produced)) {
        piece.placed = true;
        piece.placeFailed = !output.placeAt(*offset, piece.inflated.data(), piece.produced);
    }
    return true;
}

// On the calling thread, in the stream's order: places the piece if its worker could not yet, and joins its
// checksums to those of the pieces before it.
void takePiece(const Piece& piece, qint64 size, int number, PlacementLine& line, ArchiveMemberOutput& output,
               Reached& reached)
{
    if (reached.produced + piece.produced > size)
        throw memberCorrupt(number);
    if (!piece.placed) {
        const std::optional<qint64> offset = line.claim(piece.index, piece.produced);
        if (!offset)
            throw memberCorrupt(number);
        if (!output.placeAt(*offset, piece.inflated.data(), piece.produced))
            throw output.writeFailure();
    } else if (piece.placeFailed) {
        throw output.writeFailure();
    }
    const auto length = static_cast<z_off_t>(piece.produced);
    reached.adler = static_cast<std::uint32_t>(adler32_combine(reached.adler, piece.adler, length));
    if (output.keepsCrc())
        reached.crc = static_cast<std::uint32_t>(crc32_combine(reached.crc, piece.crc, length));
    reached.window.follow(piece.inflated.data(), piece.produced);
    reached.packed += static_cast<qint64>(piece.packed.size());
    reached.produced += piece.produced;
    reached.ended = piece.last;
}

// Inflates pieces on the threads, a few ahead of the one taken in order, until the last or the first that is no
// block; memory stays at those few pieces.
Reached inflatePieces(PieceCutter& cutter, qint64 size, int number, int threads, ArchiveMemberOutput& output,
                      const ProducedFn& produced)
{
    Reached reached;
    const size_t inFlightLimit = static_cast<size_t>(threads) + 1;
    // Declared before the threads, so that they outlive them.
    std::vector<std::unique_ptr<Piece>> pieces;
    PlacementLine line(size);
    std::vector<Piece*> spare;
    std::deque<Piece*> inFlight;
    // This thread inflates too, between cutting pieces, so that no more threads than cores share them.
    std::unique_ptr<RawInflater> ownInflater;
    try {
        ownInflater = std::make_unique<RawInflater>();
    } catch (const std::bad_alloc&) {
        // It only waits, then.
    }
    JobThreads<Piece, RawInflater> workers(
        std::max(threads - 1, 1), [] { return std::make_unique<RawInflater>(); },
        [&line, &output](RawInflater& inflater, Piece& piece) { return workPiece(inflater, piece, line, output); });
    bool allCut = false;
    for (;;) {
        while (!allCut && inFlight.size() < inFlightLimit) {
            if (spare.empty()) {
                pieces.push_back(std::make_unique<Piece>());
                spare.push_back(pieces.back().get());
            }
            Piece& piece = *spare.back();
            if (!cutter.next(piece)) {
                allCut = true;
                break;
            }
            spare.pop_back();
            allCut = piece.last;
            workers.submit(piece);
            inFlight.push_back(&piece);
        }
        if (inFlight.empty())
            return reached;
        Piece& piece = *inFlight.front();
        inFlight.pop_front();
        // One piece stays queued for the thread that finishes first.
        while (ownInflater && !workers.isDone(piece) && workers.workOneHere(*ownInflater, 1)) {
        }
        if (!workers.waitFor(piece))
            return reached;
        takePiece(piece, size, number, line, output, reached);
        produced(reached.produced);
        if (reached.ended)
            return reached;
        spare.push_back(&piece);
    }
}

// Inflates the rest of the deflate data (`length` bytes at the archive's position) as one stream primed with the
// window reached, then checks the Adler-32 of the whole.
void inflateTheRest(QFile& archive, qint64 length, qint64 size, int number, Reached& reached,
                    ArchiveMemberOutput& output, const ProducedFn& produced)
{
    RawInflater inflater;
    z_stream& zs = inflater.zs();
    const std::vector<char>& window = reached.window.bytes();
    if (inflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(window.data()), static_cast<uInt>(window.size()))
        != Z_OK)
        throw memberCorrupt(number);
    PackedInput packed(archive, length, number, kIoChunk);
    for (;;) {
        qint64 capacity = 0;
        char* buffer = output.acquire(capacity);
        zs.next_out = reinterpret_cast<Bytef*>(buffer);
        zs.avail_out = static_cast<uInt>(capacity);
        int rc = Z_OK;
        while (rc == Z_OK && zs.avail_out > 0) {
            packed.refill(zs);
            rc = inflate(&zs, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END)
                throw memberCorrupt(number);
        }
        const qint64 filled = capacity - zs.avail_out;
        if (reached.produced + filled > size)
            throw memberCorrupt(number);
        reached.adler = adler32Of(reached.adler, buffer, filled);
        output.release(filled);
        reached.produced += filled;
        produced(reached.produced);
        if (rc == Z_STREAM_END) {
            if (!packed.usedUp(zs))
                throw memberCorrupt(number);
            return;
        }
    }
}

} // namespace

bool inflateBlocksApart(QFile& archive, qint64 packedSize, qint64 size, int number, int threads,
                        ArchiveMemberOutput& output, const ProducedFn& produced)
{
    const qint64 start = archive.pos();
    unsigned char header[2];
    if (packedSize < 6 || archive.read(reinterpret_cast<char*>(header), 2) != 2 || !soundZlibHeader(header))
        return false;
    const qint64 deflateLength = packedSize - 6;
    PieceCutter cutter(archive, deflateLength, number);
    Reached reached = inflatePieces(cutter, size, number, threads, output, produced);
    if (reached.produced == 0 && !reached.ended)
        return false;
    output.placedUpTo(reached.produced, reached.crc);
    if (!reached.ended) {
        if (!archive.seek(start + 2 + reached.packed))
            throw memberCorrupt(number);
        inflateTheRest(archive, deflateLength - reached.packed, size, number, reached, output, produced);
    } else if (!archive.seek(start + packedSize - 4)) {
        throw memberCorrupt(number);
    }
    if (reached.produced != size || readAdler(archive, number) != reached.adler)
        throw memberCorrupt(number);
    return true;
}

} // namespace vestrum::zlb
