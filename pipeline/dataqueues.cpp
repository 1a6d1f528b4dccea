#include "dataqueues.h"

#include "logmanager.h"

#include <thread>

DataQueues::DataQueues(std::chrono::milliseconds recordRoomWait)
    : serialData_(std::make_unique<BoundedQueue<QByteArray>>(baseCapacity))
    , processData_(std::make_unique<BoundedQueue<SampleRow>>(2 * baseCapacity))
    , recordRoomWait_(recordRoomWait)
{}

DataQueues::~DataQueues() = default;

void DataQueues::push_serial(const QByteArray &frameText)
{
    if (!serialData_->try_push(frameText)) {
        droppedFrames_.fetch_add(1);
        dropLog_.frame_dropped();
        write_log(QStringLiteral("添加serial_data失败"));
        return;
    }
    dropLog_.frame_pushed();
    framesBell_.ring();
}

QByteArray DataQueues::pop_serial()
{
    QByteArray frameText;
    if (serialData_->try_pop(frameText))
        dropLog_.frame_popped();
    return frameText;
}

void DataQueues::push_sample(double time, double value)
{
    push_record(SampleRow{time, value});
}

void DataQueues::push_samples(double time, const QList<double> &values)
{
    SampleRow record;
    record.reserve(values.size() + 1);
    record.append(time);
    record.append(values);
    push_record(std::move(record));
}

void DataQueues::push_sample_series(const double *times, const double *values, int count)
{
    bool pushed = false;
    for (int i = 0; i < count; ++i) {
        pushed = push_record_quietly(SampleRow{times[i], values[i]}) || pushed;
    }
    if (pushed) {
        recordsBell_.ring();
    }
}

bool DataQueues::push_record_quietly(SampleRow &&record)
{
    const double time = record.first();
    if (processData_->try_push(std::move(record)) || wait_for_record_room(record)) {
        dropLog_.record_pushed(time);
        return true;
    }
    droppedRecords_.fetch_add(1);
    dropLog_.record_dropped(time);
    write_log(QStringLiteral("添加process_data失败 size = ") +
              QString::number(processData_->size()));
    return false;
}

bool DataQueues::wait_for_record_room(SampleRow &record)
{
    // Records are being dropped already: the wait before the first of them ran out.
    if (dropLog_.record_burst_open()) {
        return false;
    }
    recordsBell_.ring();
    const auto deadline = std::chrono::steady_clock::now() + recordRoomWait_;
    while (std::chrono::steady_clock::now() < deadline) {
        // A short sleep frees the core for the save thread; only a full queue pays it.
        std::this_thread::sleep_for(std::chrono::microseconds(250));
        if (processData_->try_push(std::move(record))) {
            return true;
        }
    }
    return false;
}

void DataQueues::push_record(SampleRow &&record)
{
    if (push_record_quietly(std::move(record))) {
        recordsBell_.ring();
    }
}

SampleRow DataQueues::pop_record()
{
    SampleRow record;
    processData_->try_pop(record);
    return record;
}

int DataQueues::record_count() const
{
    return int(processData_->size());
}

int DataQueues::frame_count() const
{
    return int(serialData_->size());
}

void DataQueues::wait_for_frames(std::chrono::microseconds timeout)
{
    framesBell_.wait_for(timeout, [this] { return serialData_->size() > 0; });
}

void DataQueues::wake_frame_reader()
{
    framesBell_.ring();
}

void DataQueues::wake_record_reader()
{
    recordsBell_.ring();
}

void DataQueues::wait_for_records(std::chrono::microseconds timeout)
{
    recordsBell_.wait_for(timeout, [this] { return processData_->size() > 0; });
}
