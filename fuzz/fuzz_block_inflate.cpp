// libFuzzer target: arbitrary bytes read as a member's zlib stream by the reader that inflates its blocks apart on
// several threads. Whatever the bytes, the process must not crash, and the reader must agree with zlib reading the
// same stream in one piece: what it hands over is what zlib gives, and a stream zlib reads whole to the member's
// size is never called damaged.
// The input: three bytes of the member's size (little-endian), one byte choosing the threads, then the stream.
#include "archive/block_inflate.h"
#include "archive/member_outputs.h"
#include "base/error.h"

#include <QFile>
#include <QTemporaryDir>

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace {

// Keeps every byte handed over or placed, up to the size the member claims, and the CRC the blocks add up to.
class CollectingOutput : public vestrum::ArchiveMemberOutput {
public:
    explicit CollectingOutput(qint64 size) : limit_(size) {}
    char* acquire(qint64& capacity) override
    {
        capacity = static_cast<qint64>(buffer_.size());
        return buffer_.data();
    }
    void release(qint64 used) override
    {
        if (static_cast<qint64>(bytes.size()) + used > limit_)
            std::abort(); // more than the member's size was handed over
        bytes.insert(bytes.end(), buffer_.begin(), buffer_.begin() + used);
        crc = static_cast<std::uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(buffer_.data()),
                                                 static_cast<z_size_t>(used)));
    }
    bool keepsCrc() const override { return true; }
    bool placeAt(qint64 offset, const char* data, qint64 length) override
    {
        const std::lock_guard lock(mutex_);
        if (offset + length > limit_)
            std::abort(); // placed past the member's size
        if (static_cast<qint64>(bytes.size()) < offset + length)
            bytes.resize(static_cast<std::size_t>(offset + length));
        std::memcpy(bytes.data() + offset, data, static_cast<std::size_t>(length));
        return true;
    }
    vestrum::Error writeFailure() const override { std::abort(); }
    void placedUpTo(qint64 length, std::uint32_t placedCrc) override
    {
        if (static_cast<qint64>(bytes.size()) != length)
            std::abort(); // a block placed beyond those taken in order
        crc = placedCrc;
    }
    std::vector<char> bytes;
    std::uint32_t crc = 0;

private:
    qint64 limit_;
    std::vector<char> buffer_ = std::vector<char>(64 * 1024);
    std::mutex mutex_;
};

// zlib's own reading of the whole stream: its bytes when it ends cleanly at exactly `size` bytes.
std::optional<std::vector<char>> inflatedWhole(const std::uint8_t* stream, std::size_t length, qint64 size)
{
    std::vector<char> out(static_cast<std::size_t>(size) + 1);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        std::abort();
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(length);
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    const auto produced = static_cast<qint64>(z.total_out);
    inflateEnd(&z);
    if (result != Z_STREAM_END || produced != size)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(size));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir work;
    if (!work.isValid())
        std::abort();
    if (size < 5)
        return 0;
    const qint64 memberSize = data[0] | (data[1] << 8) | (data[2] << 16);
    const int threads = 2 + data[3] % 3;
    const std::uint8_t* stream = data + 4;
    const std::size_t streamLength = size - 4;

    const QString path = work.filePath(QStringLiteral("member"));
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char*>(stream), static_cast<qint64>(streamLength))
            != static_cast<qint64>(streamLength)
        || !file.seek(0))
        std::abort();

    const std::optional<std::vector<char>> whole = inflatedWhole(stream, streamLength, memberSize);
    CollectingOutput output(memberSize);
    try {
        const bool apart = vestrum::zlb::inflateBlocksApart(file, static_cast<qint64>(streamLength), memberSize, 0,
                                                            threads, output, [](qint64) {});
        if (!apart && !output.bytes.empty())
            std::abort(); // declined after handing bytes over
        if (apart && (!whole || output.bytes != *whole))
            std::abort(); // read what zlib does not read
        if (apart && output.crc != crc32_z(0, reinterpret_cast<const Bytef*>(whole->data()), whole->size()))
            std::abort(); // the blocks' CRCs do not add up to the member's
    } catch (const vestrum::Error&) {
        if (whole)
            std::abort(); // called damaged a stream zlib reads whole
    }
    return 0;
}
