#pragma once

#include <QList>

// Receives the decoded points of a run. The decoding thread calls these from
// its own thread; an implementation must be safe against its own readers.
// The live plot implements it; the headless recorder runs without one.
class SampleSink
{
public:
    virtual ~SampleSink() = default;

    // One single-channel sample: time in seconds, value in millivolts.
    virtual void append_sample(double time, double value) = 0;
    // One multi-channel time point: time in seconds, channels 1..16 in millivolts.
    virtual void append_samples(double time, const QList<double> &values) = 0;
};
