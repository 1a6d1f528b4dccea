#pragma once

#include <vector>

// The smallest and largest value of every voltage column per time bucket of a range:
// what a chart needs to draw a long stretch of a run at one bucket per pixel column
// without losing a single spike. Filled from single rows or from whole blocks of rows
// (their time span and the extremes over them); NaN samples are left out.
class RangeEnvelope
{
public:
    RangeEnvelope() = default;
    // buckets of equal width over [lower, upper]; times outside go to the nearest bucket.
    RangeEnvelope(double lower, double upper, int buckets, int columns);

    void add_row(double time, const double *values);
    // A block of rows from first to last with per column extremes mins[c] and maxs[c]. It
    // counts in the bucket of its middle time.
    void add_block(double first, double last, const double *mins, const double *maxs);

    double lower() const { return lower_; }
    double upper() const { return upper_; }
    int bucket_count() const { return buckets_; }
    int column_count() const { return columns_; }
    // Width of a bucket in seconds.
    double bucket_width() const;
    bool is_empty() const { return used_ == 0; }

    // Whether anything fell into bucket b, and the times of the first and last of it.
    bool has_data(int bucket) const { return firstTimes_[bucket] <= lastTimes_[bucket]; }
    double first_time(int bucket) const { return firstTimes_[bucket]; }
    double last_time(int bucket) const { return lastTimes_[bucket]; }
    // Extremes of column c in the bucket; NaN when the bucket holds no number of it.
    double min(int bucket, int column) const;
    double max(int bucket, int column) const;

private:
    int bucket_of(double time) const;
    void widen(int bucket, double first, double last);

    double lower_ = 0.0;
    double upper_ = 0.0;
    int buckets_ = 0;
    int columns_ = 0;
    int used_ = 0;
    std::vector<double> firstTimes_; // per bucket; +inf while empty
    std::vector<double> lastTimes_;  // per bucket; -inf while empty
    std::vector<double> mins_;       // bucket * columns + column; +inf while none
    std::vector<double> maxs_;       // the same; -inf while none
};
