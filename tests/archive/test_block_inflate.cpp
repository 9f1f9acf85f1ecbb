// Reading a member's blocks apart: streams of the block writer, of one deflate, of the earlier primed blocks, with
// marks that only look like block boundaries, and damaged ones.
#include "archive/block_deflate.h"
#include "archive/block_inflate.h"
#include "archive/zlb_archive.h"

#include "archive/archive_test_util.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

using namespace vestrum;
using namespace archive_test;

namespace {

const QByteArray kMark("\0\0\xff\xff", 4);

QByteArray mixedBytes(qsizetype size)
{
    QByteArray bytes;
    for (unsigned part = 0; bytes.size() < size; ++part)
        bytes += sampleText(60 + int(part % 7) * 20) + noise(700, part);
    return bytes.left(size);
}

struct Written {
    QByteArray stream;
    std::vector<qint64> ends;
};

Written writeInBlocks(const QByteArray& input, qint64 blockSize = blockdeflate::kBlockSize)
{
    Written written;
    qint64 at = 0;
    const blockdeflate::Outcome outcome = blockdeflate::DeflateInBlocks(
        input.size(), Z_DEFAULT_COMPRESSION, 2,
        [&](char* into, qint64 size) {
            std::memcpy(into, input.constData() + at, static_cast<size_t>(size));
            at += size;
        },
        [&](const char* data, qint64 size) {
            written.stream.append(data, size);
            return true;
        },
        {}, blockSize);
    written.ends = outcome.layout.ends;
    return written;
}

QByteArray zlibStream(const QByteArray& input)
{
    uLongf length = compressBound(static_cast<uLong>(input.size()));
    QByteArray packed(static_cast<qsizetype>(length), '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &length, reinterpret_cast<const Bytef*>(input.constData()),
             static_cast<uLong>(input.size()));
    packed.resize(static_cast<qsizetype>(length));
    return packed;
}

// Blocks as the earlier version wrote them: each primed with the 32 KiB before it, so none inflates alone.
QByteArray primedBlocks(const QByteArray& input, qint64 blockSize)
{
    QByteArray stream("\x78\x9c", 2);
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<char> out(static_cast<size_t>(2 * blockSize + 1024));
    for (qint64 begin = 0; begin < input.size(); begin += blockSize) {
        const qint64 length = std::min(blockSize, input.size() - begin);
        const bool last = begin + length == input.size();
        deflateReset(&zs);
        const qint64 dictionary = std::min<qint64>(32768, begin);
        if (dictionary > 0)
            deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(input.constData() + begin - dictionary),
                                 static_cast<uInt>(dictionary));
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData() + begin));
        zs.avail_in = static_cast<uInt>(length);
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        deflate(&zs, last ? Z_FINISH : Z_FULL_FLUSH);
        stream.append(out.data(), static_cast<qsizetype>(out.size() - zs.avail_out));
    }
    deflateEnd(&zs);
    const auto adler = static_cast<quint32>(
        adler32(1, reinterpret_cast<const Bytef*>(input.constData()), static_cast<uInt>(input.size())));
    for (int shift = 24; shift >= 0; shift -= 8)
        stream.append(static_cast<char>(adler >> shift));
    return stream;
}

// Takes the bytes in small buffers, so that a piece is handed over in several, and the blocks placed apart at
// their offsets, with the CRC that the blocks' own CRCs add up to.
class CollectingOutput : public ArchiveMemberOutput {
public:
    QByteArray bytes;
    std::uint32_t crc = 0;
    char* acquire(qint64& capacity) override
    {
        capacity = static_cast<qint64>(buffer_.size());
        return buffer_.data();
    }
    void release(qint64 used) override
    {
        bytes.append(buffer_.data(), static_cast<qsizetype>(used));
        crc = static_cast<std::uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(buffer_.data()), z_size_t(used)));
    }
    bool keepsCrc() const override { return true; }
    bool placeAt(qint64 offset, const char* data, qint64 length) override
    {
        const std::lock_guard lock(mutex_);
        if (bytes.size() < offset + length)
            bytes.resize(offset + length);
        std::memcpy(bytes.data() + offset, data, static_cast<size_t>(length));
        return true;
    }
    Error writeFailure() const override { return Error(QStringLiteral("zapis")); }
    void placedUpTo(qint64 length, std::uint32_t placedCrc) override
    {
        EXPECT_EQ(bytes.size(), length) << "nothing placed past the blocks taken";
        crc = placedCrc;
    }

