#pragma once

#include "sinkdispatcher.h"
#include "sinkguard.h"
#include "status.h"

#include <QList>

#include <memory>
#include <vector>

class RunSink;
class SampleBatch;

// The sinks of one run (see RunSink): calls the Decoded ones directly, guarded, and hands the
// Committed ones (followers) their calls through a SinkDispatcher each. Made for one run and
// closed at its end; a later run gets a new one.
// deliver_decoded runs on the decoding thread, deliver_committed on the save thread, notify
// and close on the run's owner thread.
class SinkFanout
{
public:
    explicit SinkFanout(const QList<RunSink *> &sinks,
                        int followerCapacity = SinkDispatcher::defaultCapacity);
    // Closes; waits a little for followers still busy (see SinkDispatcher).
    ~SinkFanout();
    SinkFanout(const SinkFanout &) = delete;
    SinkFanout &operator=(const SinkFanout &) = delete;

    bool has_followers() const { return !followers_.empty(); }

    // A frame's rows, decoded and not yet stored.
    void deliver_decoded(const SampleBatch &batch);
    // A transaction's rows, committed to the run table.
    void deliver_committed(const SampleBatch &batch);
    // An event for every sink: now for the Decoded ones, in turn for the followers.
    void notify(const SinkGuard::Call &event);
    // Nothing follows for the followers; returns at once.
    void close();
    // True once every follower has had all of its calls; waits up to `limit` for each.
    bool wait_closed(std::chrono::milliseconds limit);

    // The first failure of `sink` in this run; ok while it had none, or for a sink not here.
    Status status_of(const RunSink *sink) const;
    bool is_detached(const RunSink *sink) const;

private:
    const SinkGuard *guard_of(const RunSink *sink) const;

    std::vector<std::unique_ptr<SinkGuard>> decoded_;
    std::vector<std::unique_ptr<SinkDispatcher>> followers_;
};
