#include "archive/zlb_archive.h"

#include "archive/archive_failures.h"
#include "archive/archive_progress.h"
#include "archive/block_inflate.h"
#include "archive/packed_input.h"
#include "archive/member_outputs.h"
#include "archive/zlib_streams.h"

#include <QFile>

#include <algorithm>
#include <thread>

namespace vestrum {
using namespace zlb;

namespace {

// Below this a member is a few blocks, and the threads' fresh buffers would cost more than they gain: a survey
// of a few thousand rows loads faster on one core.
constexpr qint64 kBlocksApartFrom = 4 * 1024 * 1024;
// Each thread keeps a block or two in memory; beyond eight, writing the member out is the bottleneck anyway.
constexpr int kMostInflatingThreads = 8;

} // namespace

// Decodes one member into `output`. The block is read no further than its StoredSize, and a member that would
// inflate past its UnpackedSize, end short of it or fail its zlib check is corrupt; bytes past UnpackedSize are
// never handed on.
void ZlbArchive::streamMember(QFile& archive, int number, ArchiveMemberOutput& output)
{
    const TArchiveEntry& e = entries_[static_cast<size_t>(number)];
    if (!archive.seek(e.DataOffset))
        throw memberCorrupt(number);
    const qint64 total = e.UnpackedSize;
    startPhase(TProgressPhase::Extracting, QStringLiteral("Rozpakowywanie %1").arg(e.fileName()), total);
    ChunkTicker ticker(total);
    const auto tick = [this](qint64 at) { progress(at); };
    qint64 capacity = 0;

    if (e.Stored == 1) {
        if (e.StoredSize != e.UnpackedSize)
            throw memberCorrupt(number);
        qint64 done = 0;
        while (done < total) {
            char* buffer = output.acquire(capacity);
            const qint64 n = archive.read(buffer, std::min(total - done, capacity));
            if (n <= 0)
                throw memberCorrupt(number);
            output.release(n);
            done += n;
            ticker.advance(done, tick);
        }
        return;
    }

    if (total > qint64(e.StoredSize) * kMaxInflateRatio)
        throw memberCorrupt(number);
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    if (total >= kBlocksApartFrom && cores > 1) {
        const auto produced = [&](qint64 done) { ticker.advance(done, tick); };
        if (inflateBlocksApart(archive, e.StoredSize, total, number, std::min(cores, kMostInflatingThreads), output,
                               produced))
            return;
        if (!archive.seek(e.DataOffset))
            throw memberCorrupt(number);
    }
    InflateStream inflater;
    z_stream& zs = inflater.zs;
    PackedInput packed(archive, e.StoredSize, number, kIoChunk);
    char* buffer = output.acquire(capacity);
    qint64 filled = 0;
    for (;;) {
        packed.refill(zs);
        zs.next_out = reinterpret_cast<Bytef*>(buffer + filled);
        zs.avail_out = static_cast<uInt>(capacity - filled);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && zs.avail_in == 0))
            throw memberCorrupt(number);
        const auto produced = static_cast<qint64>(zs.total_out);
        if (produced > total)
            throw memberCorrupt(number);
        filled = capacity - zs.avail_out;
        if (filled == capacity || rc == Z_STREAM_END) {
            output.release(filled);
            ticker.advance(produced, tick);
            if (rc == Z_STREAM_END) {
                if (produced != total)
                    throw memberCorrupt(number);
                return;
            }
            buffer = output.acquire(capacity);
            filled = 0;
        }
    }
}


} // namespace vestrum
