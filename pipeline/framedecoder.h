#pragma once

#include "samplebatch.h"

#include <QByteArray>
#include <QtGlobal>

class DataQueues;
class SinkFanout;

// Turns the frame texts of one run into time-stamped millivolt records for
// the record queue and hands each frame's rows to the run's live sinks as one batch. Used by
// one thread at a time (the decoding thread).
class FrameDecoder
{
public:
    // `live` may be null (no live sink).
    FrameDecoder(bool singleChannel, int rate, DataQueues *queues, SinkFanout *live);

    // Decodes one data frame; the run time advances by one step per record.
    void decode(const QByteArray &frameText);
    // Run time of the next record in seconds.
    double time() const { return time_of(records_); }

    // Whether the frame text is the instrument's end-of-run frame.
    static bool is_end_of_run(const QByteArray &frameText);
    // Samples one data frame carries: sixteen successive ones on a single channel above
    // 100 points per second, else one (a single sample, or one of each channel).
    static int samples_per_frame(bool singleChannel, int rate);

private:
    const bool singleChannel_;
    const int singleSlots_; // samples a single-channel frame holds at this rate
    const int rate_;        // samples per second
    DataQueues *const queues_;
    SinkFanout *const live_;
    SampleBatch frameRows_; // the last frame's rows, for the live sinks
    qint64 records_ = 0;    // records decoded so far

    // Each time is its record's number over the rate, not a running sum of periods: the sum
    // drifts below the printed value (1.99999999999989 for 2.0000) and ranges typed from
    // printed times would miss the sample.
    double time_of(qint64 record) const { return double(record) / rate_; }
};
