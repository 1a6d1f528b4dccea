#pragma once

#include "samplerow.h"

#include <QList>
#include <QtGlobal>

// Consecutive rows of one run, column by column (the times, then one vector per voltage
// column), so a sink handles a frame's or a transaction's rows in one call rather than one
// list per point. Rows are numbered from 0: a batch of decoded rows by the order the run
// decoded them, a batch of committed rows by their place in the run table (the row numbered n
// has the id n + 1); the two differ once samples were dropped before storage.
class SampleBatch
{
public:
    SampleBatch() = default;
    // An empty batch of `columnCount` voltage columns whose first row will be `firstRow`.
    SampleBatch(qint64 firstRow, int columnCount);

    qint64 first_row() const { return firstRow_; }
    // The number of the row after the last one.
    qint64 end_row() const { return firstRow_ + times_.size(); }
    qsizetype size() const { return times_.size(); }
    bool is_empty() const { return times_.isEmpty(); }
    int column_count() const { return int(columns_.size()); }

    const QList<double> &times() const { return times_; }
    // Millivolts of voltage column `column` (0 for a single-channel run, 0 to 15 otherwise).
    const QList<double> &column(int column) const { return columns_.at(column); }

    // Empties the batch for rows from `firstRow` on; keeps the memory for the next rows.
    void restart(qint64 firstRow);
    // One row: its time and one value per column (missing values count as 0).
    void append(double time, const double *values);
    // A row as the record queue holds it: the time, then the values.
    void append(const SampleRow &row);
    // Row `index` as the record queue holds it.
    SampleRow row(qsizetype index) const;

private:
    qint64 firstRow_ = 0;
    QList<double> times_;
    QList<QList<double>> columns_;
};
