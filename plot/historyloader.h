#pragma once

#include "historyload.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QObject;
class SampleDatabase;

// The one worker thread that reads browse loads for the voltage plot, one load at a time,
// in the order they were asked for. The result crosses back under the worker's lock; the
// receiver is told through its event loop, so `finished` runs on the receiver's thread.
// start(), take() and the destructor belong to the receiver's thread.
class HistoryLoader
{
public:
    struct Finished
    {
        history_load::Result result;
        quint64 generation = 0; // what the caller handed to start()
    };

    HistoryLoader(QObject *receiver, std::function<void()> finished);
    // Waits for a load under way, then ends the thread.
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
    struct Job
    {
        SampleDatabase *db = nullptr;
        history_load::Request request;
        quint64 generation = 0;
    };

    void run();

    QObject *const receiver_; // outlives this object: its owner destroys the loader
    const std::function<void()> finished_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Job> jobs_;         // guarded by mutex_
    std::vector<Finished> results_; // guarded by mutex_
    bool stopping_ = false;         // guarded by mutex_
    bool loading_ = false;          // guarded by mutex_; a job taken and not yet done
    std::condition_variable idle_;  // signalled when a job is done
    std::thread thread_;            // last, so that it starts after the members it uses
};
