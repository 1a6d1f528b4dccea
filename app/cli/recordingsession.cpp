#include "recordingsession.h"

#include "console.h"
#include "dataprocess.h"
#include "dataqueues.h"
#include "datasavedisplay.h"
#include "instrumentlink.h"
#include "logmanager.h"
#include "protocol.h"
#include "recordoptions.h"
#include "sampledatabase.h"
#include "serialmanager.h"

#include <QThread>
#include <QTimer>

RecordingSession::RecordingSession(InstrumentLink *link, SampleDatabase *database,
                                   const RecordOptions &options, QObject *parent)
    : QObject(parent)
    , link_(link)
    , database_(database)
    , options_(options)
    , statusTimer_(new QTimer(this))
    , stopTimer_(new QTimer(this))
    , statusLine_(options.seconds())
{
    statusTimer_->setInterval(statusIntervalMs);
    connect(statusTimer_, &QTimer::timeout, this, &RecordingSession::show_status);
    stopTimer_->setSingleShot(true);
    stopTimer_->setInterval(stopWaitMs);
    connect(stopTimer_, &QTimer::timeout, this, &RecordingSession::stop_unconfirmed);
    connect(link_->serial(), &SerialManager::port_error, this, &RecordingSession::port_lost);
}

RecordingSession::~RecordingSession()
{
    if (state_ == State::Running || state_ == State::Stopping) {
        tear_down(Outcome::StopUnconfirmed);
    }
}

bool RecordingSession::start(const QString &table)
{
    if (!database_->create_table(table, options_.single_channel())) {
        return false;
    }
    table_ = table;
    write_log(QStringLiteral("开始采集,速度=") + QString::number(options_.rate()) +
              QStringLiteral(",时间=") + QString::number(options_.seconds()));
    link_->serial()->set_reading(true);
    decoder_ = std::make_unique<DataProcess>(options_.single_channel(), options_.rate(),
                                             link_->queues(), nullptr);
    // Emitted on the decoding thread; the run is torn down here, in the main thread.
    connect(decoder_.get(), &DataProcess::stop_sample_data, this, &RecordingSession::end_of_run,
            Qt::QueuedConnection);
    saver_ = std::make_unique<DataSaveDisplay>(link_->queues(), database_);
    link_->serial()->write_data(options_.start_command());
    runClock_.start();
    statusTimer_->start();
    decoder_->start(QThread::HighPriority);
    saver_->start(QThread::HighPriority);
    state_ = State::Running;
    return true;
}

quint64 RecordingSession::dropped_count() const
{
    return link_->queues()->dropped_frames() + link_->queues()->dropped_records();
}

void RecordingSession::request_stop()
{
    if (state_ != State::Running) {
        return;
    }
    state_ = State::Stopping;
    write_log(QStringLiteral("停止采集"));
    link_->serial()->write_data(stop_command());
    stopTimer_->start();
}

void RecordingSession::end_of_run()
{
    if (state_ == State::Running || state_ == State::Stopping) {
        tear_down(Outcome::Completed);
    }
}

void RecordingSession::port_lost()
{
    if (state_ == State::Running || state_ == State::Stopping) {
        tear_down(Outcome::PortLost);
    }
}

void RecordingSession::stop_unconfirmed()
{
    if (state_ == State::Stopping) {
        tear_down(Outcome::StopUnconfirmed);
    }
}

void RecordingSession::show_status()
{
    const qint64 stored = saver_ ? saver_->stored_count() : storedCount_;
    Console::status(statusLine_.update(runClock_.elapsed(), stored, dropped_count()));
}

void RecordingSession::tear_down(Outcome outcome)
{
    state_ = State::Ended;
    outcome_ = outcome;
    stopTimer_->stop();
    statusTimer_->stop();
    write_log(QStringLiteral("采集停止"));
    link_->serial()->set_reading(false);
    disconnect(decoder_.get(), nullptr, this, nullptr);
    // Frames that arrived before a lost port or an unanswered stop are decoded
    // too, rather than left behind in the queue.
    decoder_->finish_queued();
    decoder_.reset();
    saver_->finish(); // stores the records still queued before its thread ends
    storedCount_ = saver_->stored_count();
    committedCount_ = saver_->committed_count();
    saver_.reset();
    write_log(QStringLiteral("执行时间 = ") + QString::number(runClock_.elapsed()) +
              QStringLiteral(" ms"));
    show_status();
    Console::end_status();
    emit finished();
}