private:
    std::vector<char> buffer_ = std::vector<char>(70000);
    std::mutex mutex_;
};

struct ReadOutcome {
    bool apart = false;
    QString failure;
    QByteArray bytes;
    std::uint32_t crc = 0;
    qint64 lastProduced = 0;
};

// Reads `stream` as a member lying after other bytes in an archive file, as the archive does.
ReadOutcome readApart(const QByteArray& stream, qint64 size)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("archiwum.naj"));
    writeFile(file, QByteArray("poprzedni") + stream + QByteArray("katalog"));
    QFile archive(file);
    archive.open(QIODevice::ReadOnly);
    archive.seek(9);
    ReadOutcome outcome;
    CollectingOutput output;
    outcome.failure = errorOf([&] {
        outcome.apart = zlb::inflateBlocksApart(archive, stream.size(), size, 3, 2, output,
                                                [&](qint64 produced) { outcome.lastProduced = produced; });
    });
    outcome.bytes = output.bytes;
    outcome.crc = output.crc;
    return outcome;
}

TEST(BlockInflateTest, EveryStreamReadsBackByteForByteOrIsLeftToOneInflate)
{
    const QByteArray input = mixedBytes(5 * blockdeflate::kBlockSize + 333);

    const auto inputCrc = static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(input.constData()), z_size_t(input.size())));

    const Written blocks = writeInBlocks(input);
    ReadOutcome read = readApart(blocks.stream, input.size());
    EXPECT_EQ(read.failure, QString());
    EXPECT_TRUE(read.apart);
    EXPECT_EQ(read.bytes, input);
    EXPECT_EQ(read.crc, inputCrc);
    EXPECT_EQ(read.lastProduced, input.size());

    // One deflate stream, as another program or a small member has it: nothing is handed over, it is left whole.
    read = readApart(zlibStream(input), input.size());
    EXPECT_EQ(read.failure, QString());
    EXPECT_FALSE(read.apart);
    EXPECT_TRUE(read.bytes.isEmpty());

    // The earlier version's primed blocks: the first inflates alone, the rest are read on as one stream, its CRC
    // going on from the first block's.
    read = readApart(primedBlocks(input, 256 * 1024), input.size());
    EXPECT_EQ(read.failure, QString());
    EXPECT_TRUE(read.apart);
    EXPECT_EQ(read.bytes, input);
    EXPECT_EQ(read.crc, inputCrc);
}

quint32 crcOf(const QByteArray& bytes)
{
    return static_cast<quint32>(crc32_z(0, reinterpret_cast<const Bytef*>(bytes.constData()), z_size_t(bytes.size())));
}

// An archive holding one member, `stream`, which inflates to `input`: as another program or the earlier version
// wrote it.
void writeArchiveHolding(const QString& file, const QByteArray& stream, const QByteArray& input)
{
    TArchiveEntry entry;
    entry.FileName = "duzy.mdb";
    entry.UnpackedSize = static_cast<std::uint32_t>(input.size());
    entry.StoredSize = static_cast<std::uint32_t>(stream.size());
    entry.CRC = crcOf(input);
    entry.Level = fcDefault;
    QByteArray bytes = stream;
    char record[TArchiveEntry::Size];
    entry.toBytes(record);
    bytes.append(record, TArchiveEntry::Size);
    TArchiveTrailer trailer;
    trailer.Count = 1;
    trailer.FormatMark = 1;
    trailer.DirectoryOffset = static_cast<std::int32_t>(stream.size());
    trailer.CRC = crcOf(bytes);
    writeFile(file, bytes + trailer.toBytes());
}

TEST(BlockInflateTest, ALargeMemberNotInTheWritersBlocksIsExtractedAndCheckedWhole)
{
    // Through the archive's own outputs: the file goes on from the blocks written apart, if any, on one thread,
    // and the CRC from theirs.
    const QByteArray input = mixedBytes(9 * blockdeflate::kBlockSize + 5);
    const std::pair<const char*, QByteArray> streams[] = {{"one stream", zlibStream(input)},
                                                          {"primed blocks", primedBlocks(input, 256 * 1024)}};
    for (const auto& [kind, stream] : streams) {
        SCOPED_TRACE(kind);
        QTemporaryDir dir;
        writeArchiveHolding(dir.filePath(QStringLiteral("dane.naj")), stream, input);
        ZlbArchive archive;
        ASSERT_TRUE(archive.OpenArchive(dir.filePath(QStringLiteral("dane.naj"))));
        archive.SetCheckCRC(true);
        EXPECT_EQ(errorOf([&] { archive.ExtractAll(dir.filePath(QStringLiteral("out"))); }), QString());
        EXPECT_EQ(readFile(dir.filePath(QStringLiteral("out/duzy.mdb"))), input);
        EXPECT_EQ(errorOf([&] { archive.CheckMembers(); }), QString());
    }
}

