#pragma once

#include "runfacts.h"
#include "rungaps.h"
#include "runmarks.h"
#include "runowner.h"

#include <QElapsedTimer>
#include <QString>

#include <optional>

class DataQueues;
class RunTableSink;
class SampleDatabase;
class SinkFanout;
class StatusReply;
struct RunSettings;

// Keeps a run's facts (see RunFacts) in step with the run: writes them when its table is
// made, counts the time it spends paused and completes them when it ends; commits its gaps
// (see RunGap) and marks as they become known. Writes them through the run's table sink and
// tells the run's other sinks (the followers see them in turn with the committed rows). A failure
// to write them is logged; the run goes on. It holds the run (see RunOwner) meanwhile, and writes
// the ends other runs of the database could not write into their facts before the next run starts.
// Used by RunSession on its thread only.
class RunChronicle
{
public:
    // What the instrument last said of itself, for the facts of the next run.
    void set_instrument_status(const StatusReply &status);

    // `followers` may be null (no sink but the table).
    void started(SampleDatabase *database, RunTableSink *store, SinkFanout *followers,
                 const QDateTime &startTime, const RunSettings &settings);
    // Takes the queues' drop counts as the run's zero and forgets where they dropped before.
    void begun(DataQueues &queues);
    // Paused at runTime seconds of running time; the pause is a gap once it is over.
    void paused(double runTime);
    void resumed();
    // Commits the bursts of drops that are over as gaps; with `all`, every one.
    void collect_drops(DataQueues &queues, bool all);
    // The port went away at noticedAt seconds of running time: the gap from the last sample
    // stored (queued for storage) to then.
    void port_lost(const DataQueues &queues, double noticedAt);
    // Collects every drop and completes the facts.
    void ended(const QString &outcome, qint64 committedRows, DataQueues &queues);
    // The gaps recorded in the run so far, in the order they became known.
    const QList<RunGap> &gaps() const { return gaps_; }
    // Commits a mark of the run at once; false (logged) when it could not be stored.
    bool add_mark(const RunMark &mark);

    const RunFacts &facts() const { return facts_; }

private:
    void add_gap(const RunGap &gap);

    RunTableSink *store_ = nullptr;
    SinkFanout *followers_ = nullptr;
    RunFacts facts_;
    std::optional<int> batteryPercent_;
    std::optional<bool> rangeModule_;
    quint64 framesDroppedBefore_ = 0;
    quint64 samplesDroppedBefore_ = 0;
    QElapsedTimer pausedSince_; // valid while paused
    double pausedAt_ = 0.0;     // running time of the pause under way
    QList<RunGap> gaps_;
    RunOwner owner_;
};
