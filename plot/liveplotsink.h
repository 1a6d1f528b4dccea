#pragma once

#include "runsink.h"

class VoltagePlot;

// Feeds the live chart: each frame's decoded rows go into the plot's staging area in one go
// (one lock per frame), on the decoding thread, so the chart lags the instrument by no more
// than it did when it was fed point by point. Owned by its VoltagePlot.
class LivePlotSink : public RunSink
{
public:
    explicit LivePlotSink(VoltagePlot *plot);

    QString sink_name() const override;
    Feed feed() const override { return Feed::Decoded; }
    Status take_batch(const SampleBatch &batch) override;

private:
    VoltagePlot *const plot_;
};