TEST(BlockInflateTest, EveryBlockOfTheWriterInflatesAlone)
{
    // A stretch of noise repeated: no block may borrow it from the block before, so each one holds it whole.
    const QByteArray stretch = noise(20000, 11);
    const QByteArray input = stretch.repeated(30);
    const Written written = writeInBlocks(input, 60000);
    qint64 begin = 2;
    for (size_t i = 0; i < written.ends.size(); ++i) {
        z_stream zs{};
        ASSERT_EQ(inflateInit2(&zs, -MAX_WBITS), Z_OK);
        QByteArray out(60001, '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(written.stream.constData() + begin));
        zs.avail_in = static_cast<uInt>(written.ends[i] - begin);
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&zs, Z_NO_FLUSH);
        EXPECT_EQ(rc, i + 1 == written.ends.size() ? Z_STREAM_END : Z_OK) << "block " << i;
        EXPECT_EQ(out.left(qsizetype(zs.total_out)), input.mid(qsizetype(i) * 60000, 60000)) << "block " << i;
        inflateEnd(&zs);
        begin = written.ends[i];
    }
    EXPECT_EQ(readApart(written.stream, input.size()).bytes, input);
}

TEST(BlockInflateTest, MarksInsideTheDataThatAreNoBoundariesAreReadPast)
{
    // Noise holding the full-flush mark farther apart than deflate reaches back: deflate keeps it as stored data,
    // so the mark stands inside a block. In the first block the stream is left to one inflate; in a later one the
    // cores stop there and one inflate reads on.
    QByteArray marked = noise(70000, 3);
    for (qsizetype at = 100; at + 4 < marked.size(); at += 33000)
        marked.replace(at, 4, kMark);
    const qint64 block = blockdeflate::kBlockSize;
    for (const qint64 where : {qint64(1000), 3 * block + 5000}) {
        SCOPED_TRACE(where);
        QByteArray input = mixedBytes(5 * block);
        input.replace(qsizetype(where), marked.size(), marked);
        const Written written = writeInBlocks(input);
        const qsizetype first = written.stream.indexOf(kMark, qsizetype(where == 1000 ? 2 : written.ends[2]));
        ASSERT_GE(first, 0);
        ASSERT_EQ(std::count(written.ends.begin(), written.ends.end(), qint64(first + 4)), 0)
            << "the mark found first is no boundary";
        const ReadOutcome read = readApart(written.stream, input.size());
        EXPECT_EQ(read.failure, QString());
        EXPECT_EQ(read.apart, where != 1000);
        if (read.apart) {
            EXPECT_EQ(read.bytes, input);
        }
    }
}

TEST(BlockInflateTest, ADamagedStreamIsRefusedWhereverTheDamageIs)
{
    const qint64 block = blockdeflate::kBlockSize;
    const QByteArray input = mixedBytes(4 * block + 10);
    const Written written = writeInBlocks(input);
    const QString corrupt = QStringLiteral("Plik (3) jest uszkodzony");

    // A byte inside a block, a boundary's mark, the last byte before the Adler-32, the Adler-32 itself.
    for (const qint64 at : {(written.ends[0] + written.ends[1]) / 2, written.ends[1] - 2, written.ends.back() - 1,
                            qint64(written.stream.size() - 2)}) {
        QByteArray stream = written.stream;
        stream[qsizetype(at)] = char(stream[qsizetype(at)] ^ 0x21);
        EXPECT_EQ(readApart(stream, input.size()).failure, corrupt) << "byte " << at;
    }
    EXPECT_EQ(readApart(written.stream.left(written.stream.size() - 5), input.size()).failure, corrupt) << "cut short";
    EXPECT_EQ(readApart(written.stream, input.size() - 1).failure, corrupt) << "more than the member's size";
    EXPECT_EQ(readApart(written.stream, input.size() + 1).failure, corrupt) << "less than the member's size";

    // A full flush where the stream should end: every piece inflates, but the stream never finishes.
    QByteArray open = written.stream.left(qsizetype(written.ends[2])) + written.stream.right(4);
    EXPECT_EQ(readApart(open, 3 * block).failure, corrupt);
}

} // namespace
