#pragma once

#include "sinkguard.h"

#include <chrono>
#include <memory>
#include <thread>

class RunSink;
class SampleBatch;

// Hands a follower sink its calls on a thread of its own, so a slow or stuck sink never holds
// the save thread: at most `capacity` batches wait for it; a batch that finds no room is
// dropped for this sink alone, and the sink is told the rows it missed (rows_missed) before
// the next batch it gets, or before its run_ended. Events are never dropped (a run has few).
// The posting methods are called from the save thread (batches) and the owner's thread
// (events); the sink sees them in the order they were posted.
class SinkDispatcher
{
public:
    static constexpr int defaultCapacity = 64;
    // How long the destructor waits for a sink still busy with its last calls before it
    // leaves the thread to finish on its own.
    static constexpr std::chrono::milliseconds closeGrace{2000};

    explicit SinkDispatcher(RunSink *sink, int capacity = defaultCapacity);
    // Closes, and waits up to closeGrace for the thread.
    ~SinkDispatcher();
    SinkDispatcher(const SinkDispatcher &) = delete;
    SinkDispatcher &operator=(const SinkDispatcher &) = delete;

    void post_batch(const SampleBatch &batch);
    void post_event(SinkGuard::Call event);
    // Nothing is posted after this; the thread ends once the sink has had what was posted.
    // Returns at once.
    void close();
    // True once the thread has delivered everything after close(); waits up to `limit`.
    bool wait_closed(std::chrono::milliseconds limit);

    const SinkGuard &guard() const;
    // Batches dropped for this sink so far.
    qint64 dropped_batches() const;

private:
    struct State;
    static void deliver(const std::shared_ptr<State> &state);

    // Shared with the thread, which may outlive this object when the sink never returns.
    std::shared_ptr<State> state_;
    std::thread thread_;
};
