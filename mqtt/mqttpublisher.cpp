#include "mqttpublisher.h"

#include "logmanager.h"
#include "mosquittoclient.h"
#include "runfacts.h"
#include "runmessages.h"
#include "runreader.h"
#include "runsidecar.h"
#include "sqliteconnection.h"

#include <mosquitto.h>

#include <QStringList>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Rows per samples message: about 20 kB for one channel, 130 kB for sixteen.
constexpr qint64 rowsPerMessage = 1000;
// Row messages sent but not yet acknowledged; below the brokers' usual in-flight limit (20).
constexpr int messagesInFlight = 10;
constexpr int keepAliveSeconds = 10;
constexpr auto loopWait = 50ms;
constexpr auto retryWaitFirst = 250ms;
constexpr auto retryWaitLongest = 5s;
// How long the publisher tries to say "offline" when it goes.
constexpr auto goodbyeLimit = 1s;

const QByteArray online = QByteArrayLiteral("online");
const QByteArray offline = QByteArrayLiteral("offline");

} // namespace

// The publisher's thread: the broker connection (one libmosquitto client, used here only) and
// the run-table reads (one read-only SQLite connection, used here only). What the run's
// follower thread hands over goes through mutex_.
class MqttPublisher::Worker
{
public:
    Worker(BrokerSettings settings, QString databaseFile)
        : settings_(std::move(settings))
        , databaseFile_(std::move(databaseFile))
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

    // A message other than rows, sent once the run's rows before it are sent.
    struct Note
    {
        QString topic;
        QByteArray payload;
        bool retain = false;
        qint64 afterRow = 0; // sent once the rows before this one are
        bool sent = false;
        bool acked = false;
    };

    // One followed run. Guarded by mutex_.
    struct Run
    {
        QString table;
        qint64 committed = 0; // rows the table holds
        qint64 acked = 0;     // rows the broker acknowledged, from the first on
        qint64 sent = 0;      // rows handed to the broker in this connection
        bool ended = false;
        QStringList columns;
        std::deque<Note> notes;
        // Row messages in flight, in order: [first, end) and whether acknowledged.
        struct Flight
        {
            qint64 first = 0;
            qint64 end = 0;
            bool acked = false;
        };
        std::deque<Flight> flights;

        bool done() const
        {
            return ended && acked >= committed &&
                   std::all_of(notes.begin(), notes.end(), [](const Note &n) { return n.acked; });
        }
    };

    // Called on the run's follower thread.
    void start_run(const QString &table, const QJsonObject &facts)
    {
        {
            std::lock_guard lock(mutex_);
            Run run;
            run.table = table;
            run.notes.push_back(Note{settings_.address.run_topic(),
                                     run_messages::run_facts(table, facts), true, 0});
            runs_.push_back(std::move(run));
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
        }
        wake_.notify_all();
    }

    void note_mark(const RunMark &mark)
    {
        std::lock_guard lock(mutex_);
        if (!runs_.empty()) {
            Run &run = runs_.back();
            run.notes.push_back(Note{settings_.address.marks_topic(),
                                     run_messages::mark(run.table, mark), false, run.committed});
        }
    }

    void note_gap(const RunGap &gap)
    {
        std::lock_guard lock(mutex_);
        if (!runs_.empty()) {
            Run &run = runs_.back();
            run.notes.push_back(Note{settings_.address.gaps_topic(),
                                     run_messages::gap(run.table, gap), false, run.committed});
        }
    }

    void end_run(qint64 committedRows, const QJsonObject &facts)
    {
        {
            std::lock_guard lock(mutex_);
            if (runs_.empty()) {
                return;
            }
            Run &run = runs_.back();
            run.committed = std::max(run.committed, committedRows);
            run.notes.push_back(Note{settings_.address.run_topic(),
                                     run_messages::run_facts(run.table, facts), true,
                                     run.committed});
            run.ended = true;
        }
        wake_.notify_all();
    }

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
            rows += std::max<qint64>(run.committed - run.acked, 0);
        }
        return rows;
    }

    QList<RunProgress> runs() const
    {
        std::lock_guard lock(mutex_);
        QList<RunProgress> list;
        for (const Run &run : runs_) {
            list.append(RunProgress{run.table, run.committed, run.acked, run.ended});
        }
        return list;
    }

    bool wait_published(std::chrono::milliseconds limit) const
    {
        std::unique_lock lock(mutex_);
        return progress_.wait_for(lock, limit, [this] {
            return std::all_of(runs_.begin(), runs_.end(), [](const Run &r) { return r.done(); });
        });
    }

    const BrokerSettings &settings() const { return settings_; }

