#include "framedecoder.h"

#include "dataqueues.h"
#include "protocol.h"
#include "sinkfanout.h"

#include <array>

namespace {
// Single-channel runs faster than this pack sixteen successive samples into a frame.
constexpr int singleSampleRateLimit = 100;
constexpr int slotsPerFrame = frameSlotCount;
} // namespace

FrameDecoder::FrameDecoder(bool singleChannel, int rate, DataQueues *queues, SinkFanout *live)
    : singleChannel_(singleChannel)
    , singleSlots_(samples_per_frame(true, rate))
    , rate_(rate)
    , queues_(queues)
    , live_(live)
    , frameRows_(0, singleChannel ? 1 : slotsPerFrame)
{}

bool FrameDecoder::is_end_of_run(const QByteArray &frameText)
{
    return frameText.startsWith("FF83") || frameText.startsWith("FFF0");
}

int FrameDecoder::samples_per_frame(bool singleChannel, int rate)
{
    return singleChannel && rate > singleSampleRateLimit ? slotsPerFrame : 1;
}

void FrameDecoder::decode(const QByteArray &frameText)
{
    if (singleChannel_) {
        const int slotCount = singleSlots_;
        std::array<double, slotsPerFrame> times{};
        std::array<double, slotsPerFrame> values{};
        slots_millivolts(frameText, slotCount, values.data());
        for (int slot = 0; slot < slotCount; ++slot) {
            times[std::size_t(slot)] = time_of(records_++);
        }
        queues_->push_sample_series(times.data(), values.data(), slotCount);
        if (live_ != nullptr) {
            frameRows_.restart(records_ - slotCount);
            for (int slot = 0; slot < slotCount; ++slot) {
                frameRows_.append(times[std::size_t(slot)], &values[std::size_t(slot)]);
            }
            live_->deliver_decoded(frameRows_);
        }
        return;
    }
    QList<double> values(slotsPerFrame);
    slots_millivolts(frameText, slotsPerFrame, values.data());
    const double time = time_of(records_++);
    queues_->push_samples(time, values);
    if (live_ != nullptr) {
        frameRows_.restart(records_ - 1);
        frameRows_.append(time, values.constData());
        live_->deliver_decoded(frameRows_);
    }
}
