#pragma once

#include "boundedqueue.h"
#include "doorbell.h"
#include "droplog.h"
#include "framesink.h"
#include "samplerow.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <chrono>
#include <memory>

// The two hand-over queues of a run: frame texts from the serial manager (GUI
// thread) to the decoding thread, and sample records from the decoding thread
// to the save thread. Every operation may be called from any thread; a full
// queue drops the item and logs it (the record queue after a bounded wait for
// room, see push_record_quietly). Lives from start-up to shut-down; nothing
// empties it between runs.
class DataQueues : public FrameSink
{
public:
    static constexpr int baseCapacity = 4096;
    static constexpr std::chrono::milliseconds defaultRecordRoomWait{200};

    explicit DataQueues(std::chrono::milliseconds recordRoomWait = defaultRecordRoomWait);
    ~DataQueues() override;
    DataQueues(const DataQueues &) = delete;
    DataQueues &operator=(const DataQueues &) = delete;

    void push_serial(const QByteArray &frameText) override;
    // The oldest frame text, or an empty array.
    QByteArray pop_serial();

    // A single-channel record (time, value).
    void push_sample(double time, double value);
    // Single-channel records (times[i], values[i]) in order, with one wake-up of
    // the consumer for all of them.
    void push_sample_series(const double *times, const double *values, int count);
    // A record of the time followed by the values.
    void push_samples(double time, const QList<double> &values);
    // The oldest record, or an empty list.
    SampleRow pop_record();
    int record_count() const;
    // Wakes the record consumer out of wait_for_records, so it sees a request at once.
    void wake_record_reader();

    int frame_count() const;
    // Wakes the frame consumer out of wait_for_frames, so it sees a request to end at once.
    void wake_frame_reader();

    // Frames and records a full queue had no room for since construction.
    quint64 dropped_frames() const { return droppedFrames_.load(); }
    quint64 dropped_records() const { return droppedRecords_.load(); }
    // Where they were dropped, for the gaps of the run (see DropLog).
    DropLog &drop_log() { return dropLog_; }
    const DropLog &drop_log() const { return dropLog_; }

    // Let a consumer sleep on an empty queue until a push or the time-out.
    void wait_for_frames(std::chrono::microseconds timeout);
    void wait_for_records(std::chrono::microseconds timeout);

private:
    // False when the queue was full and the record dropped (and logged).
    bool push_record_quietly(SampleRow &&record);
    // A full record queue most often means the save thread is waiting for a core on a busy
    // machine, while the frame queue before the decoder holds far longer: so the decoder
    // waits up to recordRoomWait_ for room before a record is lost. After a wait that ran
    // out, records are dropped at once until one fits again, so a stopped save thread costs
    // one wait, not one per record. True when the record went in.
    bool wait_for_record_room(SampleRow &record);
    void push_record(SampleRow &&record);

    std::unique_ptr<BoundedQueue<QByteArray>> serialData_; // GUI thread -> decoding thread
    std::unique_ptr<BoundedQueue<SampleRow>> processData_; // decoding thread -> save thread
    Doorbell framesBell_;                                  // rung after every frame pushed
    Doorbell recordsBell_;                   // rung after every record or series pushed
    std::atomic<quint64> droppedFrames_{0};  // counted by the frame producer, read by anyone
    std::atomic<quint64> droppedRecords_{0}; // counted by the record producer, read by anyone
    const std::chrono::milliseconds recordRoomWait_;
    DropLog dropLog_;
};
