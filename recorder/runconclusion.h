#pragma once

#include "runreport.h"

#include <QList>
#include <QString>

class RecordOptions;
class RecordingSession;
class SampleDatabase;

// How the recorder tells of a run's end: its lines, its CSV and its exit status, all read
// off the run's report (see RunVerdict). Used by the chain after each run.
class RunConclusion
{
public:
    static inline const QString onRequest = QStringLiteral("on request");

    // One line of the end: on standard error (a problem) or standard output (a note).
    struct Line
    {
        bool error = false;
        QString text;
    };

    // The exit code for a finished session, after its end lines and the CSV (none when
    // csvFile is empty). stopCause says why a stopped run was stopped.
    static int conclude(const RecordingSession &session, SampleDatabase &database,
                        const RecordOptions &options, const QString &csvFile,
                        const QString &stopCause = onRequest);
    // The lines telling how the run ended, factsSummary (what its facts hold) among them.
    static QList<Line> lines(const RunReport &report, const QString &databaseFile,
                             const QString &stopCause, const QString &factsSummary);
    // The exit code of the run alone, before its CSV is written.
    static int exit_code(const RunReport &report);
};
