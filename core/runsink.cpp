#include "runsink.h"

// A sink overrides only what it needs; everything else is accepted and ignored.

Status RunSink::run_started(const QString &, const RunSettings &, const RunFacts &)
{
    return Status::success();
}

Status RunSink::take_batch(const SampleBatch &)
{
    return Status::success();
}

Status RunSink::rows_missed(qint64, qint64)
{
    return Status::success();
}

Status RunSink::mark_added(const RunMark &)
{
    return Status::success();
}

Status RunSink::gap_found(const RunGap &)
{
    return Status::success();
}

Status RunSink::run_ended(const RunFacts &, const RunReport &)
{
    return Status::success();
}
