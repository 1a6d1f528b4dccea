#pragma once

#include "runchronicle.h"
#include "runreport.h"
#include "runsettings.h"
#include "status.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <vector>

class DataProcess;
class DataQueues;
class DataSaveDisplay;
class QTimer;
class SampleDatabase;
class RunSink;
class RunTableSink;
class SerialManager;
class SinkFanout;

// One run on the instrument, the same for the window and the headless recorder: the run
// table, the frame reader, the decoding and save threads, the start, pause, continue and stop
// packets. The run ends on the instrument's end frame, on a stop the instrument does not
// confirm within stopConfirmLimit, on a lost port, or when the owner ends it at once; in
// every case the frames that arrived are decoded and the decoded samples stored before
// finished() is emitted. Only end_now() waits for that: otherwise the threads report their
// end through signals, and the run stays Stopping meanwhile, so the owner's thread never
// waits for them. A run still going stopConfirmLimit after its collection time (time
// spent paused does not count) is stopped as if the operator had asked, and so is a run
// whose samples stop reaching the table (a full disk, a read-only or locked file).
// The rows and events go to the run's table (RunTableSink) and to the sinks added to it (see
// RunSink): a sink that throws, fails or stalls does not stop or slow the run.
// Lives in the thread of the serial manager (the GUI or main thread).
class RunSession : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Running, Paused, Stopping, Ended };
    using Outcome = RunOutcome;
    static constexpr std::chrono::milliseconds stopConfirmLimit{5000};

    RunSession(SerialManager *serial, DataQueues *queues, SampleDatabase *database,
               QObject *parent = nullptr);
    // A run still going is ended at once (end_now).
    ~RunSession() override;
    RunSession(const RunSession &) = delete;
    RunSession &operator=(const RunSession &) = delete;

    // Feeds `sink` from the next create_table on; it must outlive this session.
    void add_sink(RunSink *sink);
    // The first failure of an added sink in the current or last run; ok while it had none.
    Status sink_status(const RunSink *sink) const;

    // Creates the table of a run started at startTime, under a name no other run has; why not
    // (and nothing else changes) when it could not be created. Then begin() starts the run,
    // after the owner has prepared for its samples.
    Status create_table(const QDateTime &startTime, const RunSettings &settings);
    void begin();

    void pause();
    void resume();
    // Sends the stop packet (once); the run ends on the end frame or after stopConfirmLimit.
    // The first cause asked while the run is active is kept in its report.
    void request_stop(RunReport::StopCause cause = RunReport::StopCause::Operator);
    // Sends the stop packet and ends the run without waiting for the instrument; finished()
    // follows once the threads have stored what arrived. Nothing for a run already ending.
    void end_soon();
    // As end_soon, but waits for the threads here (also for a run already ending).
    void end_now();
    // Ends the run now on a port that went away (also heard from the serial manager itself).
    void port_lost();

    // What the instrument last said of itself, kept in the facts of the next run.
    void set_instrument_status(const StatusReply &status)
    {
        chronicle_.set_instrument_status(status);
    }
    // Marks the run now, at its running time (time paused not counted, as the rows' times);
    // false when no run is active or the mark could not be stored.
    bool add_mark(const QString &text);
    // Marks the run at a time the owner chose (the latest sample the window shows).
    bool add_mark_at(double time, const QString &text);
    // The facts of the current or last run (see RunFacts).
    const RunFacts &facts() const { return chronicle_.facts(); }
    // The gaps of the current or last run recorded so far (see RunGap); drops are collected
    // every dropCollectInterval.
    const QList<RunGap> &gaps() const { return chronicle_.gaps(); }
    static constexpr std::chrono::milliseconds dropCollectInterval{1000};

    State state() const { return state_; }
    bool is_active() const
    {
        return state_ == State::Running || state_ == State::Paused || state_ == State::Stopping;
    }
    Outcome outcome() const { return outcome_; }
    QString table() const { return table_; }
    const RunSettings &settings() const { return settings_; }
    // Samples taken for storage in this run, and of those the rows committed to the table;
    // current during the run, final after it. After a storage failure the final figure is
    // what the table holds at the end.
    qint64 taken_count() const;
    qint64 committed_count() const;
    // Frames and samples a full queue had no room for during this run.
    quint64 dropped_count() const;
    // Milliseconds since begin(); frozen at the end of the run.
    qint64 elapsed_ms() const;
    // Milliseconds of running time so far (time paused not counted); frozen at the stop.
    qint64 running_ms() const;
    // True when the run was stopped because it went on stopConfirmLimit past its
    // collection time.
    bool overran() const { return overran_; }
    // Why samples did not reach the table, as SQLite put it; empty while they all did.
    QString storage_error() const { return storageError_; }
    // True when the run's table was gone from the database at the end of the run (dropped by
    // something else): none of its rows are kept.
    bool table_lost() const { return tableLost_; }
    // How the last run ended (see RunVerdict); final once finished() is emitted.
    const RunReport &report() const { return report_; }

