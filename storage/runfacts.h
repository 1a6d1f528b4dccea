#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

struct sqlite3;

// What a run was taken with and how it went, kept in one row of a table beside the run table
// (its name with "_facts" added): written when the run starts, completed when it ends. A run
// whose row never got its end (the program was killed) keeps an empty outcome; read, it shows
// as still open while its program records it (see RunOwner), else as its program gone.
struct RunFacts
{
    // How a run ended, as the facts and the sidecar name it.
    static inline const QString completed = QStringLiteral("completed");
    static inline const QString stopped = QStringLiteral("stopped");
    static inline const QString stopNotConfirmed = QStringLiteral("stop not confirmed");
    static inline const QString portLost = QStringLiteral("port lost");
    static inline const QString storageFailed = QStringLiteral("storage failed");
    // What a run without an end shows in place of the outcome: being recorded, or not.
    static inline const QString stillOpen = QStringLiteral("still open");
    static inline const QString programGone = QStringLiteral("program gone");

    // At the start.
    QDateTime started; // UTC, to the millisecond
    int utcOffsetSeconds = 0;
    bool singleChannel = true;
    int rate = 0;           // points per second
    int seconds = 0;        // collection time
    QList<double> voltages; // Vout, or V1 to V4
    std::optional<int> batteryPercent;
    std::optional<bool> rangeModule; // fitted; unknown without a status reply
    QString programVersion;

    // At the end; outcome empty until then.
    QString outcome;
    qint64 committedRows = 0;
    quint64 droppedFrames = 0;
    quint64 droppedSamples = 0;
    qint64 pausedMs = 0;
    QDateTime ended; // UTC
    // Without an end, and no program records the run any more (known when read).
    bool recordingGone = false;

    bool is_complete() const { return !outcome.isEmpty(); }
    // The outcome, or what stands in for it without an end.
    QString outcome_shown() const;
    int channels() const;
    QString mode() const;
    // "Vout" for a single-channel run, "V1" to "V4" for a multi-channel one.
    QStringList voltage_names() const;
};

// The facts table of a run, on the caller's connection and thread.
namespace run_facts {

// Creates the facts table of runTable with its start; false, and reason set, on a failure.
bool write_start(sqlite3 *db, const QString &runTable, const RunFacts &facts, QString *reason);
// Completes it with the end fields of facts.
bool write_end(sqlite3 *db, const QString &runTable, const RunFacts &facts, QString *reason);
// Nothing when the run has no facts table (recorded by an older version) or it cannot be read.
// A run without an end whose program is gone gets the end it left beside the database, if any.
std::optional<RunFacts> read(sqlite3 *db, const QString &runTable);

} // namespace run_facts
