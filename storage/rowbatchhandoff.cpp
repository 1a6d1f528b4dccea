#include "rowbatchhandoff.h"

#include <QMutexLocker>

#include <algorithm>

RowBatchHandoff::RowBatchHandoff(int capacity)
    : capacity_(size_t(std::max(1, capacity)))
{}

bool RowBatchHandoff::push(Batch batch)
{
    QMutexLocker lock(&mutex_);
    while (!quit_ && queued_.size() >= capacity_)
        changed_.wait(&mutex_);
    if (quit_)
        return false;
    queued_.push_back(std::move(batch));
    changed_.wakeAll();
    return true;
}

void RowBatchHandoff::finish()
{
    QMutexLocker lock(&mutex_);
    finished_ = true;
    changed_.wakeAll();
}

void RowBatchHandoff::abandon()
{
    QMutexLocker lock(&mutex_);
    queued_.clear();
    finished_ = true;
    changed_.wakeAll();
}

std::vector<double> RowBatchHandoff::spare()
{
    QMutexLocker lock(&mutex_);
    if (spares_.empty())
        return {};
    std::vector<double> values = std::move(spares_.back());
    spares_.pop_back();
    return values;
}

std::optional<RowBatchHandoff::Batch> RowBatchHandoff::pop()
{
    QMutexLocker lock(&mutex_);
    while (!quit_ && !finished_ && queued_.empty())
        changed_.wait(&mutex_);
    if (quit_ || queued_.empty())
        return std::nullopt;
    Batch batch = std::move(queued_.front());
    queued_.pop_front();
    changed_.wakeAll();
    return batch;
}

void RowBatchHandoff::recycle(std::vector<double> values)
{
    values.clear();
    QMutexLocker lock(&mutex_);
    spares_.push_back(std::move(values));
}

void RowBatchHandoff::quit()
{
    QMutexLocker lock(&mutex_);
    quit_ = true;
    queued_.clear();
    changed_.wakeAll();
}