signals:
    // The run is over, its threads are gone and its counts final.
    void finished(RunSession::Outcome outcome);

private:
    void end_frame_decoded();
    void collection_overrun();
    void stop_unconfirmed();
    void storing_failed(const QString &reason);
    void arm_overrun_deadline();
    // Detaches the reader and asks the decoding thread to decode what is queued; the run
    // ends when both threads have (decoding_ended, saving_ended). Once only per run.
    void tear_down(Outcome outcome);
    // The decoding thread is gone: the save thread is asked to store what is queued.
    void decoding_ended();
    void saving_ended();
    // Waits for what tear_down asked of the threads.
    void finish_ending_now();
    // Takes the final counts, logs the run's duration and emits finished().
    void complete_end();
    // The verdict on the run that just ended, from its final figures (see RunVerdict).
    RunReport make_report() const;

    SerialManager *const serial_;
    DataQueues *const queues_;
    SampleDatabase *const database_;
    QList<RunSink *> sinks_; // not owned
    // The current or last run's table and sinks; replaced by the next create_table.
    std::unique_ptr<RunTableSink> store_;
    std::unique_ptr<SinkFanout> fanout_;
    // Earlier runs' sinks, kept until this session goes so that a follower still busy
    // with its last calls never holds up the next run.
    std::vector<std::unique_ptr<SinkFanout>> retiredFanouts_;
    std::unique_ptr<DataProcess> decoder_;
    std::unique_ptr<DataSaveDisplay> saver_;
    QTimer *overrunTimer_ = nullptr; // collection time + stopConfirmLimit of running time
    QTimer *stopTimer_ = nullptr;    // stopConfirmLimit after the stop packet
    QTimer *drainTimer_ = nullptr;   // queuedFramesLimit for decoding what was queued
    QTimer *dropTimer_ = nullptr;    // collects the queues' drops as gaps while running
    QElapsedTimer runClock_;
    QElapsedTimer runningSince_; // running (not paused) stretch under way
    qint64 runningMsBefore_ = 0; // running time of the earlier stretches
    qint64 finalElapsedMs_ = 0;
    qint64 portLostAtMs_ = 0; // running time when the port was found gone
    quint64 droppedAtBegin_ = 0;
    quint64 droppedAtEnd_ = 0;
    qint64 takenCount_ = 0;
    qint64 committedCount_ = 0;
    RunSettings settings_;
    QString table_;
    State state_ = State::Idle;
    Outcome outcome_ = Outcome::None;
    Outcome endingOutcome_ = Outcome::None;
    bool stopAsked_ = false; // the run was stopping on request when it ended
    bool ending_ = false;    // between tear_down and complete_end
    bool overran_ = false;
    bool tableLost_ = false;
    QString storageError_;
    RunReport::StopCause stopBy_ = RunReport::StopCause::None;
    RunReport report_;
    RunChronicle chronicle_;
};