private:
    void run()
    {
        auto retryWait = std::chrono::milliseconds(retryWaitFirst);
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (quit_) {
                    break;
                }
            }
            if (!client_ && !connect()) {
                wait_before_retry(retryWait);
                retryWait = std::min<std::chrono::milliseconds>(retryWait * 2, retryWaitLongest);
                continue;
            }
            const int rc = mosquitto_loop(client_->handle(), int(loopWait.count()), 1);
            if (rc != MOSQ_ERR_SUCCESS || refused_) {
                lost(rc);
                wait_before_retry(retryWait);
                retryWait = std::min<std::chrono::milliseconds>(retryWait * 2, retryWaitLongest);
                continue;
            }
            if (connected_) {
                retryWait = retryWaitFirst;
                // mosquitto_loop waited on the socket for up to loopWait: new rows go out
                // within that of their commit.
                pump();
            }
        }
        say_goodbye();
    }

    bool connect()
    {
        client_ = std::make_unique<MosquittoClient>(QStringLiteral("telvane-pub"), this);
        if (const Status configured =
                client_->configure(settings_, settings_.address.state_topic(), offline);
            !configured.ok()) {
            set_problem(configured.message());
            client_.reset();
            return false;
        }
        mosquitto *client = client_->handle();
        mosquitto_connect_callback_set(client, [](mosquitto *, void *self, int rc) {
            static_cast<Worker *>(self)->connected(rc);
        });
        mosquitto_publish_callback_set(client, [](mosquitto *, void *self, int mid) {
            static_cast<Worker *>(self)->acknowledged(mid);
        });
        connected_ = false;
        refused_ = false;
        const QByteArray host = settings_.address.host.toUtf8();
        const int rc = mosquitto_connect_async(client, host.constData(), settings_.address.port,
                                               keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) {
            set_problem(MosquittoClient::error_text(rc));
            client_.reset();
            return false;
        }
        return true;
    }

    // libmosquitto's callback, on this thread (inside mosquitto_loop).
    void connected(int rc)
    {
        if (rc != 0) {
            refused_ = true;
            set_problem(QStringLiteral("the broker refused the connection: %1")
                            .arg(MosquittoClient::refusal_text(rc)));
            return;
        }
        connected_ = true;
        link_ = Link::Online;
        write_log(QStringLiteral("MQTT: publishing to %1").arg(settings_.address.shown()));
        {
            std::lock_guard lock(mutex_);
            problem_.clear();
        }
        const QByteArray topic = settings_.address.state_topic().toUtf8();
        mosquitto_publish(client_->handle(), nullptr, topic.constData(), int(online.size()),
                          online.constData(), 1, true);
    }

    // libmosquitto's callback, on this thread.
    void acknowledged(int mid)
    {
        if (mid == goodbyeMid_) {
            goodbyeAcked_ = true;
            return;
        }
        const auto found = inFlight_.find(mid);
        if (found == inFlight_.end()) {
            return;
        }
        const Sent sent = found->second;
        inFlight_.erase(found);
        {
            std::lock_guard lock(mutex_);
            Run &run = runs_[sent.run];
            if (sent.note >= 0) {
                run.notes[size_t(sent.note)].acked = true;
            } else {
                for (Run::Flight &flight : run.flights) {
                    if (flight.first == sent.first) {
                        flight.acked = true;
                    }
                }
                while (!run.flights.empty() && run.flights.front().acked) {
                    run.acked = std::max(run.acked, run.flights.front().end);
                    run.flights.pop_front();
                }
                --rowMessagesInFlight_;
            }
            if (run.done()) {
                // A finished run keeps only its counts: a chain may go on for weeks.
                run.notes.clear();
                run.columns.clear();
            }
        }
        progress_.notify_all();
    }

    void lost(int rc)
    {
        if (!refused_) {
            set_problem(!connected_              ? QStringLiteral("the broker cannot be reached")
                        : rc == MOSQ_ERR_SUCCESS ? QStringLiteral("the connection was lost")
                                                 : MosquittoClient::error_text(rc));
        }
        if (connected_) {
            write_log(
                QStringLiteral("MQTT: lost the broker %1 (%2); the rows wait in the run table")
                    .arg(settings_.address.shown(), last_problem()));
        }
        client_.reset();
        connected_ = false;
        link_ = Link::Offline;
        inFlight_.clear();
        rowMessagesInFlight_ = 0;
        // What was not acknowledged goes again on the next connection; a reader drops the
        // rows it already has by their ids.
        std::lock_guard lock(mutex_);
        for (Run &run : runs_) {
            run.sent = run.acked;
            run.flights.clear();
            for (Note &n : run.notes) {
                n.sent = n.acked;
            }
        }
    }

    // Sends what is due, in order: run by run, a run's notes once the rows before them are
    // sent, and rows while fewer than messagesInFlight row messages await their answer.
    void pump()
    {
        for (;;) {
            std::unique_lock lock(mutex_);
            int runIndex = -1;
            for (size_t i = 0; i < runs_.size(); ++i) {
                const Run &run = runs_[i];
                const bool allSent =
                    run.sent >= run.committed && std::all_of(run.notes.begin(), run.notes.end(),
                                                             [](const Note &n) { return n.sent; });
                if (!allSent || !run.ended) {
                    runIndex = int(i);
                    break;
                }
            }
            if (runIndex < 0) {
                return;
            }
            Run &run = runs_[size_t(runIndex)];
            // A note due before more rows.
            int noteIndex = -1;
            for (size_t n = 0; n < run.notes.size(); ++n) {
                if (!run.notes[n].sent && run.notes[n].afterRow <= run.sent) {
                    noteIndex = int(n);
                    break;
                }
            }
            if (noteIndex >= 0) {
                Note &n = run.notes[size_t(noteIndex)];
                const QByteArray topic = n.topic.toUtf8();
                const QByteArray payload = n.payload;
                const bool retain = n.retain;
                n.sent = true;
                lock.unlock();
                int mid = 0;
                const int rc =
                    mosquitto_publish(client_->handle(), &mid, topic.constData(),
                                      int(payload.size()), payload.constData(), 1, retain);
                if (rc != MOSQ_ERR_SUCCESS) {
                    return; // the loop finds the connection gone
                }
                inFlight_[mid] = Sent{size_t(runIndex), noteIndex, 0};
                continue;
            }
            if (run.sent >= run.committed || rowMessagesInFlight_ >= messagesInFlight) {
                return;
            }
            const QString table = run.table;
            const qint64 first = run.sent;
            const qint64 count = std::min(run.committed - first, rowsPerMessage);
            const bool needColumns = run.columns.isEmpty();
            lock.unlock();

            QStringList columns;
            const Result<SampleBatch> rows = read_rows(table, first, count, &columns);
            if (!rows.ok() || rows->is_empty()) {
                set_problem(rows.ok() ? QStringLiteral("rows %1 on are not in the table %2")
                                            .arg(first + 1)
                                            .arg(table)
                                      : rows.status().message());
                return;
            }
            lock.lock();
            if (needColumns) {
                runs_[size_t(runIndex)].columns = columns;
            }
            const QStringList runColumns = runs_[size_t(runIndex)].columns;
            lock.unlock();
            const QByteArray payload = run_messages::samples(table, runColumns, *rows);
            const QByteArray topic = settings_.address.samples_topic().toUtf8();
            int mid = 0;
            const int rc = mosquitto_publish(client_->handle(), &mid, topic.constData(),
                                             int(payload.size()), payload.constData(), 1, false);
            if (rc != MOSQ_ERR_SUCCESS) {
                return;
            }
            lock.lock();
            Run &sentRun = runs_[size_t(runIndex)];
            sentRun.sent = rows->end_row();
            sentRun.flights.push_back(Run::Flight{first, rows->end_row(), false});
            ++rowMessagesInFlight_;
            inFlight_[mid] = Sent{size_t(runIndex), -1, first};
        }
    }

    Result<SampleBatch> read_rows(const QString &table, qint64 first, qint64 count,
                                  QStringList *columns)
    {
        if (!database_) {
            Result<sqlite_connection::Handle> opened = sqlite_connection::open(databaseFile_, true);
            if (!opened.ok()) {
                return opened.status();
            }
            database_ = std::move(opened.value());
        }
        return run_reader::read_rows(database_.get(), table, first, count, columns);
    }

    void wait_before_retry(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, wait, [this] { return quit_; });
    }

    void say_goodbye()
    {
        if (!client_ || !connected_) {
            return;
        }
        const QByteArray topic = settings_.address.state_topic().toUtf8();
        int mid = 0;
        if (mosquitto_publish(client_->handle(), &mid, topic.constData(), int(offline.size()),
                              offline.constData(), 1, true) == MOSQ_ERR_SUCCESS) {
            goodbyeMid_ = mid;
            const auto deadline = std::chrono::steady_clock::now() + goodbyeLimit;
            while (!goodbyeAcked_ && std::chrono::steady_clock::now() < deadline &&
                   mosquitto_loop(client_->handle(), 20, 1) == MOSQ_ERR_SUCCESS) {
            }
        }
        mosquitto_disconnect(client_->handle());
        client_.reset();
    }

    void set_problem(const QString &problem)
    {
        {
            std::lock_guard lock(mutex_);
            problem_ = problem;
        }
        if (link_ != Link::Online) {
            link_ = Link::Offline;
        }
    }

    struct Sent
    {
        size_t run = 0;
        int note = -1;    // the note's index, or -1 for rows
        qint64 first = 0; // rows: the first row of the message
    };

    const BrokerSettings settings_;
    const QString databaseFile_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;             // new work or quit_; with mutex_
    mutable std::condition_variable progress_; // an acknowledgement; with mutex_
    bool quit_ = false;                        // guarded by mutex_
    std::deque<Run> runs_;                     // guarded by mutex_
    QString problem_;                          // guarded by mutex_
    std::atomic<Link> link_{Link::Connecting};

    // The publisher thread's own.
    std::unique_ptr<MosquittoClient> client_;
    sqlite_connection::Handle database_;
    bool connected_ = false;
    bool refused_ = false;
    std::map<int, Sent> inFlight_; // by message id
    int rowMessagesInFlight_ = 0;
    int goodbyeMid_ = -1; // the "offline" message sent on the way out
    bool goodbyeAcked_ = false;
};

