#include "archive/checksums.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VESTRUM_CHECKSUMS_X86 1
#include <immintrin.h>
#endif

namespace vestrum::zlb {
namespace {

constexpr std::uint32_t kAdlerBase = 65521;

#ifdef VESTRUM_CHECKSUMS_X86
// Bytes summed between two reductions: 173 steps of 32, within zlib's own bound of 5552 for a byte at a time.
// Summed in 32-bit lanes, the weighted sums stay below 2^23 and the running sums of sums below 2^26 in that span.
constexpr std::size_t kSpan = 173 * 32;

std::uint64_t laneSum(__m256i lanes) __attribute__((target("avx2")));
std::uint64_t laneSum(__m256i lanes)
{
    alignas(32) std::uint32_t parts[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(parts), lanes);
    std::uint64_t sum = 0;
    for (const std::uint32_t part : parts)
        sum += part;
    return sum;
}

// For each 32 bytes: s1 gains their sum, s2 gains 32 times the s1 before them plus b0*32 + b1*31 + ... + b31*1.
std::uint32_t adlerAvx2(std::uint32_t adler, const unsigned char* data, std::size_t length)
    __attribute__((target("avx2")));
std::uint32_t adlerAvx2(std::uint32_t adler, const unsigned char* data, std::size_t length)
{
    std::uint64_t s1 = adler & 0xffff;
    std::uint64_t s2 = adler >> 16;
    const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                                             14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i zero = _mm256_setzero_si256();
    while (length >= 32) {
        const std::size_t span = length < kSpan ? length & ~std::size_t(31) : kSpan;
        __m256i byteSums = zero;     // s1 gained in this span, by lane
        __m256i earlierSums = zero;  // the byteSums before each step, added up
        __m256i weightedSums = zero;
        for (std::size_t at = 0; at < span; at += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
            earlierSums = _mm256_add_epi32(earlierSums, byteSums);
            byteSums = _mm256_add_epi32(byteSums, _mm256_sad_epu8(bytes, zero));
            weightedSums =
                _mm256_add_epi32(weightedSums, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
        }
        s2 += s1 * span + 32 * laneSum(earlierSums) + laneSum(weightedSums);
        s1 += laneSum(byteSums);
        s1 %= kAdlerBase;
        s2 %= kAdlerBase;
        data += span;
        length -= span;
    }
    for (; length > 0; --length) {
        s1 += *data++;
        s2 += s1;
    }
    return static_cast<std::uint32_t>((s2 % kAdlerBase) << 16 | (s1 % kAdlerBase));
}

bool hasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#define VESTRUM_CLMUL __attribute__((target("pclmul,sse4.1")))

// The CRC register (not inverted, as zlib's value is) run over 16 bytes folded 128 bits ahead by `distance`.
VESTRUM_CLMUL __m128i foldAhead(__m128i bits, __m128i distance)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(bits, distance, 0x00), _mm_clmulepi64_si128(bits, distance, 0x11));
}

VESTRUM_CLMUL __m128i load16(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The reflected CRC-32 register over `length` bytes, at least 64 and a multiple of 16: four lanes of 16 bytes are
// folded 64 bytes ahead at a time, then into one lane, which is reduced to 32 bits (Barrett). The constants are
// powers of x modulo the CRC polynomial 0x1DB710641, bit-reflected: x^(4*128+32) and x^(4*128-32) for folding 64
// bytes, x^(128+32) and x^(128-32) for 16 bytes, x^64 for the last 64 bits, then the polynomial and its inverse.
VESTRUM_CLMUL std::uint32_t crcRegisterFolded(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    __m128i lane1 = _mm_xor_si128(load16(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i lane2 = load16(data + 16);
    __m128i lane3 = load16(data + 32);
    __m128i lane4 = load16(data + 48);
    data += 64;
    length -= 64;
    const __m128i ahead64 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    for (; length >= 64; data += 64, length -= 64) {
        lane1 = _mm_xor_si128(foldAhead(lane1, ahead64), load16(data));
        lane2 = _mm_xor_si128(foldAhead(lane2, ahead64), load16(data + 16));
        lane3 = _mm_xor_si128(foldAhead(lane3, ahead64), load16(data + 32));
        lane4 = _mm_xor_si128(foldAhead(lane4, ahead64), load16(data + 48));
    }
    const __m128i ahead16 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    __m128i bits = _mm_xor_si128(foldAhead(lane1, ahead16), lane2);
    bits = _mm_xor_si128(foldAhead(bits, ahead16), lane3);
    bits = _mm_xor_si128(foldAhead(bits, ahead16), lane4);
    for (; length >= 16; data += 16, length -= 16)
        bits = _mm_xor_si128(foldAhead(bits, ahead16), load16(data));
    // 128 bits to 64, then to 32 with 32 zero bits appended.
    bits = _mm_xor_si128(_mm_srli_si128(bits, 8), _mm_clmulepi64_si128(ahead16, bits, 0x01));
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    bits = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(bits, low32), _mm_set_epi64x(0, 0x163cd6124), 0x00),
                         _mm_srli_si128(bits, 4));
    const __m128i polynomial = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(bits, low32), polynomial, 0x10);
    quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), polynomial, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(quotient, bits), 1));
}

bool hasCarryLessMultiply()
{
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}
#endif

} // namespace

std::uint32_t adler32Of(std::uint32_t adler, const char* data, qint64 length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
#ifdef VESTRUM_CHECKSUMS_X86
    if (hasAvx2())
        return adlerAvx2(adler, bytes, static_cast<std::size_t>(length));
#endif
    return static_cast<std::uint32_t>(adler32_z(adler, bytes, static_cast<z_size_t>(length)));
}

std::uint32_t crc32Of(std::uint32_t crc, const char* data, qint64 length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    auto left = static_cast<std::size_t>(length);
#ifdef VESTRUM_CHECKSUMS_X86
    if (left >= 64 && hasCarryLessMultiply()) {
        const std::size_t folded = left & ~std::size_t(15);
        crc = ~crcRegisterFolded(~crc, bytes, folded);
        bytes += folded;
        left -= folded;
    }
#endif
    return static_cast<std::uint32_t>(crc32_z(crc, bytes, static_cast<z_size_t>(left)));
}

} // namespace vestrum::zlb
