#include "archive/zlb_archive.h"

#include <cmath>

namespace vestrum {

void ZlbArchive::startPhase(TProgressPhase phase, const QString& message, qint64 total)
{
    phase_ = phase;
    phaseMessage_ = message;
    phaseTotal_ = total;
}

void ZlbArchive::progress(qint64 done)
{
    if (!OnProgress || destroying_)
        return;
    int percentage = 0;
    if (phaseTotal_ > 0)
        percentage = static_cast<int>(std::lround(double(done) * 100.0 / double(phaseTotal_)));
    else if (phase_ != TProgressPhase::WritingDirectory)
        percentage = 100; // an empty member or source is done as soon as it starts
    OnProgress(phaseMessage_, percentage);
}

void ZlbArchive::progressIdle()
{
    startPhase(TProgressPhase::Idle, fileName_, 0);
    if (!OnProgress || destroying_)
        return;
    OnProgress(fileName_, 0);
}

} // namespace vestrum
