#include "rangeenvelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double infinity = std::numeric_limits<double>::infinity();
} // namespace

RangeEnvelope::RangeEnvelope(double lower, double upper, int buckets, int columns)
    : lower_(lower)
    , upper_(upper)
    , buckets_(std::max(buckets, 1))
    , columns_(std::max(columns, 0))
    , firstTimes_(buckets_, infinity)
    , lastTimes_(buckets_, -infinity)
    , mins_(std::size_t(buckets_) * columns_, infinity)
    , maxs_(std::size_t(buckets_) * columns_, -infinity)
{}

double RangeEnvelope::bucket_width() const
{
    return (upper_ - lower_) / buckets_;
}

int RangeEnvelope::bucket_of(double time) const
{
    const double width = bucket_width();
    if (!(width > 0.0))
        return 0;
    const double position = std::floor((time - lower_) / width);
    if (!(position >= 0.0))
        return 0;
    return position >= buckets_ ? buckets_ - 1 : int(position);
}

void RangeEnvelope::widen(int bucket, double first, double last)
{
    if (!has_data(bucket))
        ++used_;
    firstTimes_[bucket] = std::min(firstTimes_[bucket], first);
    lastTimes_[bucket] = std::max(lastTimes_[bucket], last);
}

void RangeEnvelope::add_row(double time, const double *values)
{
    // A row is a block of one: its own minimum and maximum.
    add_block(time, time, values, values);
}

void RangeEnvelope::add_block(double first, double last, const double *mins, const double *maxs)
{
    const int bucket = bucket_of(first + (last - first) / 2);
    widen(bucket, first, last);
    double *bucketMins = mins_.data() + std::size_t(bucket) * columns_;
    double *bucketMaxs = maxs_.data() + std::size_t(bucket) * columns_;
    for (int c = 0; c < columns_; ++c) {
        if (mins[c] < bucketMins[c])
            bucketMins[c] = mins[c];
        if (maxs[c] > bucketMaxs[c])
            bucketMaxs[c] = maxs[c];
    }
}

double RangeEnvelope::min(int bucket, int column) const
{
    const std::size_t at = std::size_t(bucket) * columns_ + column;
    return maxs_[at] < mins_[at] ? std::numeric_limits<double>::quiet_NaN() : mins_[at];
}

double RangeEnvelope::max(int bucket, int column) const
{
    const std::size_t at = std::size_t(bucket) * columns_ + column;
    return maxs_[at] < mins_[at] ? std::numeric_limits<double>::quiet_NaN() : maxs_[at];
}
