#include "datasavedisplay.h"

#include "dataqueues.h"
#include "idlebackoff.h"
#include "logmanager.h"
#include "sampledatabase.h"

#include <chrono>

namespace {
// A batch is written as soon as it holds more than this many records.
constexpr int batchLimit = 500;

bool is_end_marker(const SampleRow &record)
{
    return record.first() < 0.0;
}
} // namespace

DataSaveDisplay::DataSaveDisplay(DataQueues *queues, SampleDatabase *database, QObject *parent)
    : QThread(parent)
    , queues_(queues)
    , database_(database)
{}

DataSaveDisplay::~DataSaveDisplay()
{
    finish();
}

void DataSaveDisplay::finish()
{
    running_.store(false);
    wait();
}

void DataSaveDisplay::store(QList<SampleRow> &batch)
{
    if (batch.isEmpty()) {
        return;
    }
    committedCount_.fetch_add(database_->insert_samples(batch), std::memory_order_relaxed);
    batch.clear();
}

void DataSaveDisplay::run()
{
    write_log(QStringLiteral("DataSaveDisplay 线程ID = ") +
              QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    QList<SampleRow> batch;
    batch.reserve(batchLimit + 1);
    IdleBackoff backoff;
    do {
        SampleRow record = queues_->pop_record();
        if (record.isEmpty()) {
            queues_->wait_for_records(backoff.next_wait());
            continue;
        }
        backoff.reset();
        if (is_end_marker(record)) {
            running_.store(false);
            continue;
        }
        storedCount_.fetch_add(1, std::memory_order_relaxed);
        batch.append(std::move(record));
        if (batch.size() > batchLimit) {
            store(batch);
        }
    } while (running_.load());
    write_log(QStringLiteral("DataSaveDisplay 线程停止"));

    while (queues_->record_count() > 0) {
        SampleRow record = queues_->pop_record();
        if (!record.isEmpty() && !is_end_marker(record)) {
            storedCount_.fetch_add(1, std::memory_order_relaxed);
            batch.append(std::move(record));
        }
    }
    store(batch);
    write_log(QStringLiteral("采集点数 = ") + QString::number(storedCount_.load()));
}
