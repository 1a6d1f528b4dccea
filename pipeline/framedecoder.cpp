#include "framedecoder.h"

#include "dataqueues.h"
#include "protocol.h"
#include "samplesink.h"

namespace {
// Single-channel runs faster than this pack sixteen successive samples into a frame.
constexpr int singleSampleRateLimit = 100;
constexpr int slotsPerFrame = 16;
} // namespace

FrameDecoder::FrameDecoder(bool singleChannel, int rate, DataQueues *queues, SampleSink *plot)
    : singleChannel_(singleChannel)
    , rate_(rate)
    , step_(1.0 / rate)
    , queues_(queues)
    , plot_(plot)
{}

bool FrameDecoder::is_end_of_run(const QByteArray &frameText)
{
    return frameText.startsWith("FF83") || frameText.startsWith("FFF0");
}

void FrameDecoder::decode(const QByteArray &frameText)
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
