#include "droplog.h"

#include <QMutexLocker>

#include <limits>

namespace {
constexpr double noTime = std::numeric_limits<double>::quiet_NaN();
} // namespace

void DropLog::frame_dropped()
{
    QMutexLocker lock(&mutex_);
    const quint64 pushed = framesPushed_.load(std::memory_order_relaxed);
    // Nothing stored since the last drop: the same burst.
    if (!unplacedFrames_.isEmpty() && unplacedFrames_.last().after == pushed) {
        ++unplacedFrames_.last().count;
        return;
    }
    unplacedFrames_.append({pushed, 1});
    unplacedFrameBursts_.store(int(unplacedFrames_.size()), std::memory_order_release);
}

void DropLog::frame_popped()
{
    const quint64 popped = framesPopped_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (unplacedFrameBursts_.load(std::memory_order_acquire) == 0)
        return;
    QMutexLocker lock(&mutex_);
    place_frame_bursts(popped, false);
}

void DropLog::place_frame_bursts(quint64 popped, bool all)
{
    // The frame just taken is the popped-th: once it comes after a burst, the records stored
    // so far are those of the frames before the burst.
    const double time = lastRecordTime_.load(std::memory_order_relaxed);
    while (!unplacedFrames_.isEmpty() && (all || unplacedFrames_.first().after < popped)) {
        const FrameBurst burst = unplacedFrames_.takeFirst();
        over_.append({DropBurst::Kind::Frames, time, time, burst.count});
    }
    unplacedFrameBursts_.store(int(unplacedFrames_.size()), std::memory_order_release);
}

void DropLog::record_pushed(double time)
{
    if (time < 0.0)
        return;
    lastRecordTime_.store(time, std::memory_order_relaxed);
    if (!recordBurstOpen_.load(std::memory_order_relaxed))
        return;
    QMutexLocker lock(&mutex_);
    over_.append(openRecords_);
    recordBurstOpen_.store(false, std::memory_order_relaxed);
}

void DropLog::record_dropped(double time)
{
    QMutexLocker lock(&mutex_);
    if (recordBurstOpen_.load(std::memory_order_relaxed)) {
        openRecords_.last = time;
        ++openRecords_.count;
        return;
    }
    openRecords_ = {DropBurst::Kind::Records, time, time, 1};
    recordBurstOpen_.store(true, std::memory_order_relaxed);
}

QList<DropBurst> DropLog::take(bool all)
{
    QMutexLocker lock(&mutex_);
    if (all) {
        place_frame_bursts(framesPopped_.load(std::memory_order_relaxed), true);
        if (recordBurstOpen_.load(std::memory_order_relaxed))
            over_.append(openRecords_);
        recordBurstOpen_.store(false, std::memory_order_relaxed);
    }
    QList<DropBurst> bursts;
    bursts.swap(over_);
    return bursts;
}

void DropLog::reset()
{
    QMutexLocker lock(&mutex_);
    unplacedFrames_.clear();
    unplacedFrameBursts_.store(0, std::memory_order_release);
    recordBurstOpen_.store(false, std::memory_order_relaxed);
    over_.clear();
    lastRecordTime_.store(noTime, std::memory_order_relaxed);
}
