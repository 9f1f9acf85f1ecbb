#include "archive/block_deflate.h"

#include "archive/checksums.h"
#include "archive/raw_inflate.h"
#include "archive/job_threads.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace vestrum::blockdeflate {
namespace {

struct Job {
    std::vector<char> input;
    qint64 length = 0;
    bool last = false;
    std::vector<char> output;
    qint64 packed = 0;
    std::uint32_t adler = 1;
    std::uint32_t crc = 0;
    bool done = false;
    bool worked = false;
};

// The two header bytes zlib itself writes for `level` with a 32 KiB window and no preset dictionary.
std::vector<char> zlibHeader(int level)
{
    if (level == Z_DEFAULT_COMPRESSION)
        level = 6;
    const unsigned levelFlags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (Z_DEFLATED + ((MAX_WBITS - 8) << 4)) << 8 | levelFlags << 6;
    header += 31 - header % 31;
    return {static_cast<char>(header >> 8), static_cast<char>(header & 0xff)};
}

class RawDeflater {
public:
    explicit RawDeflater(int level)
    {
        if (deflateInit2(&zs_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
    }
    ~RawDeflater() { deflateEnd(&zs_); }
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;

    // A fresh raw stream for each block, so that it inflates on its own; a full flush ends it on a byte boundary
    // with nothing pending, so the next block's bytes can follow it directly.
    void compress(Job& job)
    {
        if (deflateReset(&zs_) != Z_OK)
            throw std::bad_alloc();
        const auto* input = reinterpret_cast<const Bytef*>(job.input.data());
        const int flush = job.last ? Z_FINISH : Z_FULL_FLUSH;
        // The bound covers a finished stream; a full flush adds at most an empty stored block.
        const auto bound = static_cast<size_t>(deflateBound(&zs_, static_cast<uLong>(job.length))) + 16;
        if (job.output.size() < bound)
            job.output.resize(bound);
        zs_.next_in = const_cast<Bytef*>(input);
        zs_.avail_in = static_cast<uInt>(job.length);
        size_t used = 0;
        for (;;) {
            zs_.next_out = reinterpret_cast<Bytef*>(job.output.data() + used);
            zs_.avail_out = static_cast<uInt>(job.output.size() - used);
            const int rc = deflate(&zs_, flush);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                throw std::bad_alloc();
            used = job.output.size() - zs_.avail_out;
            const bool ended = job.last ? rc == Z_STREAM_END : zs_.avail_out > 0;
            if (ended)
                break;
            job.output.resize(job.output.size() * 2);
        }
        job.packed = static_cast<qint64>(used);
        job.adler = zlb::adler32Of(1, job.input.data(), job.length);
        job.crc = zlb::crc32Of(0, job.input.data(), job.length);
    }

private:
    z_stream zs_{};
};

} // namespace

Outcome DeflateInBlocks(qint64 size, int level, int threads, const ReadFn& read, const WriteFn& write,
                        const ProgressFn& progress, qint64 blockSize)
{
    threads = std::max(threads, 1);
    // uInt counts of zlib hold a block comfortably below this.
    blockSize = std::clamp<qint64>(blockSize, 1, qint64(1) << 30);
    Outcome outcome;
    const auto emit = [&](const char* data, qint64 length) {
        outcome.packedSize += length;
        return write(data, length);
    };
    const std::vector<char> header = zlibHeader(level);
    if (!emit(header.data(), static_cast<qint64>(header.size())))
        return outcome;

    // Enough blocks in flight that no core waits for the one being written, few enough to keep memory small.
    const size_t inFlightLimit = static_cast<size_t>(threads) * 2 + 1;
    std::vector<std::unique_ptr<Job>> jobs; // declared before the workers, so it outlives them
    std::vector<Job*> spare;
    std::deque<Job*> inFlight;
    zlb::JobThreads<Job, RawDeflater> workers(
        threads, [level] { return std::make_unique<RawDeflater>(level); },
        [](RawDeflater& deflater, Job& job) {
            deflater.compress(job);
            return true;
        });
    outcome.layout.blockSize = blockSize;

    qint64 taken = 0;
    qint64 written = 0;
    bool allTaken = false;
    std::uint32_t adler = 1;
    std::uint32_t crc = 0;
    while (!allTaken || !inFlight.empty()) {
        while (!allTaken && inFlight.size() < inFlightLimit) {
            if (spare.empty()) {
                jobs.push_back(std::make_unique<Job>());
                spare.push_back(jobs.back().get());
            }
            Job& job = *spare.back();
            spare.pop_back();
            job.length = std::min(blockSize, size - taken);
            job.last = taken + job.length == size;
            job.input.resize(static_cast<size_t>(job.length));
            if (job.length > 0)
                read(job.input.data(), job.length);
            taken += job.length;
            allTaken = job.last;
            workers.submit(job);
            inFlight.push_back(&job);
        }
        Job& job = *inFlight.front();
        if (!workers.waitFor(job))
            throw std::bad_alloc();
        inFlight.pop_front();
        adler = static_cast<std::uint32_t>(adler32_combine(adler, job.adler, static_cast<z_off_t>(job.length)));
        crc = static_cast<std::uint32_t>(crc32_combine(crc, job.crc, static_cast<z_off_t>(job.length)));
        written += job.length;
        if (!emit(job.output.data(), job.packed))
            return outcome;
        outcome.layout.ends.push_back(outcome.packedSize);
        if (progress)
            progress(written);
        spare.push_back(&job);
    }

    const char trailer[4] = {static_cast<char>(adler >> 24), static_cast<char>(adler >> 16),
                             static_cast<char>(adler >> 8), static_cast<char>(adler)};
    if (!emit(trailer, 4))
        return outcome;
    outcome.complete = true;
    outcome.crc = crc;
    return outcome;
}

namespace {

class RawInflater {
public:
    // Inflates `packed` from a fresh start; true when it gives exactly `expected` and ends where the layout says:
    // at the end of the stream for the last block, else on a byte boundary between two deflate blocks, past the
    // full flush, with nothing left over.
    bool inflatesTo(const std::vector<char>& packed, const char* expected, qint64 length, bool last,
                    std::vector<char>& out)
    {
        z_stream& zs = stream_.zs();
        if (inflateReset(&zs) != Z_OK)
            return false;
        // One byte more than the block, so that a block giving too much is seen.
        out.resize(static_cast<size_t>(length) + 1);
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
        zs.avail_in = static_cast<uInt>(packed.size());
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        int rc = Z_OK;
        while (rc == Z_OK && zs.avail_in > 0 && zs.avail_out > 0)
            rc = inflate(&zs, Z_NO_FLUSH);
        const auto produced = static_cast<qint64>(out.size() - zs.avail_out);
        if (produced != length || zs.avail_in != 0 || std::memcmp(out.data(), expected, static_cast<size_t>(length)) != 0)
            return false;
        if (last)
            return rc == Z_STREAM_END;
        return (rc == Z_OK || rc == Z_BUF_ERROR) && zlb::stoppedOnFullFlush(zs);
    }

private:
    zlb::RawInflateStream stream_;
};

struct BlockVerdict {
    bool sound = false;
    std::uint32_t adler = 1;
    std::uint32_t crc = 0;
};

// The blocks of one stream, checked by several threads, each taking the next block not yet taken.
class BlockChecker {
public:
    BlockChecker(const ReadAtFn& packed, const ReadAtFn& original, qint64 size, const Layout& layout)
        : packed_(packed), original_(original), size_(size), layout_(layout), verdicts_(layout.ends.size())
    {
    }

