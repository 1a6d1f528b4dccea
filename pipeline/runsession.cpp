#include "runsession.h"

#include "dataprocess.h"
#include "dataqueues.h"
#include "datasavedisplay.h"
#include "framedecoder.h"
#include "logmanager.h"
#include "protocol.h"
#include "runtablesink.h"
#include "runverdict.h"
#include "sampledatabase.h"
#include "serialmanager.h"
#include "sinkfanout.h"

#include <QThread>
#include <QTimer>

#include <algorithm>

RunSession::RunSession(SerialManager *serial, DataQueues *queues, SampleDatabase *database,
                       QObject *parent)
    : QObject(parent)
    , serial_(serial)
    , queues_(queues)
    , database_(database)
    , overrunTimer_(new QTimer(this))
    , stopTimer_(new QTimer(this))
    , drainTimer_(new QTimer(this))
    , dropTimer_(new QTimer(this))
{
    overrunTimer_->setSingleShot(true);
    connect(overrunTimer_, &QTimer::timeout, this, &RunSession::collection_overrun);
    stopTimer_->setSingleShot(true);
    stopTimer_->setInterval(stopConfirmLimit);
    connect(stopTimer_, &QTimer::timeout, this, &RunSession::stop_unconfirmed);
    drainTimer_->setSingleShot(true);
    drainTimer_->setInterval(DataProcess::queuedFramesLimit);
    // Frames still queued after the limit are left: the end of a run must not hang on them.
    connect(drainTimer_, &QTimer::timeout, this, [this] {
        if (decoder_) {
            decoder_->abandon_queued();
        }
    });
    connect(serial_, &SerialManager::port_error, this, &RunSession::port_lost);
    dropTimer_->setInterval(dropCollectInterval);
    connect(dropTimer_, &QTimer::timeout, this,
            [this] { chronicle_.collect_drops(*queues_, false); });
}

RunSession::~RunSession()
{
    if (is_active()) {
        // The owner is going away: nobody is left to hear about the end.
        blockSignals(true);
        end_now();
    }
}

Status RunSession::create_table(const QDateTime &startTime, const RunSettings &settings)
{
    if (is_active()) {
        return Status::busy(QStringLiteral("a run is under way"));
    }
    const Result<QString> table = database_->create_run_table(startTime, settings.singleChannel);
    if (!table.ok()) {
        return table.status();
    }
    table_ = table.value();
    settings_ = settings;
    store_ = std::make_unique<RunTableSink>(database_, table_);
    // Followers done with earlier runs are let go; one still busy is kept, not waited for.
    retiredFanouts_.erase(std::remove_if(retiredFanouts_.begin(), retiredFanouts_.end(),
                                         [](const std::unique_ptr<SinkFanout> &fanout) {
                                             return fanout->wait_closed(
                                                 std::chrono::milliseconds(0));
                                         }),
                          retiredFanouts_.end());
    if (fanout_) {
        fanout_->close(); // a table made for a run that never began
        retiredFanouts_.push_back(std::move(fanout_));
    }
    fanout_ = std::make_unique<SinkFanout>(sinks_);
    chronicle_.started(database_, store_.get(), fanout_.get(), startTime, settings_);
    return Status::success();
}

void RunSession::add_sink(RunSink *sink)
{
    sinks_.append(sink);
}

Status RunSession::sink_status(const RunSink *sink) const
{
    return fanout_ ? fanout_->status_of(sink) : Status::success();
}

void RunSession::begin()
{
    if (is_active() || table_.isEmpty()) {
        return;
    }
    write_log(QStringLiteral("开始采集,速度=") + QString::number(settings_.rate) +
              QStringLiteral(",时间=") + QString::number(settings_.seconds));
    outcome_ = Outcome::None;
    overran_ = false;
    tableLost_ = false;
    storageError_.clear();
    stopBy_ = RunReport::StopCause::None;
    report_ = RunReport();
    takenCount_ = 0;
    committedCount_ = 0;
    droppedAtBegin_ = queues_->dropped_frames() + queues_->dropped_records();
    chronicle_.begun(*queues_);
    serial_->set_reading(true);
    decoder_ = std::make_unique<DataProcess>(settings_.singleChannel, settings_.rate, queues_,
                                             fanout_.get());
    // Emitted on the decoding thread; the run is ended here, in this object's thread.
    connect(decoder_.get(), &DataProcess::stop_sample_data, this, &RunSession::end_frame_decoded,
            Qt::QueuedConnection);
    saver_ = std::make_unique<DataSaveDisplay>(queues_, store_.get());
    saver_->set_followers(fanout_.get());
    connect(saver_.get(), &DataSaveDisplay::storing_failed, this, &RunSession::storing_failed,
            Qt::QueuedConnection);
    serial_->write_data(start_command(settings_));
    runClock_.start();
    runningSince_.start();
    runningMsBefore_ = 0;
    state_ = State::Running;
    arm_overrun_deadline();
    dropTimer_->start();
    decoder_->start(QThread::HighPriority);
    saver_->start(QThread::HighPriority);
}

