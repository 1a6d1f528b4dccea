#pragma once

#include <QString>
#include <QStringList>

class RecordingSession;
class RecordOptions;
class SampleDatabase;

// telvane-cli record: checks the arguments, asks the instrument for its status,
// records one run (or a chain of them) into new run tables, and optionally exports them as CSV.
class RecordCommand
{
public:
    static int run(const QStringList &arguments);

    // The exit code for a finished session, after the completeness checks and the CSV
    // (none when csvFile is empty). stopCause says why a stopped run was stopped.
    static inline const QString onRequest = QStringLiteral("on request");
    static int conclude(const RecordingSession &session, SampleDatabase &database,
                        const RecordOptions &options, const QString &csvFile,
                        const QString &stopCause = onRequest);
};
