#pragma once

#include "samplerow.h"

#include <QList>
#include <QThread>

#include <atomic>

class DataQueues;
class SampleDatabase;

// The save thread of one run: moves the decoded records from the record
// queue into the run's table, 501 rows per transaction, and stores whatever
// is still queued when the run ends.
class DataSaveDisplay : public QThread
{
public:
    DataSaveDisplay(DataQueues *queues, SampleDatabase *database, QObject *parent = nullptr);
    // Ends the loop, lets the thread store what is queued, and waits for it.
    ~DataSaveDisplay() override;
    // The same without destroying the object, so the final stored_count() can be read.
    void finish();

    // Records taken for storage so far; safe to read from any thread.
    int stored_count() const { return storedCount_.load(); }
    // Of those, the rows that reached the table; fewer on a full disk or a lost file.
    int committed_count() const { return committedCount_.load(); }

protected:
    void run() override;

private:
    // Writes the batch in one transaction and empties it.
    void store(QList<SampleRow> &batch);

    DataQueues *const queues_;
    SampleDatabase *const database_;
    std::atomic<bool> running_{
        true}; // cleared by this thread (end marker) or the owner (destructor)
    std::atomic<int> storedCount_{0};    // written by this thread only
    std::atomic<int> committedCount_{0}; // written by this thread only
};
