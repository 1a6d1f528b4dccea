#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <deque>
#include <optional>
#include <vector>

// Hands batches of rows from the thread that parses them to the thread that stores them. At
// most `capacity` batches wait, so the parser runs that far ahead and no further. One
// producing and one consuming thread; every member is guarded by mutex_.
class RowBatchHandoff
{
public:
    struct Batch
    {
        std::vector<double> values; // rows one after another
        qint64 lastLine = 0;        // the line of the file its last row came from
    };

    explicit RowBatchHandoff(int capacity);

    // Producer: waits for room, then queues batch; false (batch dropped) once the consumer quit.
    bool push(Batch batch);
    // Producer: no batch follows; those queued are still taken.
    void finish();
    // Producer: no batch follows, and those queued are dropped (the file was refused).
    void abandon();
    // Producer: storage of a batch the consumer is done with, empty, or a new one.
    std::vector<double> spare();

    // Consumer: the next batch, waiting for it; nothing once finished and drained, or abandoned.
    std::optional<Batch> pop();
    // Consumer: gives a batch's storage back for the next one.
    void recycle(std::vector<double> values);
    // Consumer: takes no more batches; the producer's next push returns false.
    void quit();

private:
    const size_t capacity_;
    QMutex mutex_;
    QWaitCondition changed_;
    std::deque<Batch> queued_;
    std::vector<std::vector<double>> spares_;
    bool finished_ = false;
    bool quit_ = false;
};
