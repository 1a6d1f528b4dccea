#include "forwardingsink.h"

void ForwardingSink::set_target(RunSink *target)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    next_ = target;
}

bool ForwardingSink::release(const RunSink *target)
{
    // One lock for the question and the answer: a run begun between them would use a
    // target about to go.
    const std::lock_guard<std::mutex> lock(mutex_);
    if (target != nullptr && current_ == target)
        return false;
    if (next_ == target)
        next_ = nullptr;
    return true;
}

Status ForwardingSink::run_started(const QString &table, const RunSettings &settings,
                                   const RunFacts &facts)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    current_ = next_;
    return current_ == nullptr ? Status::success() : current_->run_started(table, settings, facts);
}

Status ForwardingSink::take_batch(const SampleBatch &batch)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return current_ == nullptr ? Status::success() : current_->take_batch(batch);
}

Status ForwardingSink::rows_missed(qint64 firstRow, qint64 count)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return current_ == nullptr ? Status::success() : current_->rows_missed(firstRow, count);
}

Status ForwardingSink::mark_added(const RunMark &mark)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return current_ == nullptr ? Status::success() : current_->mark_added(mark);
}

Status ForwardingSink::gap_found(const RunGap &gap)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return current_ == nullptr ? Status::success() : current_->gap_found(gap);
}

Status ForwardingSink::run_ended(const RunFacts &facts, const RunReport &report)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    RunSink *const target = current_;
    // The run is over for its target even if it throws: it is free to go.
    current_ = nullptr;
    return target == nullptr ? Status::success() : target->run_ended(facts, report);
}