MqttPublisher::MqttPublisher(BrokerSettings settings, QString databaseFile)
    : worker_(std::make_unique<Worker>(std::move(settings), std::move(databaseFile)))
{}

MqttPublisher::~MqttPublisher() = default;

const BrokerSettings &MqttPublisher::settings() const
{
    return worker_->settings();
}

MqttPublisher::Link MqttPublisher::link() const
{
    return worker_->link();
}

QString MqttPublisher::last_problem() const
{
    return worker_->last_problem();
}

qint64 MqttPublisher::backlog_rows() const
{
    return worker_->backlog_rows();
}

QList<MqttPublisher::RunProgress> MqttPublisher::runs() const
{
    return worker_->runs();
}

bool MqttPublisher::wait_published(std::chrono::milliseconds limit) const
{
    return worker_->wait_published(limit);
}

Status MqttPublisher::run_started(const QString &table, const RunSettings &, const RunFacts &facts)
{
    worker_->start_run(table, run_sidecar::facts_object(facts));
    return Status::success();
}

Status MqttPublisher::take_batch(const SampleBatch &batch)
{
    worker_->committed(batch.end_row());
    return Status::success();
}

Status MqttPublisher::rows_missed(qint64 firstRow, qint64 count)
{
    // They are in the run table: the publisher reads them from there anyway.
    worker_->committed(firstRow + count);
    return Status::success();
}

Status MqttPublisher::mark_added(const RunMark &mark)
{
    worker_->note_mark(mark);
    return Status::success();
}

Status MqttPublisher::gap_found(const RunGap &gap)
{
    worker_->note_gap(gap);
    return Status::success();
}

Status MqttPublisher::run_ended(const RunFacts &facts, const RunReport &)
{
    worker_->end_run(facts.committedRows, run_sidecar::facts_object(facts));
    return Status::success();
}
