#include "sinkdispatcher.h"

#include "runsink.h"
#include "samplebatch.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

struct SinkDispatcher::State
{
    State(RunSink *sink, int batchCapacity)
        : guard(sink)
        , capacity(batchCapacity)
    {}

    // Queues the range of rows dropped since the last batch, if any; the caller holds mutex.
    void queue_missed()
    {
        if (missedEnd <= missedFirst) {
            return;
        }
        const qint64 first = missedFirst;
        const qint64 count = missedEnd - missedFirst;
        queue.push_back(
            {[first, count](RunSink &sink) { return sink.rows_missed(first, count); }, false});
        missedFirst = missedEnd = 0;
    }

    struct Item
    {
        SinkGuard::Call call;
        bool batch = false;
    };

    SinkGuard guard;
    const int capacity;
    std::mutex mutex;
    std::condition_variable changed;
    // Everything below is guarded by mutex.
    std::deque<Item> queue;
    int batchesQueued = 0;
    qint64 missedFirst = 0; // rows dropped and not told yet: [missedFirst, missedEnd)
    qint64 missedEnd = 0;
    qint64 droppedBatches = 0;
    bool closing = false;
    bool done = false;
};

SinkDispatcher::SinkDispatcher(RunSink *sink, int capacity)
    : state_(std::make_shared<State>(sink, capacity))
{
    thread_ = std::thread(&SinkDispatcher::deliver, state_);
}

SinkDispatcher::~SinkDispatcher()
{
    close();
    if (wait_closed(closeGrace)) {
        thread_.join();
    } else {
        // The sink is stuck: the run's owner is not held for it. The thread keeps the state.
        thread_.detach();
    }
}

void SinkDispatcher::post_batch(const SampleBatch &batch)
{
    if (batch.is_empty() || state_->guard.is_detached()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->closing) {
            return;
        }
        if (state_->batchesQueued >= state_->capacity) {
            if (state_->missedEnd <= state_->missedFirst) {
                state_->missedFirst = batch.first_row();
            }
            state_->missedEnd = batch.end_row();
            ++state_->droppedBatches;
            return;
        }
        state_->queue_missed();
        state_->queue.push_back({[batch](RunSink &sink) { return sink.take_batch(batch); }, true});
        ++state_->batchesQueued;
    }
    state_->changed.notify_all();
}

void SinkDispatcher::post_event(SinkGuard::Call event)
{
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->closing) {
            return;
        }
        state_->queue_missed();
        state_->queue.push_back({std::move(event), false});
    }
    state_->changed.notify_all();
}

void SinkDispatcher::close()
{
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->closing) {
            return;
        }
        state_->queue_missed();
        state_->closing = true;
    }
    state_->changed.notify_all();
}

bool SinkDispatcher::wait_closed(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, limit, [this] { return state_->done; });
}

const SinkGuard &SinkDispatcher::guard() const
{
    return state_->guard;
}

qint64 SinkDispatcher::dropped_batches() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->droppedBatches;
}

void SinkDispatcher::deliver(const std::shared_ptr<State> &state)
{
    for (;;) {
        State::Item item;
        {
            std::unique_lock<std::mutex> lock(state->mutex);
            state->changed.wait(lock, [&state] { return state->closing || !state->queue.empty(); });
            if (state->queue.empty()) {
                state->done = true;
                lock.unlock();
                state->changed.notify_all();
                return;
            }
            item = std::move(state->queue.front());
            state->queue.pop_front();
            if (item.batch) {
                --state->batchesQueued;
            }
        }
        // A detached sink's calls are thrown away unseen.
        state->guard.call(item.call);
    }
}
