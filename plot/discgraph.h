#pragma once

#include "discstamps.h"

#include <qcustomplot.h>

#include <memory>
#include <vector>

// A graph of the voltage plot. It draws antialiased disc scatters by stamping
// pre-rendered discs (see DiscStamps) when it paints on a raster surface without
// scaling; any other shape, surface or transform is drawn by QCPGraph as usual.
// Samples packed so densely that their discs merge get no discs, and a trace with
// several samples per pixel column is drawn without antialiasing: neither changes
// what can be seen, both cost most of a live frame. An envelope (each key holding
// a bucket's minimum and maximum) is drawn either as QCPGraph's strokes or as one
// filled band from the minima to the maxima.
class DiscGraph : public QCPGraph
{
    Q_OBJECT

public:
    enum class Look {
        Samples,         // line and discs, by density as above
        EnvelopeStrokes, // QCPGraph's own drawing, unchanged
        EnvelopeBand,    // a filled band with its outline, so a one-bucket spike shows
    };

    DiscGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);
    ~DiscGraph() override;

    void set_look(Look look) { look_ = look; }
    Look look() const { return look_; }

protected:
    void draw(QCPPainter *painter) override;
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;
    void drawScatterPlot(QCPPainter *painter, const QVector<QPointF> &scatters,
                         const QCPScatterStyle &style) const override;

private:
    static bool can_stamp(QCPPainter *painter, const QCPScatterStyle &style);
    // Mean distance in pixels along the key axis between the samples in view.
    double pixels_per_sample() const;
    // The envelope as one pixel rectangle per bucket, in the painter's coordinates.
    std::vector<QRect> band_columns() const;
    void draw_band(QCPPainter *painter);

    Look look_ = Look::Samples;
    bool discsApart_ = true;   // set by draw() for the frame it draws
    bool denseTrace_ = false;  // likewise
    QVector<QRect> bandRects_; // this frame's part of the bands, set by the first band drawn
    mutable std::unique_ptr<DiscStamps> stamps_; // for the last pen and size drawn
};
