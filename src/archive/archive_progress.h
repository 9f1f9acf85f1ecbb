#pragma once

#include "archive/zlib_streams.h"

#include <QtGlobal>

namespace vestrum::zlb {

// Fires one event for every completed 4 KiB of a phase and one for a last, shorter piece.
class ChunkTicker {
public:
    explicit ChunkTicker(qint64 total) : total_(total) {}
    template <typename Fire> void advance(qint64 done, Fire&& fire)
    {
        while (reported_ + kProgressChunk <= done) {
            reported_ += kProgressChunk;
            fire(reported_);
        }
        if (done == total_ && reported_ < total_) {
            reported_ = total_;
            fire(total_);
        }
    }

private:
    qint64 total_;
    qint64 reported_ = 0;
};

} // namespace vestrum::zlb
