#include "recordingsession.h"

#include "console.h"
#include "instrumentlink.h"
#include "recordoptions.h"

#include <QTimer>

RecordingSession::RecordingSession(InstrumentLink *link, SampleDatabase *database,
                                   const RecordOptions &options, const QList<RunSink *> &followers,
                                   QObject *parent)
    : QObject(parent)
    , options_(options)
    , run_(new RunSession(link->serial(), link->queues(), database, this))
    , statusTimer_(new QTimer(this))
    , statusLine_(options.seconds())
{
    statusTimer_->setInterval(statusIntervalMs);
    connect(statusTimer_, &QTimer::timeout, this, &RecordingSession::show_status);
    connect(run_, &RunSession::finished, this, &RecordingSession::run_ended);
    for (RunSink *follower : followers) {
        run_->add_sink(follower);
    }
}

RecordingSession::~RecordingSession() = default;

Status RecordingSession::start(const QDateTime &startTime)
{
    if (const Status created = run_->create_table(startTime, options_.run_settings());
        !created.ok()) {
        return created;
    }
    run_->begin();
    statusTimer_->start();
    return Status::success();
}

void RecordingSession::request_stop(RunReport::StopCause cause)
{
    run_->request_stop(cause);
}

void RecordingSession::show_status()
{
    Console::status(statusLine_.update(run_->elapsed_ms(), run_->committed_count(),
                                       run_->taken_count(), dropped_count()));
}

void RecordingSession::run_ended()
{
    statusTimer_->stop();
    show_status();
    Console::end_status();
    emit finished();
}
