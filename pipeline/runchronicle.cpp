#include "runchronicle.h"

#include "dataqueues.h"
#include "framedecoder.h"
#include "runsettings.h"
#include "runtablesink.h"
#include "sampledatabase.h"
#include "sinkfanout.h"
#include "statusreply.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

void RunChronicle::set_instrument_status(const StatusReply &status)
{
    if (!status.is_valid())
        return;
    batteryPercent_ = status.battery_percent();
    if (status.module() != StatusReply::Module::Unknown)
        rangeModule_ = status.module() == StatusReply::Module::Present;
}

void RunChronicle::started(SampleDatabase *database, RunTableSink *store, SinkFanout *followers,
                           const QDateTime &startTime, const RunSettings &settings)
{
    store_ = store;
    followers_ = followers;
    facts_ = RunFacts();
    facts_.started = startTime.toUTC();
    facts_.utcOffsetSeconds = startTime.offsetFromUtc();
    facts_.singleChannel = settings.singleChannel;
    facts_.rate = settings.rate;
    facts_.seconds = settings.seconds;
    facts_.voltages = settings.voltages;
    facts_.batteryPercent = batteryPercent_;
    facts_.rangeModule = rangeModule_;
    facts_.programVersion = QStringLiteral(TELVANE_VERSION);
    pausedSince_.invalidate();
    gaps_.clear();
    RunOwner::settle_left_runs(
        database->file_name(), [database](const QString &left, const RunFacts &end) {
            // A run dropped meanwhile has no facts to complete.
            return !database->read_facts(left) || database->write_facts_end(left, end).ok();
        });
    owner_.take(database->file_name(), store_->table());
    const Status written = store_->run_started(store_->table(), settings, facts_);
    if (!written.ok())
        qDebug().noquote() << "Error writing the run's facts:" << written.message();
    if (followers_ != nullptr) {
        const QString table = store_->table();
        const RunFacts facts = facts_;
        followers_->notify([table, settings, facts](RunSink &sink) {
            return sink.run_started(table, settings, facts);
        });
    }
}

void RunChronicle::begun(DataQueues &queues)
{
    framesDroppedBefore_ = queues.dropped_frames();
    samplesDroppedBefore_ = queues.dropped_records();
    queues.drop_log().reset();
}

void RunChronicle::paused(double runTime)
{
    if (!pausedSince_.isValid()) {
        pausedSince_.start();
        pausedAt_ = runTime;
    }
}

void RunChronicle::resumed()
{
    if (!pausedSince_.isValid())
        return;
    const qint64 pausedMs = pausedSince_.elapsed();
    facts_.pausedMs += pausedMs;
    pausedSince_.invalidate();
    add_gap({pausedAt_, double(pausedMs) / 1000.0, RunGap::pause, 0});
}

void RunChronicle::collect_drops(DataQueues &queues, bool all)
{
    if (facts_.rate <= 0)
        return;
    const double step = 1.0 / facts_.rate;
    for (const DropBurst &burst : queues.drop_log().take(all)) {
        if (burst.kind == DropBurst::Kind::Records) {
            add_gap({burst.first, burst.last - burst.first + step, RunGap::droppedSamples,
                     qint64(burst.count)});
            continue;
        }
        // The lost frames' samples would have followed the last one decoded before them.
        const int samplesPerFrame =
            FrameDecoder::samples_per_frame(facts_.singleChannel, facts_.rate);
        add_gap({std::isnan(burst.first) ? 0.0 : burst.first + step,
                 double(burst.count) * samplesPerFrame * step, RunGap::droppedFrames,
                 qint64(burst.count)});
    }
}

void RunChronicle::port_lost(const DataQueues &queues, double noticedAt)
{
    const double lastTime = queues.drop_log().last_record_time();
    const double from = std::isnan(lastTime) ? 0.0 : lastTime;
    add_gap({from, std::max(0.0, noticedAt - from), RunGap::portLost, 0});
}

void RunChronicle::add_gap(const RunGap &gap)
{
    gaps_.append(gap);
    const Status stored = store_ != nullptr ? store_->gap_found(gap) : Status::not_found({});
    if (!stored.ok())
        qDebug().noquote() << "Error storing a gap of the run:" << stored.message();
    if (followers_ != nullptr)
        followers_->notify([gap](RunSink &sink) { return sink.gap_found(gap); });
}

bool RunChronicle::add_mark(const RunMark &mark)
{
    const Status stored = store_ != nullptr ? store_->mark_added(mark) : Status::not_found({});
    if (followers_ != nullptr)
        followers_->notify([mark](RunSink &sink) { return sink.mark_added(mark); });
    if (stored.ok())
        return true;
    qDebug().noquote() << "Error storing a mark:" << stored.message();
    return false;
}

void RunChronicle::ended(const QString &outcome, qint64 committedRows, DataQueues &queues)
{
    resumed(); // a run stopped while paused was paused until its end
    collect_drops(queues, true);
    facts_.outcome = outcome;
    facts_.committedRows = committedRows;
    facts_.droppedFrames = queues.dropped_frames() - framesDroppedBefore_;
    facts_.droppedSamples = queues.dropped_records() - samplesDroppedBefore_;
    facts_.ended = QDateTime::currentDateTimeUtc();
    if (store_ == nullptr)
        return;
    const Status written = store_->write_end(facts_);
    if (written.ok()) {
        owner_.release();
        return;
    }
    qDebug().noquote() << "Error completing the run's facts:" << written.message();
    owner_.keep_end(facts_);
}
