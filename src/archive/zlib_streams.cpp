#include "archive/zlib_streams.h"

#include "archive/checksums.h"

#include <algorithm>
#include <new>
#include <vector>

namespace vestrum::zlb {

int zlibLevel(TFileCompressionLevel level)
{
    switch (level) {
    case fcNone: return Z_NO_COMPRESSION;
    case fcFastest: return Z_BEST_SPEED;
    case fcDefault: return Z_DEFAULT_COMPRESSION;
    case fcMaximum: return Z_BEST_COMPRESSION;
    }
    return Z_DEFAULT_COMPRESSION;
}

std::uint32_t crcUpdate(std::uint32_t crc, const char* data, qint64 size)
{
    return crc32Of(crc, data, size);
}

DeflateStream::DeflateStream(int level)
{
    if (deflateInit(&zs, level) != Z_OK)
        throw std::bad_alloc();
}

DeflateStream::~DeflateStream()
{
    deflateEnd(&zs);
}

InflateStream::InflateStream()
{
    if (inflateInit(&zs) != Z_OK)
        throw std::bad_alloc();
}

InflateStream::~InflateStream()
{
    inflateEnd(&zs);
}

Deflated deflateInOneStream(qint64 size, int level, const blockdeflate::ReadFn& read,
                            const blockdeflate::WriteFn& write, const blockdeflate::ProgressFn& progress)
{
    Deflated outcome;
    std::vector<char> in(kIoChunk);
    std::vector<char> buffer(kCompressorBuffer);
    DeflateStream deflater(level);
    z_stream& zs = deflater.zs;
    zs.next_out = reinterpret_cast<Bytef*>(buffer.data());
    zs.avail_out = kCompressorBuffer;
    qint64 taken = 0;
    for (;;) {
        const qint64 n = std::min(kIoChunk, size - taken);
        read(in.data(), n);
        taken += n;
        outcome.crc = crcUpdate(outcome.crc, in.data(), n);
        const int flush = taken == size ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = reinterpret_cast<Bytef*>(in.data());
        zs.avail_in = static_cast<uInt>(n);
        for (;;) {
            const int rc = deflate(&zs, flush);
            if (rc == Z_STREAM_ERROR)
                throw std::bad_alloc();
            if (zs.avail_out == 0) {
                outcome.packedSize += kCompressorBuffer;
                if (!write(buffer.data(), kCompressorBuffer))
                    return outcome;
                zs.next_out = reinterpret_cast<Bytef*>(buffer.data());
                zs.avail_out = kCompressorBuffer;
                progress(static_cast<qint64>(zs.total_in));
                continue;
            }
            if (rc == Z_STREAM_END) {
                const qint64 rest = kCompressorBuffer - zs.avail_out;
                outcome.packedSize += rest;
                outcome.complete = write(buffer.data(), rest);
                return outcome;
            }
            break;
        }
    }
}

} // namespace vestrum::zlb
