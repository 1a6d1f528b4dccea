#include "liveplotsink.h"

#include "voltageplot.h"

LivePlotSink::LivePlotSink(VoltagePlot *plot)
    : plot_(plot)
{}

QString LivePlotSink::sink_name() const
{
    return QStringLiteral("live plot");
}

Status LivePlotSink::take_batch(const SampleBatch &batch)
{
    plot_->append_batch(batch);
    return Status::success();
}
