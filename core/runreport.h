#pragma once

#include <QList>
#include <QString>

#include <initializer_list>

// How a run ended; the run engine's own words for it.
enum class RunOutcome {
    None,            // not ended (yet)
    Completed,       // the instrument's end frame arrived
    StopUnconfirmed, // no end frame within the stop's wait after the stop packet
    PortLost,        // the serial port went away
    EndedByOwner,    // the owner ended it at once (closing)
    StorageFailed,   // samples did not reach the table; it was stopped
};

// The verdict on a run's end, decided once by the run engine when the run is over: the status
// bar, the window's warnings, the recorder's lines and exit status and the run's facts all read
// it and judge nothing themselves, so they cannot disagree on what happened.
struct RunReport
{
    // Who asked the instrument to stop first; None when nobody did.
    enum class StopCause { None, Operator, Signal, FreeSpace, Overrun, StorageFailure };
    enum class Severity { Info, Warning, Error };
    enum class ProblemKind {
        Overran,         // still going past its collection time; it was asked to stop
        StopUnconfirmed, // ended without the instrument's confirmation of the stop
        PortLost,        // the serial port went away during the run
        StorageFailed,   // samples stopped reaching the table; some rows are kept
        TableLost,       // samples stopped reaching the table, and the table is gone
        StoppedLate,     // ended after running over (the overrun's own end)
        RunShort,        // the instrument ended it short of rate x time samples
        SamplesDropped,  // a full queue had no room for frames or samples
        RowsShort,       // fewer rows reached the table than samples were taken
    };
    // One thing wrong with the run, as the recorder prints it (the window words its own).
    struct Problem
    {
        ProblemKind kind;
        Severity severity;
        QString text;
    };

    RunOutcome outcome = RunOutcome::None;
    bool stopAsked = false; // it was stopping on request when it ended
    StopCause stopBy = StopCause::None;
    bool overran = false;
    bool tableLost = false; // the table was gone at the end: none of its rows are kept
    QString storageError;   // SQLite's words; empty while every sample reached the table
    QString table;
    qint64 takenCount = 0;
    qint64 committedCount = 0;
    quint64 droppedCount = 0;
    qint64 expectedSamples = 0;       // rate x time
    qint64 fewestCompleteSamples = 0; // a last frame rounded down still makes it complete
    qsizetype gapCount = 0;
    qint64 runningMs = 0;
    qint64 elapsedMs = 0;
    int stopWaitSeconds = 0; // how long a stop waits for the instrument's end frame
    QString factsOutcome;    // as the run's facts keep it
    QList<Problem> problems; // in the order they are told

    bool has(ProblemKind kind) const;
    // The first problem of a kind; null when there is none.
    const Problem *find(ProblemKind kind) const;
    // Any of those kinds is among the problems.
    bool has_any(std::initializer_list<ProblemKind> kinds) const;
};