    void run()
    {
        try {
            RawInflater inflater;
            Buffers buffers;
            for (size_t index = next_++; index < verdicts_.size() && !failed_; index = next_++) {
                verdicts_[index] = check(index, inflater, buffers);
                if (!verdicts_[index].sound)
                    failed_ = true;
            }
        } catch (...) {
            failed_ = true;
        }
    }

    bool sound() const { return !failed_; }
    const std::vector<BlockVerdict>& verdicts() const { return verdicts_; }

private:
    struct Buffers {
        std::vector<char> original;
        std::vector<char> packed;
        std::vector<char> inflated;
    };

    BlockVerdict check(size_t index, RawInflater& inflater, Buffers& buffers) const
    {
        const qint64 begin = static_cast<qint64>(index) * layout_.blockSize;
        const qint64 length = std::min(layout_.blockSize, size_ - begin);
        buffers.original.resize(static_cast<size_t>(length));
        original_(begin, buffers.original.data(), length);
        const qint64 packedBegin = index == 0 ? 2 : layout_.ends[index - 1];
        buffers.packed.resize(static_cast<size_t>(layout_.ends[index] - packedBegin));
        packed_(packedBegin, buffers.packed.data(), layout_.ends[index] - packedBegin);

        BlockVerdict verdict;
        const char* block = buffers.original.data();
        verdict.sound = inflater.inflatesTo(buffers.packed, block, length, index + 1 == verdicts_.size(),
                                            buffers.inflated);
        verdict.adler = zlb::adler32Of(1, block, length);
        verdict.crc = zlb::crc32Of(0, block, length);
        return verdict;
    }