void RunSession::pause()
{
    if (!is_active() || ending_) {
        return;
    }
    write_log(QStringLiteral("暂停采集"));
    serial_->write_data(pause_command());
    // What has been decoded so far is browsed from the table while paused.
    saver_->commit_pending();
    if (state_ == State::Running) {
        runningMsBefore_ += runningSince_.elapsed();
        overrunTimer_->stop();
        state_ = State::Paused;
        chronicle_.paused(double(runningMsBefore_) / 1000.0);
    }
}

void RunSession::resume()
{
    if (!is_active() || ending_) {
        return;
    }
    write_log(QStringLiteral("继续采集"));
    serial_->write_data(continue_command());
    if (state_ == State::Paused) {
        runningSince_.start();
        state_ = State::Running;
        arm_overrun_deadline();
        chronicle_.resumed();
    }
}

void RunSession::request_stop(RunReport::StopCause cause)
{
    if (is_active() && stopBy_ == RunReport::StopCause::None) {
        stopBy_ = cause;
    }
    if (state_ != State::Running && state_ != State::Paused) {
        return;
    }
    write_log(QStringLiteral("停止采集"));
    serial_->write_data(stop_command());
    overrunTimer_->stop();
    if (state_ == State::Running) {
        runningMsBefore_ += runningSince_.elapsed(); // a mark while stopping is at the stop
    }
    state_ = State::Stopping;
    stopTimer_->start();
}

void RunSession::end_soon()
{
    if (!is_active() || ending_) {
        return;
    }
    serial_->write_data(stop_command());
    tear_down(Outcome::EndedByOwner);
}

void RunSession::end_now()
{
    end_soon();
    finish_ending_now();
}

bool RunSession::add_mark(const QString &text)
{
    if (!is_active()) {
        return false;
    }
    return add_mark_at(double(running_ms()) / 1000.0, text);
}

qint64 RunSession::running_ms() const
{
    return runningMsBefore_ + (state_ == State::Running ? runningSince_.elapsed() : 0);
}

bool RunSession::add_mark_at(double time, const QString &text)
{
    return is_active() && chronicle_.add_mark({time, text});
}

qint64 RunSession::taken_count() const
{
    return saver_ ? saver_->taken_count() : takenCount_;
}

qint64 RunSession::committed_count() const
{
    return saver_ ? saver_->committed_count() : committedCount_;
}

quint64 RunSession::dropped_count() const
{
    const quint64 now =
        is_active() ? queues_->dropped_frames() + queues_->dropped_records() : droppedAtEnd_;
    return now - droppedAtBegin_;
}

qint64 RunSession::elapsed_ms() const
{
    return is_active() ? runClock_.elapsed() : finalElapsedMs_;
}

void RunSession::end_frame_decoded()
{
    if (is_active()) {
        tear_down(Outcome::Completed);
    }
}

void RunSession::port_lost()
{
    if (is_active() && !ending_) {
        portLostAtMs_ = running_ms();
        tear_down(Outcome::PortLost);
    }
}

void RunSession::collection_overrun()
{
    if (state_ != State::Running) {
        return;
    }
    // The collection time is over and no end frame came: ask for it as the operator would.
    write_log(QStringLiteral("超过采集时间"));
    overran_ = true;
    request_stop(RunReport::StopCause::Overrun);
}

void RunSession::stop_unconfirmed()
{
    if (state_ == State::Stopping) {
        write_log(QStringLiteral("下位机未确认停止"));
        tear_down(Outcome::StopUnconfirmed);
    }
}

void RunSession::storing_failed(const QString &reason)
{
    if (!is_active() || !storageError_.isEmpty()) {
        return;
    }
    // Frames that cannot be kept are not worth asking for.
    storageError_ = reason;
    request_stop(RunReport::StopCause::StorageFailure);
}

void RunSession::arm_overrun_deadline()
{
    const qint64 limitMs = qint64(settings_.seconds) * 1000 + stopConfirmLimit.count();
    overrunTimer_->start(int(std::max<qint64>(0, limitMs - runningMsBefore_)));
}

