#include "discgraph.h"

#include <QPaintEngine>

DiscGraph::DiscGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
{}

DiscGraph::~DiscGraph() = default;

bool DiscGraph::can_stamp(QCPPainter *painter, const QCPScatterStyle &style)
{
    const QPaintEngine *engine = painter->paintEngine();
    return style.shape() == QCPScatterStyle::ssDisc && painter->antialiasing() &&
           !painter->modes().testFlag(QCPPainter::pmVectorized) && engine != nullptr &&
           engine->type() == QPaintEngine::Raster &&
           painter->device()->devicePixelRatioF() == 1.0 &&
           painter->transform().type() <= QTransform::TxTranslate &&
           painter->compositionMode() == QPainter::CompositionMode_SourceOver &&
           painter->opacity() == 1.0;
}

void DiscGraph::drawScatterPlot(QCPPainter *painter, const QVector<QPointF> &scatters,
                                const QCPScatterStyle &style) const
{
    applyScattersAntialiasingHint(painter);
    if (!can_stamp(painter, style)) {
        QCPGraph::drawScatterPlot(painter, scatters, style);
        return;
    }
    const QPen pen = style.isPenDefined() ? style.pen() : mPen;
    if (!stamps_ || !stamps_->matches(pen, style.size())) {
        stamps_ = std::make_unique<DiscStamps>(pen, style.size());
    }
    // Stamps land on whole device pixels, so the translation's fraction goes into the
    // sub-position.
    const QPointF shift(painter->transform().dx(), painter->transform().dy());
    painter->save();
    painter->resetTransform();
    // Points far outside the surface (values beyond the axis range) would overflow
    // the integer positions; NaN values are not drawn at all.
    const int reach = stamps_->reach();
    const QRectF surface = QRectF(0, 0, painter->device()->width(), painter->device()->height())
                               .adjusted(-reach, -reach, reach, reach);
    for (const QPointF &scatter : scatters) {
        const QPointF at = scatter + shift;
        if (!surface.contains(at)) {
            continue;
        }
        QPoint topLeft;
        const QImage &picture = stamps_->stamp(at.x(), at.y(), &topLeft);
        painter->drawImage(topLeft, picture);
    }
    painter->restore();
}
