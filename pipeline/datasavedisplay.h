#pragma once

#include "samplerow.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>

class DataQueues;
class RunTableSink;
class SinkFanout;

// The save thread of one run: moves the decoded records from the record queue into the
// run's table (through its RunTableSink), 501 rows per transaction at high rates, and
// whatever it holds once the oldest of it has waited maxPendingAge, so a slow run reaches
// the table too; stores whatever is still queued when the run ends. The rows of each
// transaction that reached the table go on to the run's followers (see SinkFanout). A batch
// that does not reach the table whole is announced once (storing_failed), and storing goes on.
class DataSaveDisplay : public QThread
{
    Q_OBJECT

public:
    // How long a decoded record may wait for its transaction: what a killed
    // process can lose at most, at any rate.
    static constexpr std::chrono::milliseconds defaultMaxPendingAge{1000};

    DataSaveDisplay(DataQueues *queues, RunTableSink *table,
                    std::chrono::milliseconds maxPendingAge = defaultMaxPendingAge,
                    QObject *parent = nullptr);
    // The run's followers, handed every committed batch; set before start(). May be null.
    void set_followers(SinkFanout *followers) { followers_ = followers; }

    // Ends the loop, lets the thread store what is queued, and waits for it.
    ~DataSaveDisplay() override;
    // The same without destroying the object, so the final taken_count() can be read.
    void finish();
    // The same without waiting: QThread::finished says when the queued records are stored.
    void request_finish();

    // Asks the thread to commit, as soon as it can, every record it holds and every
    // record queued at the time of the call. Returns at once; callable from any thread.
    void commit_pending();

    // Records taken for storage so far; safe to read from any thread.
    int taken_count() const { return takenCount_.load(); }
    // Of those, the rows that reached the table; fewer on a full disk or a lost file.
    int committed_count() const { return committedCount_.load(); }
    // Why rows were first lost, as SQLite put it; empty while none were.
    QString storage_error() const;

signals:
    // Emitted on the save thread the first time rows of a batch do not reach the table.
    void storing_failed(const QString &reason);

protected:
    void run() override;

private:
    using Clock = std::chrono::steady_clock;

    // Counts the record and adds it to the batch, or ends the loop on the end marker;
    // writes the batch once it is full.
    void take(SampleRow &&record, QList<SampleRow> &batch);
    // Writes the batch in one transaction and empties it.
    void store(QList<SampleRow> &batch);
    bool batch_is_due(const QList<SampleRow> &batch) const;

    DataQueues *const queues_;
    RunTableSink *const table_;
    SinkFanout *followers_ = nullptr;
    const std::chrono::milliseconds maxPendingAge_;
    Clock::time_point oldestPending_; // arrival of the batch's first record; this thread only
    std::atomic<bool> running_{
        true}; // cleared by this thread (end marker) or the owner (destructor)
    std::atomic<bool> commitRequested_{false}; // set by any thread, cleared by this thread
    std::atomic<int> takenCount_{0};           // written by this thread only
    std::atomic<int> committedCount_{0};       // written by this thread only
    mutable QMutex errorMutex_;
    QString storageError_; // guarded by errorMutex_; set once by this thread, read by any
};
