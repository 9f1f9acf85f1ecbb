#pragma once

// Reading a member written in blocks (block_deflate.h) on every core. The blocks are found by their full flushes:
// the empty stored block 00 00 FF FF on a byte boundary. Those four bytes can also stand inside compressed data,
// so a piece cut there counts as a block only when it inflates alone, from nothing, to its very last byte and
// stops there between two deflate blocks (the last piece: at the end of the stream). Such pieces give, one after
// another, exactly what one inflate of the whole stream gives: a piece that inflates from nothing never reaches
// back before its start. The calling thread cuts the pieces and, rather than wait, inflates some of them beside
// the other threads. The thread that inflates a block also computes its Adler-32 and CRC, joined in order on the
// calling thread, and writes it at its offset once every block before it has been written (else the calling
// thread writes it, in order). The first piece that is no such block ends the work on the cores, and one inflate
// goes on from its start, primed with the 32 KiB given before it, as a reader of the whole stream would be there.

#include "archive/member_outputs.h"

#include <QFile>

#include <functional>

namespace vestrum::zlb {

// Fired with the number of bytes handed to the output so far.
using ProducedFn = std::function<void(qint64 produced)>;

// Inflates the zlib stream of `packedSize` bytes at the archive's position into exactly `size` bytes placed in or
// handed to `output`, its pieces on `threads` threads, its Adler-32 checked, the output's CRC given the bytes'.
// False, with nothing written to `output`, when its first piece is no block that inflates apart: the caller then
// reads the member as one stream. A stream that does not inflate to `size` bytes, or fails its Adler-32, is
// "Plik (number) jest uszkodzony"; a write that fails is the output's `writeFailure`.
bool inflateBlocksApart(QFile& archive, qint64 packedSize, qint64 size, int number, int threads,
                        ArchiveMemberOutput& output, const ProducedFn& produced);

} // namespace vestrum::zlb
