#pragma once

#include "status.h"
#include "timerange.h"

#include <QString>

#include <atomic>
#include <optional>

class QIODevice;
struct sqlite3;

// Writes every row of one table (or of one time range of it) as CSV: a header of the column names,
// then one line per row, fields joined by "," and unquoted. Reals print in fixed notation: the
// second column (the time) with four decimals, all others with voltageDecimals;
// integers and texts as they are. A failure to read the table is ReadFailed, one to write the
// target WriteFailed, with SQLite's or the target's words; failures also go to the debug output.

// The file at path is replaced only once it is complete; on any failure nothing is left
// at path. rowsWritten, when given, follows the rows written so far (from any thread).
Status write_table_csv(sqlite3 *db, const QString &table, const QString &path, int voltageDecimals,
                       const std::optional<TimeRange> &range = {},
                       std::atomic<qint64> *rowsWritten = nullptr);
// Into a device open for writing (a pipe, a terminal, standard output, a save file), as the
// rows are read; on a failure what was written so far stays written.
Status write_table_csv(sqlite3 *db, const QString &table, QIODevice &device, int voltageDecimals,
                       const std::optional<TimeRange> &range = {},
                       std::atomic<qint64> *rowsWritten = nullptr);
