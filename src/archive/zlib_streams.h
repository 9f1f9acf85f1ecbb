#pragma once

// The zlib streams the archive reads and writes its members and directory with, and the sizes it moves data in.

#include "archive/archive_records.h"
#include "archive/block_deflate.h"

#include <QtGlobal>

#include <zlib.h>

#include <cstdint>

namespace vestrum::zlb {

// Progress is promised per 4 KiB of data, but moving data 4 KiB at a time costs a good share of the
// throughput; so the data moves in large pieces and the 4 KiB events are fired afterwards.
inline constexpr qint64 kIoChunk = 256 * 1024;
inline constexpr qint64 kProgressChunk = 4096;
inline constexpr int kCompressorBuffer = 65536;
// deflate cannot expand data more than about 1032 times (258 bytes per two-bit code); a directory or member that
// claims more than that from the bytes it has is lying, and is refused before anything is allocated for it.
inline constexpr qint64 kMaxInflateRatio = 1032;

int zlibLevel(TFileCompressionLevel level);

std::uint32_t crcUpdate(std::uint32_t crc, const char* data, qint64 size);

struct DeflateStream {
    z_stream zs{};
    explicit DeflateStream(int level);
    ~DeflateStream();
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
};

struct InflateStream {
    z_stream zs{};
    InflateStream();
    ~InflateStream();
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
};

using Deflated = blockdeflate::Outcome;

// One deflate stream on the calling thread: `write` gets a 64 KiB buffer at a time and stops the stream by
// returning false.
Deflated deflateInOneStream(qint64 size, int level, const blockdeflate::ReadFn& read,
                            const blockdeflate::WriteFn& write, const blockdeflate::ProgressFn& progress);

} // namespace vestrum::zlb
