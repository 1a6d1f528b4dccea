#pragma once

#include <QThread>

#include <atomic>
#include <chrono>

class DataQueues;
class SinkFanout;

// The decoding thread of one run: turns frame texts from the serial queue
// into time-stamped millivolt records for the save thread, hands each frame's
// rows to the run's live sinks, and announces the instrument's end-of-run frame.
class DataProcess : public QThread
{
    Q_OBJECT

public:
    // `live` may be null (no live sink).
    DataProcess(bool singleChannel, int rate, DataQueues *queues, SinkFanout *live,
                QObject *parent = nullptr);
    // Ends the loop after the current frame and waits for the thread.
    ~DataProcess() override;

    // Ends the run once the frames already queued are decoded (or an end frame among them
    // is reached), so they are stored with this run rather than left for the next; the
    // caller has stopped feeding the queue. Waits for the thread; after `limit` the frames
    // still queued are left and false is returned.
    bool finish_queued(std::chrono::milliseconds limit = queuedFramesLimit);
    static constexpr std::chrono::milliseconds queuedFramesLimit{2000};
    // The same in two steps that never wait, for a caller that hears the end through
    // QThread::finished: drain() asks the thread to end once the queue is empty, and
    // abandon_queued() (after queuedFramesLimit) to end after the current frame.
    void drain();
    void abandon_queued();

signals:
    // Emitted on the decoding thread when an end-of-run frame was decoded.
    void stop_sample_data(bool error);

protected:
    void run() override;

private:
    const bool singleChannel_;
    const int rate_;
    std::atomic<bool> running_{
        true}; // cleared by this thread (end frame) or the owner (destructor)
    std::atomic<bool> draining_{false}; // set by the owner: end when the queue is empty
    DataQueues *const queues_;
    SinkFanout *const live_;
};
