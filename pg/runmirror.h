#pragma once

#include "mirrortarget.h"
#include "runsink.h"

#include <QList>
#include <QString>

#include <chrono>
#include <memory>

// Mirrors the runs it follows to a PostgreSQL server while they are recorded: each run gets
// its catalogue row and its tables there (see server_schema), then every committed row once
// and in order (binary COPY, a batch per transaction), its marks and gaps, and at the end its
// envelope and final facts. The run table is the queue: the mirror keeps no rows of its own;
// it asks the server for the highest id it holds (after every reconnection) and copies on from
// there, so a server that goes away (or a mirror that falls behind) never costs a row and
// never holds up the run. Its RunSink calls come from the run's follower thread and only note
// what is new; the server connection and the table reads live on the mirror's own thread.
// Follows the runs of a chain one after the other, each mirrored in full, in order.
class RunMirror : public RunSink
{
public:
    // How the server answers, for the status bar and the log.
    enum class Link { Connecting, Online, Offline };

    // How far one run got.
    struct RunProgress
    {
        QString run;           // its table in the SQLite file
        QString serverName;    // its table on the server; empty until it has one
        qint64 committed = 0;  // rows in the run table so far
        qint64 mirrored = 0;   // of those, the rows the server holds (as last seen)
        bool ended = false;    // the run is over (committed is final)
        bool complete = false; // ended and everything of it is on the server
    };

    // Reads the rows from the run tables of databaseFile (its own read-only connection);
    // station names this machine in the server's catalogue.
    RunMirror(MirrorTarget target, QString databaseFile, QString station);
    // What the server does not have yet stays in the run table.
    ~RunMirror() override;
    RunMirror(const RunMirror &) = delete;
    RunMirror &operator=(const RunMirror &) = delete;

    const MirrorTarget &target() const;
    Link link() const;
    // The server's or the connection's last complaint; empty while there was none.
    QString last_problem() const;
    // Rows committed but not yet on the server, over every run followed.
    qint64 backlog_rows() const;
    QList<RunProgress> runs() const;
    // Waits until every ended run is complete on the server, or limit has passed; true when
    // nothing is left. Any thread but the mirror's own.
    bool wait_mirrored(std::chrono::milliseconds limit) const;

    QString sink_name() const override { return QStringLiteral("PostgreSQL mirror"); }
    Status run_started(const QString &table, const RunSettings &settings,
                       const RunFacts &facts) override;
    Status take_batch(const SampleBatch &batch) override;
    Status rows_missed(qint64 firstRow, qint64 count) override;
    Status mark_added(const RunMark &mark) override;
    Status gap_found(const RunGap &gap) override;
    Status run_ended(const RunFacts &facts, const RunReport &report) override;

private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};