    const ReadAtFn& packed_;
    const ReadAtFn& original_;
    const qint64 size_;
    const Layout& layout_;
    std::vector<BlockVerdict> verdicts_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> failed_{false};
};

// The layout must cover the input in the blocks DeflateInBlocks makes, each block's bytes following the last's.
bool layoutFits(qint64 packedSize, qint64 size, const Layout& layout)
{
    if (layout.blockSize <= 0 || size < 0 || layout.ends.empty())
        return false;
    const qint64 blocks = size == 0 ? 1 : (size - 1) / layout.blockSize + 1;
    if (static_cast<qint64>(layout.ends.size()) != blocks || layout.ends.back() != packedSize - 4)
        return false;
    qint64 previous = 2;
    for (const qint64 end : layout.ends) {
        if (end <= previous)
            return false;
        previous = end;
    }
    return true;
}

// A zlib header as inflate accepts it: deflate with at most a 32 KiB window, no preset dictionary, its check.
bool soundZlibHeader(const char* header)
{
    const auto first = static_cast<unsigned char>(header[0]);
    const auto second = static_cast<unsigned char>(header[1]);
    return (first & 0x0f) == Z_DEFLATED && (first >> 4) <= MAX_WBITS - 8 && (second & 0x20) == 0
        && ((first << 8) | second) % 31 == 0;
}

} // namespace

bool InflatesTo(const ReadAtFn& packed, qint64 packedSize, const ReadAtFn& original, qint64 size,
                const Layout& layout, int threads, std::uint32_t& crc)
{
    if (!layoutFits(packedSize, size, layout))
        return false;
    char header[2];
    char trailer[4];
    try {
        packed(0, header, 2);
        packed(packedSize - 4, trailer, 4);
    } catch (...) {
        return false;
    }
    if (!soundZlibHeader(header))
        return false;

    BlockChecker checker(packed, original, size, layout);
    {
        std::vector<std::thread> helpers;
        try {
            for (int i = 1; i < threads; ++i)
                helpers.emplace_back([&checker] { checker.run(); });
        } catch (const std::system_error&) {
            // No more threads to be had: the ones there and this one check every block all the same.
        }
        checker.run();
        for (std::thread& helper : helpers)
            helper.join();
    }
    if (!checker.sound())
        return false;

    std::uint32_t adler = 1;
    crc = 0;
    qint64 begin = 0;
    for (const BlockVerdict& verdict : checker.verdicts()) {
        const qint64 length = std::min(layout.blockSize, size - begin);
        adler = static_cast<std::uint32_t>(adler32_combine(adler, verdict.adler, static_cast<z_off_t>(length)));
        crc = static_cast<std::uint32_t>(crc32_combine(crc, verdict.crc, static_cast<z_off_t>(length)));
        begin += length;
    }
    const auto byte = [&trailer](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(trailer[i])); };
    return (byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3)) == adler;
}

} // namespace vestrum::blockdeflate
