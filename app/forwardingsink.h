#pragma once

#include "runsink.h"

#include <mutex>
#include <utility>

// One of the window's sinks in its RunSession, which keeps the sinks added to it for good: it
// passes each run's calls on to the target that was set when the run began, so the target (a
// publisher, a mirror) can be replaced whenever the settings change, taking effect from the
// next run, and a run is never split between two targets.
class ForwardingSink : public RunSink
{
public:
    // name is what the session calls the sink in its messages ("MQTT publisher").
    explicit ForwardingSink(QString name)
        : name_(std::move(name))
    {}

    QString sink_name() const override { return name_; }

    // target (null: none) gets the runs that begin from now on; a target replaced here must
    // stay alive until release() lets it go.
    void set_target(RunSink *target);
    // True when target gets no calls any more, and no further runs: it may go. False, and
    // nothing changes, while a run begun with it has not ended for it.
    bool release(const RunSink *target);

    Status run_started(const QString &table, const RunSettings &settings,
                       const RunFacts &facts) override;
    Status take_batch(const SampleBatch &batch) override;
    Status rows_missed(qint64 firstRow, qint64 count) override;
    Status mark_added(const RunMark &mark) override;
    Status gap_found(const RunGap &gap) override;
    Status run_ended(const RunFacts &facts, const RunReport &report) override;

private:
    const QString name_;
    // Held through each forwarded call (the follower thread's), so set_target on the GUI
    // thread never changes a pointer under a call under way; a target's calls only note what
    // is new, so the wait is short.
    mutable std::mutex mutex_;
    RunSink *next_ = nullptr;    // guarded by mutex_: the target of the next run
    RunSink *current_ = nullptr; // guarded by mutex_: the target of the run under way
};
