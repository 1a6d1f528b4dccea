#include "historyloader.h"

#include <QMetaObject>
#include <QObject>

#include <utility>

HistoryLoader::HistoryLoader(QObject *receiver, std::function<void()> finished)
    : receiver_(receiver)
    , finished_(std::move(finished))
    , thread_([this] { run(); })
{}

HistoryLoader::~HistoryLoader()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    thread_.join();
}

void HistoryLoader::start(SampleDatabase *db, const history_load::Request &request,
                          quint64 generation)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(Job{db, request, generation});
    }
    wake_.notify_one();
}

std::optional<HistoryLoader::Finished> HistoryLoader::take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (results_.empty())
        return std::nullopt;
    Finished oldest = std::move(results_.front());
    results_.erase(results_.begin());
    return oldest;
}

void HistoryLoader::wait_until_idle()
{
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !loading_; });
}

void HistoryLoader::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = jobs_.front();
            jobs_.erase(jobs_.begin());
            loading_ = true;
        }
        Finished done{history_load::load(*job.db, job.request), job.generation};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            results_.push_back(std::move(done));
            loading_ = false;
        }
        idle_.notify_all();
        // Always told, so that the receiver knows the load has ended; the call carries no
        // data and is dropped when the receiver has gone.
        QMetaObject::invokeMethod(receiver_, finished_, Qt::QueuedConnection);
    }
}
