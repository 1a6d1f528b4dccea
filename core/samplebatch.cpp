#include "samplebatch.h"

SampleBatch::SampleBatch(qint64 firstRow, int columnCount)
    : firstRow_(firstRow)
    , columns_(columnCount)
{}

void SampleBatch::restart(qint64 firstRow)
{
    firstRow_ = firstRow;
    // resize rather than clear: the capacity stays for the next frame of the decoding thread.
    times_.resize(0);
    for (QList<double> &values : columns_) {
        values.resize(0);
    }
}

void SampleBatch::append(double time, const double *values)
{
    times_.append(time);
    for (qsizetype c = 0; c < columns_.size(); ++c) {
        columns_[c].append(values[c]);
    }
}

void SampleBatch::append(const SampleRow &row)
{
    times_.append(row.value(0));
    for (qsizetype c = 0; c < columns_.size(); ++c) {
        columns_[c].append(row.value(c + 1));
    }
}

SampleRow SampleBatch::row(qsizetype index) const
{
    SampleRow values;
    values.reserve(columns_.size() + 1);
    values.append(times_.at(index));
    for (const QList<double> &column : columns_) {
        values.append(column.at(index));
    }
    return values;
}
