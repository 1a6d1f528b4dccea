#pragma once

#include "timerange.h"

#include <QString>

#include <limits>
#include <vector>

struct sqlite3;

// The statistics of one voltage column over a time range of a run.
struct ChannelStatistics
{
    qint64 samples = 0; // numbers in the range; a sample stored as not-a-number is left out
    double minimum = std::numeric_limits<double>::quiet_NaN();
    double maximum = std::numeric_limits<double>::quiet_NaN();
    double mean = std::numeric_limits<double>::quiet_NaN();
    double rms = std::numeric_limits<double>::quiet_NaN();

    double peak_to_peak() const { return maximum - minimum; }
};

// Samples, extremes, mean and RMS of every voltage column of a run table between two times
// (both included, as printed: see TimeRange). Whole blocks come from the coarsest envelope level
// that fits, then finer ones towards the two ends, and only the few rows no block covers are read,
// so a range of millions of rows costs a few dozen look-ups. A table whose envelope has no sums (an
// older version's) is read row by row. Works on the caller's connection, on the caller's thread.
class RunStatistics
{
public:
    // An empty result (no channels) when the table cannot be read.
    static RunStatistics read(sqlite3 *db, const QString &runTable, const TimeRange &range);
    // The same from the rows alone, however long the range.
    static RunStatistics read_rows(sqlite3 *db, const QString &runTable, const TimeRange &range);

    const std::vector<ChannelStatistics> &channels() const { return channels_; }
    bool is_empty() const { return channels_.empty(); }
    // True when the envelope levels answered (false for a table read row by row).
    bool from_envelope() const { return fromEnvelope_; }

private:
    std::vector<ChannelStatistics> channels_;
    bool fromEnvelope_ = false;
};
