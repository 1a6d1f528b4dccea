#pragma once

#include "timerange.h"

#include <QString>

#include <atomic>
#include <optional>

class QIODevice;
struct sqlite3;

// How writing a table as CSV ended: a read failure is the database's, a write failure the
// target's.
struct CsvOutcome
{
    enum class Status { Written, ReadFailed, WriteFailed };

    Status status = Status::Written;
    QString reason; // SQLite's or the target's words for a failure

    bool ok() const { return status == Status::Written; }
};

// Writes every row of one table (or of one time range of it) as CSV: a header of the column names,
// then one line per row, fields joined by "," and unquoted. Reals print in fixed notation: the
// second column (the time) with four decimals, all others with voltageDecimals;
// integers and texts as they are. Failures are also written to the debug output.

// The file at path is replaced only once it is complete; on any failure nothing is left
// at path. rowsWritten, when given, follows the rows written so far (from any thread).
CsvOutcome write_table_csv(sqlite3 *db, const QString &table, const QString &path,
                           int voltageDecimals, const std::optional<TimeRange> &range = {},
                           std::atomic<qint64> *rowsWritten = nullptr);
// Into a device open for writing (a pipe, a terminal, standard output), as the rows are
// read; on a failure what was written so far stays written.
CsvOutcome write_table_csv(sqlite3 *db, const QString &table, QIODevice &device,
                           int voltageDecimals, const std::optional<TimeRange> &range = {});
