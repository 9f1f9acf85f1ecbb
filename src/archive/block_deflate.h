#pragma once

// One zlib stream made on several cores: the input is cut into blocks, each block is deflated on its own
// (raw deflate with nothing before it, ended by a full flush, the last one by the end of the stream), and the
// pieces are written in order behind one zlib header and followed by one Adler-32 joined from the blocks' own.
// Any zlib inflate reads the result as one ordinary stream; only its bytes differ from what a single deflate
// stream would give. Since no block reaches back into the one before it, a reader can inflate the blocks apart
// too, on every core (`zlb::inflateBlocksApart`), finding them by their full flushes.

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <vector>

namespace vestrum::blockdeflate {

// 512 KiB per block: a 1 MiB member already gives a block to each of two cores. A block starts with no history,
// so its first 32 KiB find fewer matches; on a 50 MB survey database that costs 0.7 % of the member at 512 KiB
// against 1.4 % at 256 KiB, and 512 KiB keeps it under 1 %.
inline constexpr qint64 kBlockSize = 512 * 1024;

// Fills exactly `size` bytes at `into`, or throws.
using ReadFn = std::function<void(char* into, qint64 size)>;
// Takes the next piece of the stream; returns false when it wants no more (the stream is then abandoned).
using WriteFn = std::function<bool(const char* data, qint64 size)>;
// The number of input bytes whose compressed form has been written so far.
using ProgressFn = std::function<void(qint64 done)>;

// How a stream is cut: block i holds the input bytes from i * blockSize (the last block the rest, one empty block
// for empty input), and its compressed bytes end at ends[i], counted from the stream's first byte (its zlib
// header). The last block ends where the Adler-32 begins.
struct Layout {
    qint64 blockSize = 0;
    std::vector<qint64> ends;
};

struct Outcome {
    bool complete = false;      // false when `write` asked to stop
    std::uint32_t crc = 0;      // CRC-32 of the input, when complete
    qint64 packedSize = 0;      // bytes handed to `write`
    Layout layout;              // of the blocks written; empty for a stream made in one piece
};

// Deflates `size` bytes taken from `read` at zlib level `level` on `threads` threads (at least one) besides the
// calling one, which reads, writes and reports progress; `read`, `write` and `progress` are only ever called on
// the calling thread. An exception from any of them stops the workers and is passed on.
Outcome DeflateInBlocks(qint64 size, int level, int threads, const ReadFn& read, const WriteFn& write,
                        const ProgressFn& progress = {}, qint64 blockSize = kBlockSize);

// Fills exactly `size` bytes at `into` from `offset`, or throws; called from several threads at once.
using ReadAtFn = std::function<void(qint64 offset, char* into, qint64 size)>;

// Whether the `packedSize` bytes of `packed`, a stream cut as `layout` says, inflate to exactly the `size` bytes
// of `original`, header and Adler-32 included; `crc` then receives the original's CRC-32. Every block is
// inflated on its own, on `threads` threads, with nothing before it. That answers for the stream read in one
// piece too: a block that inflates from nothing reaches back into nothing, so what comes before it cannot change
// what it gives. A read that throws counts as a stream that does not inflate.
bool InflatesTo(const ReadAtFn& packed, qint64 packedSize, const ReadAtFn& original, qint64 size,
                const Layout& layout, int threads, std::uint32_t& crc);

} // namespace vestrum::blockdeflate