void RunSession::tear_down(Outcome outcome)
{
    if (ending_) {
        return;
    }
    ending_ = true;
    endingOutcome_ = outcome;
    stopAsked_ = state_ == State::Stopping; // the operator's stop, not the instrument's end
    if (state_ == State::Running) {
        runningMsBefore_ += runningSince_.elapsed();
    }
    state_ = State::Stopping;
    overrunTimer_->stop();
    stopTimer_->stop();
    write_log(QStringLiteral("采集停止"));
    serial_->set_reading(false);
    disconnect(decoder_.get(), nullptr, this, nullptr);
    disconnect(saver_.get(), nullptr, this, nullptr);
    connect(decoder_.get(), &QThread::finished, this, &RunSession::decoding_ended);
    connect(saver_.get(), &QThread::finished, this, &RunSession::saving_ended);
    // Frames that arrived before the end are decoded with this run rather than left for the
    // next one. The thread may have ended already (an end frame), before the connection.
    decoder_->drain();
    drainTimer_->start();
    if (decoder_->isFinished()) {
        QMetaObject::invokeMethod(this, &RunSession::decoding_ended, Qt::QueuedConnection);
    }
}

void RunSession::decoding_ended()
{
    // Also called late for a run that ended at once; only a thread that is over counts.
    if (!ending_ || !decoder_ || !decoder_->isFinished()) {
        return;
    }
    drainTimer_->stop();
    decoder_.reset();
    saver_->request_finish(); // stores the records still queued before its thread ends
    if (saver_->isFinished()) {
        QMetaObject::invokeMethod(this, &RunSession::saving_ended, Qt::QueuedConnection);
    }
}

void RunSession::saving_ended()
{
    // The save thread may end first, on the end marker, while decoding is still going.
    if (!ending_ || decoder_ || !saver_->isFinished()) {
        return;
    }
    saver_->wait(); // only the last instructions of its run() are left
    complete_end();
}

void RunSession::finish_ending_now()
{
    if (!ending_) {
        return;
    }
    drainTimer_->stop();
    if (decoder_) {
        decoder_->finish_queued();
        decoder_.reset();
    }
    saver_->finish();
    complete_end();
}

void RunSession::complete_end()
{
    Outcome outcome = endingOutcome_;
    takenCount_ = saver_->taken_count();
    committedCount_ = saver_->committed_count();
    // Also a failure of the last commits, after the end: whatever ended the run, what
    // matters first is that its samples were not all kept.
    if (storageError_.isEmpty()) {
        storageError_ = saver_->storage_error();
    }
    if (!storageError_.isEmpty()) {
        outcome = Outcome::StorageFailed;
        // The batches' own count says what was committed, not what is still there: the table
        // may have been dropped or emptied under the run.
        tableLost_ = !database_->table_exists(table_);
        const qint64 held = tableLost_ ? 0 : database_->row_count(table_);
        if (held >= 0) {
            committedCount_ = std::min(committedCount_, held);
        }
    }
    outcome_ = outcome;
    dropTimer_->stop();
    if (endingOutcome_ == Outcome::PortLost) {
        chronicle_.port_lost(*queues_, double(portLostAtMs_) / 1000.0);
    }
    chronicle_.ended(RunVerdict::facts_outcome(outcome, stopAsked_), committedCount_, *queues_);
    saver_.reset();
    droppedAtEnd_ = queues_->dropped_frames() + queues_->dropped_records();
    finalElapsedMs_ = runClock_.elapsed();
    state_ = State::Ended;
    ending_ = false;
    write_log(QStringLiteral("执行时间 = ") + QString::number(finalElapsedMs_) +
              QStringLiteral(" ms"));
    report_ = make_report();
    fanout_->notify([facts = chronicle_.facts(), report = report_](RunSink &sink) {
        return sink.run_ended(facts, report);
    });
    fanout_->close();
    emit finished(outcome);
}

RunReport RunSession::make_report() const
{
    RunReport report;
    const RunSettings &settings = settings_;
    report.outcome = outcome();
    report.stopAsked = stopAsked_;
    report.stopBy = stopBy_;
    report.overran = overran();
    report.tableLost = table_lost();
    report.storageError = storage_error();
    report.table = table();
    report.takenCount = taken_count();
    report.committedCount = committed_count();
    report.droppedCount = dropped_count();
    report.expectedSamples = qint64(settings.rate) * settings.seconds;
    // A run that carries sixteen samples a frame may round its last frame down.
    const int perFrame = FrameDecoder::samples_per_frame(settings.singleChannel, settings.rate);
    report.fewestCompleteSamples = std::max<qint64>(0, report.expectedSamples - (perFrame - 1));
    report.gapCount = gaps().size();
    report.runningMs = running_ms();
    report.elapsedMs = elapsed_ms();
    report.stopWaitSeconds = int(stopConfirmLimit.count() / 1000);
    return RunVerdict::judge(report);
}
