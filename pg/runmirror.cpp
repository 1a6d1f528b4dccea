#include "runmirror.h"

#include "logmanager.h"
#include "pgconnection.h"
#include "runfacts.h"
#include "rungap.h"
#include "runmark.h"
#include "runupload.h"
#include "samplebatch.h"
#include "serverschema.h"
#include "sqliteconnection.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Rows per COPY and transaction: about 0.4 MB for one channel, 3 MB for sixteen.
constexpr qint64 rowsPerCopy = 20000;
constexpr int connectSeconds = 5;
// How long the mirror sleeps with nothing to do; new rows wake it at once.
constexpr auto idleWait = 200ms;
constexpr auto retryWaitFirst = 250ms;
constexpr auto retryWaitLongest = 2s;

} // namespace

// The mirror's thread: the server connection and the run-table reads (one read-only SQLite
// connection), both used here only. What the run's follower thread hands over goes through
// mutex_.
class RunMirror::Worker
{
public:
    Worker(MirrorTarget target, QString databaseFile, QString station)
        : target_(std::move(target))
        , databaseFile_(QFileInfo(databaseFile).absoluteFilePath())
        , station_(std::move(station))
    {
        thread_ = std::thread([this] { run(); });
    }

    ~Worker()
    {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    // One followed run. Guarded by mutex_.
    struct Run
    {
        QString table;
        QString serverName;
        RunFacts facts; // at the start, then at the end
        bool ended = false;
        bool complete = false;
        qint64 committed = 0;
        qint64 mirrored = 0; // the rows the server holds, as last seen
        // What the server holds is asked again after every (re)connection.
        bool countsKnown = false;
        QList<RunMark> marks;
        QList<RunGap> gaps;
        qsizetype marksMirrored = 0;
        qsizetype gapsMirrored = 0;
    };

    // Called on the run's follower thread.
    void start_run(const QString &table, const RunFacts &facts)
    {
        {
            std::lock_guard lock(mutex_);
            Run run;
            run.table = table;
            run.facts = facts;
            runs_.push_back(std::move(run));
            pending_ = true;
        }
        wake_.notify_all();
    }

    void committed(qint64 endRow)
    {
        {
            std::lock_guard lock(mutex_);
            if (runs_.empty()) {
                return;
            }
            runs_.back().committed = std::max(runs_.back().committed, endRow);
            pending_ = true;
        }
        wake_.notify_all();
    }

    void note_mark(const RunMark &mark)
    {
        {
            std::lock_guard lock(mutex_);
            if (runs_.empty()) {
                return;
            }
            runs_.back().marks.append(mark);
            pending_ = true;
        }
        wake_.notify_all();
    }

    void note_gap(const RunGap &gap)
    {
        {
            std::lock_guard lock(mutex_);
            if (runs_.empty()) {
                return;
            }
            runs_.back().gaps.append(gap);
            pending_ = true;
        }
        wake_.notify_all();
    }

    void end_run(const RunFacts &facts)
    {
        {
            std::lock_guard lock(mutex_);
            if (runs_.empty()) {
                return;
            }
            Run &run = runs_.back();
            run.committed = std::max(run.committed, facts.committedRows);
            run.facts = facts;
            run.ended = true;
            pending_ = true;
        }
        wake_.notify_all();
    }

    const MirrorTarget &target() const { return target_; }
    Link link() const { return link_.load(); }

    QString last_problem() const
    {
        std::lock_guard lock(mutex_);
        return problem_;
    }

    qint64 backlog_rows() const
    {
        std::lock_guard lock(mutex_);
        qint64 rows = 0;
        for (const Run &run : runs_) {
            rows += std::max<qint64>(run.committed - run.mirrored, 0);
        }
        return rows;
    }

    QList<RunProgress> runs() const
    {
        std::lock_guard lock(mutex_);
        QList<RunProgress> list;
        for (const Run &run : runs_) {
            list.append(RunProgress{run.table, run.serverName, run.committed, run.mirrored,
                                    run.ended, run.complete});
        }
        return list;
    }

    bool wait_mirrored(std::chrono::milliseconds limit) const
    {
        std::unique_lock lock(mutex_);
        return progress_.wait_for(lock, limit, [this] {
            return std::all_of(runs_.begin(), runs_.end(), [](const Run &r) { return r.complete; });
        });
    }

private:
    enum class Step { Done, Idle, Failed };

    void run()
    {
        auto retryWait = std::chrono::milliseconds(retryWaitFirst);
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (quit_) {
                    break;
                }
                pending_ = false;
            }
            const Step step = connection_ && connection_->is_open() ? pump() : connect();
            if (step == Step::Failed) {
                lost();
                wait(retryWait, false);
                retryWait = std::min<std::chrono::milliseconds>(retryWait * 2, retryWaitLongest);
                continue;
            }
            retryWait = retryWaitFirst;
            if (step == Step::Idle) {
                wait(idleWait, true);
            }
        }
        connection_.reset();
        database_.reset();
    }

    // Waits for up to limit, or until quit_ (or new work, when newWorkWakes).
    void wait(std::chrono::milliseconds limit, bool newWorkWakes)
    {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, limit, [&] { return quit_ || (newWorkWakes && pending_); });
    }

    Step connect()
    {
        if (refused_) {
            return Step::Failed;
        }
        {
            std::lock_guard lock(mutex_);
            if (runs_.empty()) {
                // Nothing to mirror yet; the check before the run has asked the server.
                return Step::Idle;
            }
        }
        connection_ =
            std::make_unique<PgConnection>(target_.uri(), connectSeconds, target_.password());
        Status status = connection_->connect_status();
        if (status.ok()) {
            status = server_schema::ensure(*connection_);
        }
        if (!status.ok()) {
            set_problem(status.message());
            if (status.is(Status::Kind::Invalid) && connection_->is_open()) {
                // A layout this program does not know: it never writes into it.
                refused_ = true;
                write_log(QStringLiteral("PostgreSQL: %1 refuses the mirror: %2")
                              .arg(target_.shown(), status.message()));
            }
            return Step::Failed;
        }
        link_ = Link::Online;
        write_log(QStringLiteral("PostgreSQL: mirroring to %1").arg(target_.shown()));
        std::lock_guard lock(mutex_);
        problem_.clear();
        return Step::Done;
    }

    void lost()
    {
        if (link_ == Link::Online) {
            write_log(QStringLiteral("PostgreSQL: lost the server %1 (%2); the rows wait in the "
                                     "run table")
                          .arg(target_.shown(), last_problem()));
        }
        link_ = Link::Offline;
        connection_.reset();
        std::lock_guard lock(mutex_);
        for (Run &run : runs_) {
            run.countsKnown = false;
        }
    }

    // One step of the first run not yet complete on the server.
    Step pump()
    {
        std::unique_lock lock(mutex_);
        const auto found =
            std::find_if(runs_.begin(), runs_.end(), [](const Run &r) { return !r.complete; });
        if (found == runs_.end()) {
            return Step::Idle;
        }
        const size_t index = size_t(found - runs_.begin());
        const Run run = *found; // a copy: the server is asked without the lock
        lock.unlock();

        if (run.serverName.isEmpty()) {
            const Result<QString> claimed = server_schema::claim_run(
                *connection_, server_schema::RunOrigin{station_, databaseFile_, run.table},
                run.facts);
            if (!claimed.ok()) {
                return failed(claimed.status());
            }
            lock.lock();
            runs_[index].serverName = *claimed;
            return Step::Done;
        }
        if (!run.countsKnown) {
            return ask_counts(index, run);
        }
        if (run.mirrored < run.committed) {
            return copy_rows(index, run);
        }
        if (run.marksMirrored < run.marks.size() || run.gapsMirrored < run.gaps.size()) {
            return insert_events(index, run);
        }
        if (run.ended) {
            return finish(index, run);
        }
        return Step::Idle;
    }

    Step failed(const Status &status)
    {
        set_problem(status.message());
        if (connection_->is_open()) {
            connection_->exec(QStringLiteral("ROLLBACK"));
        }
        return Step::Failed;
    }

    Step ask_counts(size_t index, const Run &run)
    {
        const Result<run_upload::ServerCounts> counts =
            run_upload::counts(*connection_, run.serverName);
        if (!counts.ok()) {
            return failed(counts.status());
        }
        std::lock_guard lock(mutex_);
        Run &updated = runs_[index];
        updated.mirrored = counts->rows;
        updated.marksMirrored = counts->marks;
        updated.gapsMirrored = counts->gaps;
        updated.countsKnown = true;
        progress_.notify_all();
        return Step::Done;
    }

    Step copy_rows(size_t index, const Run &run)
    {
        if (const Status opened = open_database(); !opened.ok()) {
            set_problem(opened.message());
            return Step::Idle;
        }
        const Result<qint64> copied = run_upload::copy_rows(
            *connection_, database_.get(), run.table, run.serverName, run.mirrored,
            std::min(run.committed - run.mirrored, rowsPerCopy));
        if (copied.status().is(Status::Kind::ReadFailed) ||
            copied.status().is(Status::Kind::NotFound)) {
            // The table says more when it can be read; until then the mirror waits.
            set_problem(copied.status().message());
            return Step::Idle;
        }
        if (!copied.ok()) {
            return failed(copied.status());
        }
        std::lock_guard lock(mutex_);
        runs_[index].mirrored = *copied;
        progress_.notify_all();
        return Step::Done;
    }

    Step insert_events(size_t index, const Run &run)
    {
        if (const Status inserted =
                run_upload::insert_events(*connection_, run.serverName, run.marks,
                                          run.marksMirrored, run.gaps, run.gapsMirrored);
            !inserted.ok()) {
            return failed(inserted);
        }
        std::lock_guard lock(mutex_);
        runs_[index].marksMirrored = run.marks.size();
        runs_[index].gapsMirrored = run.gaps.size();
        return Step::Done;
    }

    // The run is over and its rows are on the server: its envelope and final facts follow,
    // in one transaction with the catalogue's "complete".
    Step finish(size_t index, const Run &run)
    {
        if (const Status opened = open_database(); !opened.ok()) {
            set_problem(opened.message());
            return Step::Idle;
        }
        if (const Status finished = run_upload::finish(*connection_, database_.get(), run.table,
                                                       run.serverName, run.facts, run.mirrored);
            !finished.ok()) {
            return failed(finished);
        }
        write_log(QStringLiteral("PostgreSQL: the run %1 is on %2 as %3 (%4 rows)")
                      .arg(run.table, target_.shown(), run.serverName)
                      .arg(run.mirrored));
        std::lock_guard lock(mutex_);
        Run &done = runs_[index];
        done.complete = true;
        // A complete run keeps only its counts: a chain may go on for weeks.
        done.marks.clear();
        done.gaps.clear();
        progress_.notify_all();
        return Step::Done;
    }

    Status open_database()
    {
        if (database_) {
            return Status::success();
        }
        Result<sqlite_connection::Handle> opened = sqlite_connection::open(databaseFile_, true);
        if (!opened.ok()) {
            return opened.status();
        }
        database_ = std::move(opened.value());
        return Status::success();
    }

    void set_problem(const QString &problem)
    {
        std::lock_guard lock(mutex_);
        problem_ = problem;
    }

    const MirrorTarget target_;
    const QString databaseFile_;
    const QString station_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;             // new work or quit_; with mutex_
    mutable std::condition_variable progress_; // more on the server; with mutex_
    bool quit_ = false;                        // guarded by mutex_
    bool pending_ = false;                     // a sink call since the last look; guarded by mutex_
    std::deque<Run> runs_;                     // guarded by mutex_
    QString problem_;                          // guarded by mutex_
    std::atomic<Link> link_{Link::Connecting};

    // The mirror thread's own.
    std::unique_ptr<PgConnection> connection_;
    sqlite_connection::Handle database_;
    bool refused_ = false; // the server's layout is newer: never written into
};

