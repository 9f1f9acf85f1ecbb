#pragma once

// One zlib stream made on several cores: the input is cut into blocks, each block is deflated on its own
// (raw deflate primed with the 32 KiB of input before it, ended by a full flush, the last one by the end of the
// stream), and the pieces are written in order behind one zlib header and followed by one Adler-32 joined from
// the blocks' own. Any zlib inflate reads the result as one ordinary stream; only its bytes differ from what a
// single deflate stream would give.

#include <QtGlobal>

#include <cstdint>
#include <functional>

namespace vestrum::blockdeflate {

// 256 KiB per block: a 1 MiB member already gives two blocks to each of two cores, while the cost of a block
// (priming its dictionary, a fresh Huffman table, the few bytes of the flush) stays near a tenth of a percent of
// the output.
inline constexpr qint64 kBlockSize = 256 * 1024;

// Fills exactly `size` bytes at `into`, or throws.
using ReadFn = std::function<void(char* into, qint64 size)>;
// Takes the next piece of the stream; returns false when it wants no more (the stream is then abandoned).
using WriteFn = std::function<bool(const char* data, qint64 size)>;
// The number of input bytes whose compressed form has been written so far.
using ProgressFn = std::function<void(qint64 done)>;

struct Outcome {
    bool complete = false;      // false when `write` asked to stop
    std::uint32_t crc = 0;      // CRC-32 of the input, when complete
    qint64 packedSize = 0;      // bytes handed to `write`
};

// Deflates `size` bytes taken from `read` at zlib level `level` on `threads` threads (at least one) besides the
// calling one, which reads, writes and reports progress; `read`, `write` and `progress` are only ever called on
// the calling thread. An exception from any of them stops the workers and is passed on.
Outcome DeflateInBlocks(qint64 size, int level, int threads, const ReadFn& read, const WriteFn& write,
                        const ProgressFn& progress = {}, qint64 blockSize = kBlockSize);

} // namespace vestrum::blockdeflate
