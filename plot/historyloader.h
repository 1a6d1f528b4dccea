#pragma once

#include "historyload.h"

#include <QFutureWatcher>
#include <QThreadPool>

#include <functional>
#include <optional>
#include <vector>

class QObject;
class SampleDatabase;

// Reads browse loads for the voltage plot on a pool thread of its own, one load at a time, in
// the order they were asked for (QtConcurrent::run); a future watcher, a child of the receiver,
// brings each result back to the receiver's thread and then calls `finished` there. Everything
// but the load itself belongs to the receiver's thread.
class HistoryLoader
{
public:
    struct Finished
    {
        history_load::Result result;
        quint64 generation = 0; // what the caller handed to start()
    };

    HistoryLoader(QObject *receiver, std::function<void()> finished);
    // Drops the loads not yet begun and waits for the one under way; neither is told.
    ~HistoryLoader();
    HistoryLoader(const HistoryLoader &) = delete;
    HistoryLoader &operator=(const HistoryLoader &) = delete;

    // Queues a load of request from db (which must outlive it) behind any load waiting.
    void start(SampleDatabase *db, const history_load::Request &request, quint64 generation);
    // The oldest finished load, or nothing.
    std::optional<Finished> take();
    // Returns once no load is queued or under way, so that a database may go.
    void wait_until_idle();

private:
    QObject *const receiver_; // outlives this object: its owner destroys the loader
    const std::function<void()> finished_;
    QThreadPool pool_;              // one thread, so the loads run one by one in order
    std::vector<Finished> results_; // receiver's thread only
    std::vector<QFutureWatcher<Finished> *> watchers_; // loads not yet brought back
};
