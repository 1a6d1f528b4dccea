#pragma once

#include "statusline.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class DataProcess;
class DataSaveDisplay;
class InstrumentLink;
class QTimer;
class RecordOptions;
class SampleDatabase;

// One run on the instrument, driven exactly as the window drives it: the run
// table, the start packet, the decoding and save threads, the instrument's end
// frame. A stop request sends the stop packet and waits up to 5 s for the end
// frame; a lost port ends the run at once. Either way everything decoded is
// stored before finished() is emitted. Lives in the main thread.
class RecordingSession : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        NotStarted,
        Completed,       // the instrument's end frame arrived
        PortLost,        // the serial port went away
        StopUnconfirmed, // no end frame within 5 s of the stop packet
    };
    static constexpr int stopWaitMs = 5000;
    static constexpr int statusIntervalMs = 1000;

    RecordingSession(InstrumentLink *link, SampleDatabase *database, const RecordOptions &options,
                     QObject *parent = nullptr);
    ~RecordingSession() override;

    // Creates the table and starts the run; false when the table could not be created.
    bool start(const QString &table);

    Outcome outcome() const { return outcome_; }
    qint64 stored_count() const { return storedCount_; }
    // Of those, the rows that reached the table (fewer on a full disk).
    qint64 committed_count() const { return committedCount_; }
    quint64 dropped_count() const;
    QString table() const { return table_; }

public slots:
    // Asks the instrument to stop (SIGINT, SIGTERM); once per run.
    void request_stop();

signals:
    // The run is over and its threads are gone.
    void finished();

private:
    void end_of_run();
    void port_lost();
    void stop_unconfirmed();
    void show_status();
    // The window's stop(): detaches the reader, ends both threads (the save
    // thread stores what is queued) and logs the run's duration.
    void tear_down(Outcome outcome);

    enum class State { Idle, Running, Stopping, Ended };

    InstrumentLink *const link_;
    SampleDatabase *const database_;
    const RecordOptions &options_;
    std::unique_ptr<DataProcess> decoder_;
    std::unique_ptr<DataSaveDisplay> saver_;
    QTimer *statusTimer_ = nullptr;
    QTimer *stopTimer_ = nullptr;
    QElapsedTimer runClock_;
    StatusLine statusLine_;
    State state_ = State::Idle;
    Outcome outcome_ = Outcome::NotStarted;
    qint64 storedCount_ = 0;
    qint64 committedCount_ = 0;
    QString table_;
};
