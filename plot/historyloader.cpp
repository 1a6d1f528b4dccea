#include "historyloader.h"

#include <QObject>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

HistoryLoader::HistoryLoader(QObject *receiver, std::function<void()> finished)
    : receiver_(receiver)
    , finished_(std::move(finished))
{
    pool_.setMaxThreadCount(1);
    // The thread stays between loads, and with it any database connection a load opened.
    pool_.setExpiryTimeout(-1);
}

HistoryLoader::~HistoryLoader()
{
    pool_.clear();
    pool_.waitForDone();
    // A load that ended meanwhile is not brought back: the receiver is going.
    for (QFutureWatcher<Finished> *watcher : watchers_)
        delete watcher;
}

void HistoryLoader::start(SampleDatabase *db, const history_load::Request &request,
                          quint64 generation)
{
    auto *watcher = new QFutureWatcher<Finished>(receiver_);
    watchers_.push_back(watcher);
    // Always told, so that the receiver knows the load has ended; the watcher goes with the
    // receiver, and the call with it.
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [this, watcher] {
        results_.push_back(watcher->result());
        watchers_.erase(std::find(watchers_.begin(), watchers_.end(), watcher));
        watcher->deleteLater();
        finished_();
    });
    watcher->setFuture(QtConcurrent::run(&pool_, [db, request, generation] {
        return Finished{history_load::load(*db, request), generation};
    }));
}

std::optional<HistoryLoader::Finished> HistoryLoader::take()
{
    if (results_.empty())
        return std::nullopt;
    Finished oldest = std::move(results_.front());
    results_.erase(results_.begin());
    return oldest;
}

void HistoryLoader::wait_until_idle()
{
    pool_.waitForDone();
}
