#pragma once

// A member's packed bytes fed from the archive file into an inflate stream as the stream takes them.

#include "archive/archive_failures.h"

#include <QFile>

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace vestrum::zlb {

// The `length` packed bytes of member `number`, read from the archive's position a piece at a time into the
// stream's input once it has taken the last piece. Packed data that end, or a read that fails, before the stream
// does is a damaged member.
class PackedInput {
public:
    PackedInput(QFile& archive, qint64 length, int number, qint64 pieceSize)
        : archive_(archive), left_(length), number_(number),
          piece_(static_cast<size_t>(std::min<qint64>(std::max<qint64>(length, 1), pieceSize)))
    {
    }

    void refill(z_stream& zs)
    {
        if (zs.avail_in != 0)
            return;
        if (left_ == 0)
            throw memberCorrupt(number_);
        const qint64 n = archive_.read(piece_.data(), std::min<qint64>(left_, static_cast<qint64>(piece_.size())));
        if (n <= 0)
            throw memberCorrupt(number_);
        left_ -= n;
        zs.next_in = reinterpret_cast<Bytef*>(piece_.data());
        zs.avail_in = static_cast<uInt>(n);
    }

    // Whether the stream has taken every packed byte: a stream that ends before is followed by stray bytes.
    bool usedUp(const z_stream& zs) const { return zs.avail_in == 0 && left_ == 0; }

private:
    QFile& archive_;
    qint64 left_;
    int number_;
    std::vector<char> piece_;
};

} // namespace vestrum::zlb
