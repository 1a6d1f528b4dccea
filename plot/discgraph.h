#pragma once

#include "discstamps.h"

#include <qcustomplot.h>

#include <memory>

// A graph that draws antialiased disc scatters by stamping pre-rendered discs
// (see DiscStamps) when it paints on a raster surface without scaling; any
// other shape, surface or transform is drawn by QCPGraph as usual.
class DiscGraph : public QCPGraph
{
    Q_OBJECT

public:
    DiscGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);
    ~DiscGraph() override;

protected:
    void drawScatterPlot(QCPPainter *painter, const QVector<QPointF> &scatters,
                         const QCPScatterStyle &style) const override;

private:
    static bool can_stamp(QCPPainter *painter, const QCPScatterStyle &style);

    mutable std::unique_ptr<DiscStamps> stamps_; // for the last pen and size drawn
};
