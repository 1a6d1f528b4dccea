#pragma once

#include "runexporter.h"

class VoltagePlot;

// Exports a run as the picture the plot shows (see VoltagePlot::save_png), with its sidecar
// beside it. It renders the widget, so it runs on the GUI thread only.
class PngExporter : public RunExporter
{
public:
    explicit PngExporter(VoltagePlot *plot);

    QString extension() const override;
    bool needs_gui_thread() const override { return true; }
    // The picture of the view as it is, or of the request's stretch: the plot shows that,
    // with its rows loaded, while the picture is taken, then returns to the view it had. A
    // device target is refused.
    Status write(const Request &request) override;

private:
    bool save_stretch(const QString &path, const TimeRange &range);

    VoltagePlot *const plot_;
};
