#pragma once

#include "runsettings.h"
#include "status.h"

#include <QString>
#include <QtGlobal>

class SampleBatch;
struct RunFacts;
struct RunGap;
struct RunMark;
struct RunReport;

// One destination of a run's rows and events (the live plot, a mirror, a publisher): the run
// engine feeds every sink added to it, and no sink can stop or slow the run.
//
// What a sink may assume:
// - Events come in run order: run_started first, then marks and gaps as they happen, then
//   run_ended last; rows come in row order (first_row() of each batch is the end_row() of the
//   batch before, unless rows_missed() said which ones were skipped).
// - A Decoded sink gets every frame's rows as soon as they are decoded, before they are
//   stored, on the decoding thread; its events come on the run's owner thread (the window's or
//   the recorder's main thread). It must return at once: it holds up decoding.
// - A Committed sink (a follower) gets only rows that reached the run table, in the
//   transactions the save thread wrote them, and all its calls, events included, on one
//   thread of its own. Its hand-off holds a bounded number of batches: when the sink is too
//   slow for the run, the batches that do not fit are dropped for it alone, and it is told
//   the range it missed (rows_missed) before its next batch, so it can read them from the run
//   table itself. Its other calls are never dropped.
// What a sink must not do: throw (a sink that throws is logged once and detached for the rest
// of the run), block or take long (a follower that does only loses batches; a Decoded sink
// delays decoding and makes the frame queue drop). A non-ok Status is logged once per run.
// The sink must outlive the run engine it is added to.
class RunSink
{
public:
    enum class Feed { Decoded, Committed };

    virtual ~RunSink() = default;

    // A short name for the log ("live plot", "mirror").
    virtual QString sink_name() const = 0;
    virtual Feed feed() const { return Feed::Committed; }

    // The run's table was made: its name, its settings and its facts at the start.
    virtual Status run_started(const QString &table, const RunSettings &settings,
                               const RunFacts &facts);
    virtual Status take_batch(const SampleBatch &batch);
    // Rows [firstRow, firstRow + count) were not handed over (the sink fell behind).
    virtual Status rows_missed(qint64 firstRow, qint64 count);
    virtual Status mark_added(const RunMark &mark);
    virtual Status gap_found(const RunGap &gap);
    // The run is over: its facts complete (outcome, rows committed, drops) and the verdict on
    // it (see RunReport). No call follows.
    virtual Status run_ended(const RunFacts &facts, const RunReport &report);
};
