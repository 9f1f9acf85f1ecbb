// The archive's own Adler-32 and CRC-32 give zlib's values for every length, alignment and starting value,
// including the bytes that push the sums furthest before each reduction.
#include "archive/checksums.h"

#include "archive/archive_test_util.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>

using namespace vestrum;

namespace {

std::uint32_t zlibAdler(std::uint32_t adler, const char* data, qint64 length)
{
    return static_cast<std::uint32_t>(adler32_z(adler, reinterpret_cast<const Bytef*>(data), z_size_t(length)));
}

std::uint32_t zlibCrc(std::uint32_t crc, const char* data, qint64 length)
{
    return static_cast<std::uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(data), z_size_t(length)));
}

TEST(ChecksumsTest, AgreeWithZlibAtEveryLengthAlignmentAndStart)
{
    const QByteArray mixed = archive_test::noise(70000, 5);
    const QByteArray highest(70000, char(0xff)); // the largest sums a span can reach
    for (const QByteArray& bytes : {mixed, highest}) {
        for (const std::uint32_t start : {1u, 0x12345678u, 0xfff0fff0u}) {
            for (qint64 length = 0; length < 300; ++length) {
                for (qint64 at = 0; at < 3; ++at) {
                    const char* data = bytes.constData() + at;
                    ASSERT_EQ(zlb::adler32Of(start, data, length), zlibAdler(start, data, length)) << length;
                    ASSERT_EQ(zlb::crc32Of(start, data, length), zlibCrc(start, data, length)) << length;
                }
            }
            // Around the span between two reductions (173 * 32 bytes) and well past it.
            for (const qint64 length : {5535, 5536, 5537, 11072, 11073, 69997}) {
                const char* data = bytes.constData() + 1;
                EXPECT_EQ(zlb::adler32Of(start, data, length), zlibAdler(start, data, length)) << length;
                EXPECT_EQ(zlb::crc32Of(start, data, length), zlibCrc(start, data, length)) << length;
            }
        }
    }
}

} // namespace
