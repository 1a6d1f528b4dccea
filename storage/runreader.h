#pragma once

#include "rangecolumns.h"
#include "rangeenvelope.h"
#include "samplebatch.h"
#include "status.h"

#include <QString>

struct sqlite3;

// Reading a run table back: the rows of a time range, how many there are, and the envelope
// of a range from the coarsest envelope level that fits (statistics: RunStatistics). Any
// file, read-only connections included. Works on the caller's connection and thread.
namespace run_reader {

// Which ends of a time range belong to it.
enum class RangeEnds { Both, AllButLower, AllButUpper };

// The rows of table with time in [lower, upper] (the ends as asked) as columns; empty when
// there is none or the table cannot be read.
RangeColumns read_time_range(sqlite3 *db, const QString &table, double lower, double upper,
                             RangeEnds ends = RangeEnds::Both);
// About how many rows of table lie in [lower, upper], from two index look-ups (exact while
// the rows were stored in time order); 0 when it cannot be told.
qint64 count_time_range(sqlite3 *db, const QString &table, double lower, double upper);
// The extremes of every voltage column over [lower, upper] in `buckets` buckets of equal
// width, from the coarsest envelope level that still gives a block or more per bucket, plus
// the rows no block covers; from the rows alone when there is no envelope table.
// Rows in table order from the row numbered firstRow (the id firstRow + 1) on, at most
// maxRows of them, stopping early at a hole in the ids; columns receives the table's column
// names ("id", "time", then the voltages). ReadFailed, with SQLite's words, when the table
// cannot be read.
Result<SampleBatch> read_rows(sqlite3 *db, const QString &table, qint64 firstRow, qint64 maxRows,
                              QStringList *columns = nullptr);
RangeEnvelope read_envelope(sqlite3 *db, const QString &table, double lower, double upper,
                            int buckets);

} // namespace run_reader
