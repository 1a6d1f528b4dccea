#pragma once

#include "runsession.h"
#include "statusline.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

class InstrumentLink;
class QTimer;
class RecordOptions;
class SampleDatabase;

// The recorder's surroundings of one run: the run itself is the shared RunSession (as in the
// window); this adds the status line on standard error, once a second and at the end.
// Lives in the main thread.
class RecordingSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int statusIntervalMs = 1000;

    // followers: fed with the run besides its table (see RunSink).
    RecordingSession(InstrumentLink *link, SampleDatabase *database, const RecordOptions &options,
                     const QList<RunSink *> &followers = {}, QObject *parent = nullptr);
    ~RecordingSession() override;

    // Creates the table of a run started at startTime and starts the run; why not when the
    // table could not be created.
    Status start(const QDateTime &startTime);
    // Kept in the run's facts.
    void set_instrument_status(const StatusReply &status) { run_->set_instrument_status(status); }
    const RunFacts &facts() const { return run_->facts(); }
    bool add_mark(const QString &text) { return run_->add_mark(text); }

    // Samples taken for storage.
    qint64 taken_count() const { return run_->taken_count(); }
    // Of those, the rows that reached the table (fewer on a full disk).
    qint64 committed_count() const { return run_->committed_count(); }
    quint64 dropped_count() const { return run_->dropped_count(); }
    qint64 elapsed_ms() const { return run_->elapsed_ms(); }
    QString table() const { return run_->table(); }
    // How the run ended (see RunVerdict); final once finished() is emitted.
    const RunReport &report() const { return run_->report(); }

public slots:
    // Asks the instrument to stop (a stop signal, a file system short of room); the first
    // cause is the run's.
    void request_stop(RunReport::StopCause cause);

signals:
    // The run is over and its threads are gone.
    void finished();

private:
    void show_status();
    void run_ended();

    const RecordOptions &options_;
    RunSession *run_ = nullptr;
    QTimer *statusTimer_ = nullptr;
    StatusLine statusLine_;
};
