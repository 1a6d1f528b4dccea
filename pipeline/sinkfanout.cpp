#include "sinkfanout.h"

#include "runsink.h"
#include "samplebatch.h"

SinkFanout::SinkFanout(const QList<RunSink *> &sinks, int followerCapacity)
{
    for (RunSink *sink : sinks) {
        if (sink->feed() == RunSink::Feed::Decoded) {
            decoded_.push_back(std::make_unique<SinkGuard>(sink));
        } else {
            followers_.push_back(std::make_unique<SinkDispatcher>(sink, followerCapacity));
        }
    }
}

SinkFanout::~SinkFanout()
{
    close();
}

void SinkFanout::deliver_decoded(const SampleBatch &batch)
{
    for (const std::unique_ptr<SinkGuard> &guard : decoded_) {
        guard->call([&batch](RunSink &sink) { return sink.take_batch(batch); });
    }
}

void SinkFanout::deliver_committed(const SampleBatch &batch)
{
    for (const std::unique_ptr<SinkDispatcher> &follower : followers_) {
        follower->post_batch(batch);
    }
}

void SinkFanout::notify(const SinkGuard::Call &event)
{
    for (const std::unique_ptr<SinkGuard> &guard : decoded_) {
        guard->call(event);
    }
    for (const std::unique_ptr<SinkDispatcher> &follower : followers_) {
        follower->post_event(event);
    }
}

void SinkFanout::close()
{
    for (const std::unique_ptr<SinkDispatcher> &follower : followers_) {
        follower->close();
    }
}

bool SinkFanout::wait_closed(std::chrono::milliseconds limit)
{
    bool closed = true;
    for (const std::unique_ptr<SinkDispatcher> &follower : followers_) {
        closed = follower->wait_closed(limit) && closed;
    }
    return closed;
}

const SinkGuard *SinkFanout::guard_of(const RunSink *sink) const
{
    for (const std::unique_ptr<SinkGuard> &guard : decoded_) {
        if (guard->sink() == sink) {
            return guard.get();
        }
    }
    for (const std::unique_ptr<SinkDispatcher> &follower : followers_) {
        if (follower->guard().sink() == sink) {
            return &follower->guard();
        }
    }
    return nullptr;
}

Status SinkFanout::status_of(const RunSink *sink) const
{
    const SinkGuard *guard = guard_of(sink);
    return guard != nullptr ? guard->status() : Status::success();
}

bool SinkFanout::is_detached(const RunSink *sink) const
{
    const SinkGuard *guard = guard_of(sink);
    return guard != nullptr && guard->is_detached();
}
