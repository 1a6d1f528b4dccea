#include "datasavedisplay.h"

#include "dataqueues.h"
#include "idlebackoff.h"
#include "logmanager.h"
#include "runtablesink.h"
#include "samplebatch.h"
#include "sinkfanout.h"

#include <QMutexLocker>

namespace {
// A batch is written as soon as it holds more than this many records.
constexpr int batchLimit = 500;
// Records between two looks at the age of a batch while the queue is busy.
constexpr int ageCheckRecords = 32;

bool is_end_marker(const SampleRow &record)
{
    return record.first() < 0.0;
}
} // namespace

DataSaveDisplay::DataSaveDisplay(DataQueues *queues, RunTableSink *table,
                                 std::chrono::milliseconds maxPendingAge, QObject *parent)
    : QThread(parent)
    , queues_(queues)
    , table_(table)
    , maxPendingAge_(maxPendingAge)
{}

DataSaveDisplay::~DataSaveDisplay()
{
    finish();
}

void DataSaveDisplay::finish()
{
    request_finish();
    wait();
}

void DataSaveDisplay::request_finish()
{
    running_.store(false);
    // The thread may sleep on an empty queue for its short idle time-out.
    queues_->wake_record_reader();
}

void DataSaveDisplay::commit_pending()
{
    commitRequested_.store(true);
    // The thread may sleep on an empty queue; a wake-up that slips past it costs
    // only its short idle time-out.
    queues_->wake_record_reader();
}

QString DataSaveDisplay::storage_error() const
{
    QMutexLocker lock(&errorMutex_);
    return storageError_;
}

void DataSaveDisplay::take(SampleRow &&record, QList<SampleRow> &batch)
{
    if (is_end_marker(record)) {
        running_.store(false);
        return;
    }
    takenCount_.fetch_add(1, std::memory_order_relaxed);
    if (batch.isEmpty()) {
        oldestPending_ = Clock::now();
    }
    batch.append(std::move(record));
    if (batch.size() > batchLimit) {
        store(batch);
    }
}

bool DataSaveDisplay::batch_is_due(const QList<SampleRow> &batch) const
{
    return !batch.isEmpty() && Clock::now() - oldestPending_ >= maxPendingAge_;
}

void DataSaveDisplay::store(QList<SampleRow> &batch)
{
    if (batch.isEmpty()) {
        return;
    }
    const SampleDatabase::Stored stored = table_->store(batch);
    const QString error = stored.status.message();
    const int committedBefore = committedCount_.fetch_add(stored.rows, std::memory_order_relaxed);
    if (followers_ != nullptr && followers_->has_followers() && stored.rows > 0) {
        // The rows that reached the table are the batch's first ones: the first refused row
        // ends a transaction.
        SampleBatch committed(committedBefore, int(batch.first().size()) - 1);
        for (int i = 0; i < stored.rows; ++i) {
            committed.append(batch.at(i));
        }
        followers_->deliver_committed(committed);
    }
    batch.clear();
    if (error.isEmpty()) {
        return;
    }
    {
        QMutexLocker lock(&errorMutex_);
        if (!storageError_.isEmpty()) {
            return;
        }
        storageError_ = error;
    }
    write_log(QStringLiteral("保存数据失败: ") + error);
    emit storing_failed(error);
}

void DataSaveDisplay::run()
{
    write_log(QStringLiteral("DataSaveDisplay 线程ID = ") +
              QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    QList<SampleRow> batch;
    batch.reserve(batchLimit + 1);
    IdleBackoff backoff;
    do {
        if (commitRequested_.exchange(false)) {
            // At least every record queued when the request was made.
            for (int queued = queues_->record_count(); queued > 0; --queued) {
                SampleRow record = queues_->pop_record();
                if (!record.isEmpty()) {
                    take(std::move(record), batch);
                }
            }
            store(batch);
        }
        SampleRow record = queues_->pop_record();
        if (record.isEmpty()) {
            // The idle waits are short, so the age of the batch is looked at often enough.
            if (batch_is_due(batch)) {
                store(batch);
            }
            queues_->wait_for_records(backoff.next_wait());
            continue;
        }
        backoff.reset();
        take(std::move(record), batch);
        // The clock is read when the queue runs dry (above) and every few records, not for
        // every record: a busy queue fills the batch long before it is due.
        if (batch.size() % ageCheckRecords == 0 && batch_is_due(batch)) {
            store(batch);
        }
    } while (running_.load());
    write_log(QStringLiteral("DataSaveDisplay 线程停止"));

    while (queues_->record_count() > 0) {
        SampleRow record = queues_->pop_record();
        if (!record.isEmpty() && !is_end_marker(record)) {
            takenCount_.fetch_add(1, std::memory_order_relaxed);
            batch.append(std::move(record));
        }
    }
    store(batch);
    write_log(QStringLiteral("采集点数 = ") + QString::number(takenCount_.load()));
}
