#pragma once

// The checksums every byte of a member goes through, on every core at once. zlib's own Adler-32 runs a byte at a
// time and cost a tenth of inflating, its CRC-32 eight bytes at a time; on a processor with AVX2 the Adler-32 is
// taken 32 bytes at a time, and with carry-less multiplication the CRC-32 folds 64 bytes at a time.

#include <QtGlobal>

#include <cstdint>

namespace vestrum::zlb {

// The same value as zlib's adler32_z(adler, data, length).
std::uint32_t adler32Of(std::uint32_t adler, const char* data, qint64 length);

// The same value as zlib's crc32_z(crc, data, length).
std::uint32_t crc32Of(std::uint32_t crc, const char* data, qint64 length);

} // namespace vestrum::zlb
