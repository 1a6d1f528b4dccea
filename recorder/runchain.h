#pragma once

#include "csvfilenames.h"
#include "freespaceguard.h"
#include "runreport.h"
#include "statusreply.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

class InstrumentLink;
class RecordOptions;
class RunSink;
class SampleDatabase;
class StopSignals;

// The runs of one record command, back to back: one for a plain record, --repeat N or until
// --until, each in a table (and CSV file) of its own. The next start packet goes out as soon
// as the previous run is concluded (its CSV written); the gap from its end frame to that
// start is measured and reported. A stop signal ends the run under way and the chain with
// it; a lost port ends it too unless --reconnect waits for the port, and a file system
// without room for the next run (or the rest of this one) ends it cleanly. Lives in the main
// thread.
class RunChain
{
public:
    // status: the instrument's reply before the first run, kept in that run's facts;
    // followers: sinks fed by every run besides the run table (a publisher, a mirror); they
    // must outlive the chain.
    RunChain(InstrumentLink *link, SampleDatabase *database, const RecordOptions &options,
             StopSignals *stopSignals, const StatusReply &status,
             const QList<RunSink *> &followers = {});

    // Records the chain; the exit code of its worst run.
    int run();

private:
    struct RunResult
    {
        bool started = false;
        int exitCode = 0;
        RunOutcome outcome = RunOutcome::None;
        bool outOfSpace = false; // stopped early: the rest would not have fitted
    };

    RunResult record_run(int number);
    // False (and says why) when the next run would not fit on the database's file system.
    bool room_for_run(int number) const;
    void note_gap(int number);
    void print_summary() const;

    InstrumentLink *const link_;
    SampleDatabase *const database_;
    const RecordOptions &options_;
    StopSignals *const stopSignals_;
    const QList<RunSink *> followers_;
    CsvFileNames csvFiles_;
    const FreeSpaceGuard freeSpace_;
    StatusReply status_;        // the latest valid reply, for the next run's facts
    QElapsedTimer sinceRunEnd_; // from the last run's end frame; invalid after a lost port
    int runs_ = 0;
    qint64 rows_ = 0;
    int gaps_ = 0;
    qint64 shortestGapMs_ = 0;
    qint64 longestGapMs_ = 0;
    int losses_ = 0;
    qint64 timeLostMs_ = 0;
};
