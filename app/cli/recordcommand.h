#pragma once

#include <QStringList>

class RecordingSession;
class RecordOptions;
class SampleDatabase;

// telvane-cli record: checks the arguments, asks the instrument for its status,
// records one run into a new run table, and optionally exports it as CSV.
class RecordCommand
{
public:
    static int run(const QStringList &arguments);

private:
    // The exit code for a finished session, after the completeness checks and the CSV.
    static int conclude(const RecordingSession &session, SampleDatabase &database,
                        const RecordOptions &options);
};
