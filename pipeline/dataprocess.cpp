#include "dataprocess.h"

#include "dataqueues.h"
#include "framedecoder.h"
#include "idlebackoff.h"
#include "logmanager.h"

#include <QDeadlineTimer>

#include <chrono>

DataProcess::DataProcess(bool singleChannel, int rate, DataQueues *queues, SinkFanout *live,
                         QObject *parent)
    : QThread(parent)
    , singleChannel_(singleChannel)
    , rate_(rate)
    , queues_(queues)
    , live_(live)
{}

DataProcess::~DataProcess()
{
    abandon_queued();
    wait();
}

bool DataProcess::finish_queued(std::chrono::milliseconds limit)
{
    drain();
    if (wait(QDeadlineTimer(limit.count()))) {
        return true;
    }
    abandon_queued();
    wait();
    return false;
}

void DataProcess::drain()
{
    draining_.store(true);
    queues_->wake_frame_reader();
}

void DataProcess::abandon_queued()
{
    running_.store(false);
    queues_->wake_frame_reader();
}

void DataProcess::run()
{
    write_log(QStringLiteral("DataProcess 线程ID = ") +
              QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    FrameDecoder decoder(singleChannel_, rate_, queues_, live_);
    IdleBackoff backoff;
    do {
        QByteArray frame = queues_->pop_serial();
        if (frame.isEmpty()) {
            if (draining_.load()) {
                break;
            }
            queues_->wait_for_frames(backoff.next_wait());
            continue;
        }
        backoff.reset();
        if (FrameDecoder::is_end_of_run(frame)) {
            running_.store(false);
            queues_->push_sample(-1.0, -1.0);
            emit stop_sample_data(false);
        } else {
            decoder.decode(frame);
        }
    } while (running_.load());
    write_log(QStringLiteral("DataProcess 线程停止"));
}
