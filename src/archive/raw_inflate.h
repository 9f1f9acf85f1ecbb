#pragma once

// A raw inflate stream, for blocks deflated apart from nothing, and the test that such a block ended where the next
// may begin.

#include <zlib.h>

#include <new>

namespace vestrum::zlb {

// An inflate stream of raw deflate data (no zlib header or Adler-32): a block deflated from nothing.
class RawInflateStream {
public:
    RawInflateStream()
    {
        if (inflateInit2(&zs_, -MAX_WBITS) != Z_OK)
            throw std::bad_alloc();
    }
    ~RawInflateStream() { inflateEnd(&zs_); }
    RawInflateStream(const RawInflateStream&) = delete;
    RawInflateStream& operator=(const RawInflateStream&) = delete;

    z_stream& zs() { return zs_; }

private:
    z_stream zs_{};
};

// Whether the stream stopped between two deflate blocks on a byte boundary, outside the stream's final block: where
// a full flush leaves it. zlib's data_type: 128 between blocks, 64 in the final block, low bits the unused bits.
inline bool stoppedOnFullFlush(const z_stream& zs)
{
    return (zs.data_type & 128) != 0 && (zs.data_type & 64) == 0 && (zs.data_type & 7) == 0;
}

} // namespace vestrum::zlb
