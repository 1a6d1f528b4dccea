#pragma once

#include "status.h"

#include <QString>

#include <atomic>

class SampleDatabase;

// Reads a CSV file this program wrote (the header "id,time,Vol" or "id,time,Vol1,...,Vol16",
// then one line per row) into a new run table of database, with its envelope levels, so that
// the run can be browsed and measured like a recorded one. The table is named as the run was:
// after the sidecar beside the file, else after the file's name, else after the time the
// file was written. A file that is not such a CSV (times that do not rise, a last line cut
// short included) is refused with the line and the reason. Runs on any thread that may use
// database; the lines are parsed on a second thread of its own, which read() ends before it
// returns.
class CsvImport
{
public:
    // The run a file was read into.
    struct ImportedRun
    {
        QString table;
        qint64 rows = 0;
    };

    // Bytes read so far, for a progress figure on another thread.
    const std::atomic<qint64> &bytes_read() const { return bytesRead_; }

    // The run made, or why the file was refused: "line N: why" for a line, else the file
    // system's or SQLite's words.
    Result<ImportedRun> read(const QString &path, SampleDatabase &database);

private:
    std::atomic<qint64> bytesRead_{0};
};
