#pragma once

#include "status.h"

#include <QMutex>

#include <atomic>
#include <functional>

class RunSink;

// Calls one sink so that nothing it does reaches the run: an exception is caught, logged once
// and detaches the sink for the rest of the run; a failed Status is logged once and kept.
// Callable from any thread (the decoding thread and the owner's, for a live sink).
class SinkGuard
{
public:
    using Call = std::function<Status(RunSink &)>;

    explicit SinkGuard(RunSink *sink);

    RunSink *sink() const { return sink_; }
    // Calls the sink unless it was detached; false when it is (now or before).
    bool call(const Call &call);
    bool is_detached() const { return detached_.load(); }
    // The sink's first failure; ok while it had none.
    Status status() const;

private:
    void failed(const Status &status, bool detach);

    RunSink *const sink_;
    std::atomic<bool> detached_{false}; // set once, by whichever thread saw it throw
    mutable QMutex mutex_;
    Status failure_; // guarded by mutex_
};
