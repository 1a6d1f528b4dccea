#pragma once

#include <QString>

#include <vector>

// Helpers shared by the benchmark programs: figures, process memory, and the
// bare SQLite C interface as the yardstick for the storage path.
namespace bench {

// Value at fraction q (0..1) of the sorted samples, by nearest rank.
double percentile(std::vector<double> samples, double q);
double median(std::vector<double> samples);

// Resident set of this process in kilobytes.
long resident_kib();
// CPU time (user + system) this process has used, in seconds.
double process_cpu_seconds();

// Inserts `rows` rows of 17 doubles (or 2 for a single channel) into a new table of a
// new database file with a prepared statement, `rowsPerTransaction` rows per
// transaction, synchronous off, on a connection set up as the application sets up its
// own; the values are computed before the clock starts. Returns rows per second; the
// CPU time the loop took goes to cpuSeconds when given.
double bare_insert_rows_per_second(const QString &path, long rows, bool singleChannel,
                                   int rowsPerTransaction, double *cpuSeconds = nullptr);

// CPU time the thread of this process named `name` has used so far, in seconds; -1 when
// there is no such thread.
double thread_cpu_seconds(const QByteArray &name);

// Fills the run table `table` (created beforehand with its time index) of the database
// file with `rows` single-channel rows sampled at `rate` points per second. Returns
// false on any SQLite error.
bool fill_single_channel_table(const QString &path, const QString &table, long rows, int rate);

// Whether --quick is among the arguments.
bool quick(int argc, char **argv);

} // namespace bench
