#pragma once

#include <QList>
#include <QMutex>

#include <atomic>
#include <limits>

// Items a full queue had no room for, one after another with nothing stored between them.
struct DropBurst
{
    enum class Kind { Frames, Records };
    Kind kind = Kind::Records;
    // Run times in seconds. Records: of the first and the last record dropped. Frames: both
    // the time of the last record decoded before them (NaN when there was none), as a frame
    // dropped carries no time of its own.
    double first = 0.0;
    double last = 0.0;
    quint64 count = 0;
};

// Where the queues of a run dropped, so the run can record its gaps. The frame side is
// called by the frame producer (pushes) and the frame consumer (pops), the record side by the
// record producer, which is the frame consumer (the decoding thread); take() by anyone. A
// burst of frames is placed when the frame after it is taken from the queue: the records
// decoded until then are those of the frames before it. The bursts are guarded by mutex_;
// the stores and pops that drop nothing touch only atomics.
class DropLog
{
public:
    void frame_pushed() { framesPushed_.fetch_add(1, std::memory_order_relaxed); }
    void frame_dropped();
    void frame_popped();
    // A record, with its time first, was stored; negative times (the end marker) are not.
    void record_pushed(double time);
    void record_dropped(double time);

    // The bursts over (something was stored after them) and, with `all`, those still going
    // or not yet placed (placed after the last record); they are forgotten here.
    QList<DropBurst> take(bool all);
    // Forgets every burst and the last record: a new run's times start again at 0.
    void reset();
    // True from a dropped record until the next one stored (or reset()).
    bool record_burst_open() const { return recordBurstOpen_.load(std::memory_order_relaxed); }
    // Of the last record stored since reset(); NaN when there was none.
    double last_record_time() const { return lastRecordTime_.load(std::memory_order_relaxed); }

private:
    // Moves the bursts of frames the consumer has passed to over_; mutex_ held.
    void place_frame_bursts(quint64 popped, bool all);

    struct FrameBurst
    {
        quint64 after = 0; // frames stored before it
        quint64 count = 0;
    };

    std::atomic<quint64> framesPushed_{0};     // by the frame producer
    std::atomic<quint64> framesPopped_{0};     // by the frame consumer
    std::atomic<int> unplacedFrameBursts_{0};  // written under mutex_, read by the consumer
    std::atomic<bool> recordBurstOpen_{false}; // written under mutex_, read by the producer
    std::atomic<double> lastRecordTime_{
        std::numeric_limits<double>::quiet_NaN()}; // by the record producer
    mutable QMutex mutex_;
    QList<FrameBurst> unplacedFrames_; // guarded by mutex_
    DropBurst openRecords_;            // guarded by mutex_; valid while recordBurstOpen_
    QList<DropBurst> over_;            // guarded by mutex_
};