RunMirror::RunMirror(MirrorTarget target, QString databaseFile, QString station)
    : worker_(
          std::make_unique<Worker>(std::move(target), std::move(databaseFile), std::move(station)))
{}

RunMirror::~RunMirror() = default;

const MirrorTarget &RunMirror::target() const
{
    return worker_->target();
}

RunMirror::Link RunMirror::link() const
{
    return worker_->link();
}

QString RunMirror::last_problem() const
{
    return worker_->last_problem();
}

qint64 RunMirror::backlog_rows() const
{
    return worker_->backlog_rows();
}

QList<RunMirror::RunProgress> RunMirror::runs() const
{
    return worker_->runs();
}

bool RunMirror::wait_mirrored(std::chrono::milliseconds limit) const
{
    return worker_->wait_mirrored(limit);
}

Status RunMirror::run_started(const QString &table, const RunSettings &, const RunFacts &facts)
{
    worker_->start_run(table, facts);
    return Status::success();
}

Status RunMirror::take_batch(const SampleBatch &batch)
{
    worker_->committed(batch.end_row());
    return Status::success();
}

Status RunMirror::rows_missed(qint64 firstRow, qint64 count)
{
    // They are in the run table: the mirror reads them from there anyway.
    worker_->committed(firstRow + count);
    return Status::success();
}

Status RunMirror::mark_added(const RunMark &mark)
{
    worker_->note_mark(mark);
    return Status::success();
}

Status RunMirror::gap_found(const RunGap &gap)
{
    worker_->note_gap(gap);
    return Status::success();
}

Status RunMirror::run_ended(const RunFacts &facts, const RunReport &)
{
    worker_->end_run(facts);
    return Status::success();
}
