#include "ratemeter.h"

qint64 RateMeter::update(qint64 elapsedMs, qint64 count)
{
    // Only the latest reading at least a window back is needed as the reference.
    while (history_.size() > 1 && elapsedMs - history_[1].ms >= windowMs) {
        history_.pop_front();
    }
    const Reading &reference = history_.front();
    const qint64 spanMs = elapsedMs - reference.ms;
    const qint64 perSecond =
        spanMs > 0 ? ((count - reference.count) * 1000 + spanMs / 2) / spanMs : 0;
    history_.push_back({elapsedMs, count});
    return perSecond;
}

void RateMeter::reset()
{
    history_.assign(1, Reading{});
}
