#include "dataprocess.h"

#include "dataqueues.h"
#include "logmanager.h"
#include "protocol.h"
#include "samplesink.h"

#include <chrono>

namespace {
// How long the loop sleeps on an empty queue when no push wakes it earlier.
constexpr std::chrono::microseconds idleWaitMicroseconds{1000};
// Single-channel runs faster than this pack sixteen successive samples into a frame.
constexpr int singleSampleRateLimit = 100;
constexpr int slotsPerFrame = 16;

bool is_end_of_run_frame(const QByteArray &frameText)
{
    return frameText.startsWith("FF83") || frameText.startsWith("FFF0");
}
} // namespace

DataProcess::DataProcess(bool singleChannel, int rate, DataQueues *queues, SampleSink *plot,
                         QObject *parent)
    : QThread(parent)
    , singleChannel_(singleChannel)
    , rate_(rate)
    , step_(1.0 / rate)
    , queues_(queues)
    , plot_(plot)
{}

DataProcess::~DataProcess()
{
    running_.store(false);
    wait();
}

void DataProcess::run()
{
    write_log(QStringLiteral("DataProcess 线程ID = ") +
              QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    time_ = 0.0;
    do {
        QByteArray frame = queues_->pop_serial();
        if (frame.isEmpty()) {
            queues_->wait_for_frames(idleWaitMicroseconds);
            continue;
        }
        if (is_end_of_run_frame(frame)) {
            running_.store(false);
            queues_->push_sample(-1.0, -1.0);
            emit stop_sample_data(false);
        } else {
            decode_frame(frame);
        }
    } while (running_.load());
    write_log(QStringLiteral("DataProcess 线程停止"));
}

void DataProcess::decode_frame(const QByteArray &frameText)
{
    if (singleChannel_) {
        const int slotCount = rate_ > singleSampleRateLimit ? slotsPerFrame : 1;
        for (int slot = 0; slot < slotCount; ++slot) {
            const double value = slot_millivolts(frameText, slot);
            queues_->push_sample(time_, value);
            if (plot_ != nullptr) {
                plot_->append_sample(time_, value);
            }
            time_ += step_;
        }
        return;
    }
    QList<double> values;
    values.reserve(slotsPerFrame);
    for (int slot = 0; slot < slotsPerFrame; ++slot) {
        values.append(slot_millivolts(frameText, slot));
    }
    queues_->push_samples(time_, values);
    if (plot_ != nullptr) {
        plot_->append_samples(time_, values);
    }
    time_ += step_;
}
