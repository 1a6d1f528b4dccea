#include "discgraph.h"

#include "envelopebands.h"

#include <QPaintEngine>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Discs whose centres lie closer than their outer diameter plus this gap merge into a
// thick line; they are left out.
constexpr double discGapPixels = 2.0;
// Above two samples per pixel column QCustomPlot draws a trace as a stroke per column,
// where antialiasing changes nothing worth its cost.
constexpr double densePixelsPerSample = 0.5;

} // namespace

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

double DiscGraph::pixels_per_sample() const
{
    if (!mKeyAxis)
        return std::numeric_limits<double>::infinity();
    const QCPRange keys = mKeyAxis->range();
    const auto begin = mDataContainer->findBegin(keys.lower, false);
    const auto end = mDataContainer->findEnd(keys.upper, false);
    const auto count = end - begin;
    if (count < 2)
        return std::numeric_limits<double>::infinity();
    const double pixels =
        std::abs(mKeyAxis->coordToPixel(keys.upper) - mKeyAxis->coordToPixel(keys.lower));
    return pixels / double(count - 1);
}

void DiscGraph::draw(QCPPainter *painter)
{
    switch (look_) {
    case Look::EnvelopeBand:
        draw_band(painter);
        return;
    case Look::EnvelopeStrokes:
        discsApart_ = true;
        denseTrace_ = false;
        break;
    case Look::Samples: {
        const double spacing = pixels_per_sample();
        const double outerDiameter = scatterStyle().size() + mPen.widthF();
        discsApart_ = spacing >= outerDiameter + discGapPixels;
        denseTrace_ = spacing < densePixelsPerSample;
        break;
    }
    }
    QCPGraph::draw(painter);
}

void DiscGraph::drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    if (!denseTrace_ || painter->pen().style() == Qt::NoPen) {
        QCPGraph::drawLinePlot(painter, lines);
        return;
    }
    painter->setAntialiasing(false);
    drawPolyline(painter, lines);
}

void DiscGraph::drawScatterPlot(QCPPainter *painter, const QVector<QPointF> &scatters,
                                const QCPScatterStyle &style) const
{
    if (!discsApart_)
        return;
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

std::vector<QRect> DiscGraph::band_columns() const
{
    std::vector<QRect> columns;
    if (!mKeyAxis || !mValueAxis)
        return columns;
    // One bucket beyond each side of the view, so the band's ends run out of sight.
    const QCPRange keys = mKeyAxis->range();
    auto it = mDataContainer->findBegin(keys.lower);
    const auto end = mDataContainer->findEnd(keys.upper);
    // Far-off values are pulled to a rect's height beyond the axis rect: the integer
    // pixel rows would overflow, and nothing out there is seen.
    const QRect rect = clipRect();
    const double top = rect.top() - rect.height();
    const double bottom = rect.bottom() + rect.height();
    struct Bucket
    {
        double x;
        double high; // pixel rows: high <= low
        double low;
    };
    std::vector<Bucket> buckets;
    buckets.reserve(std::size_t(end - it));
    while (it != end) {
        const double key = it->key;
        double low = it->value;
        double high = it->value;
        for (++it; it != end && it->key == key; ++it) {
            low = std::min(low, it->value);
            high = std::max(high, it->value);
        }
        if (std::isnan(low) || std::isnan(high))
            continue;
        const QPointF highAt = coordsToPixels(key, high);
        const QPointF lowAt = coordsToPixels(key, low);
        buckets.push_back(
            {highAt.x(), std::clamp(highAt.y(), top, bottom), std::clamp(lowAt.y(), top, bottom)});
    }
    // One column of pixels per bucket, from its minimum to its maximum, over the pixel
    // columns nearer to it than to its neighbours. Each reaches the near edge of the next
    // bucket's range, so a band that climbs faster than a pixel per column stays joined,
    // and a bucket that sticks out alone (a one-sample spike) keeps its full height. (A
    // polygon fill of the same band, its edges crowding the same few rows, took seconds
    // in Qt's scan converter.)
    columns.reserve(buckets.size());
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        const Bucket &b = buckets[i];
        double high = b.high;
        double low = b.low;
        if (i + 1 < buckets.size()) {
            high = std::min(high, buckets[i + 1].low);
            low = std::max(low, buckets[i + 1].high);
        }
        const double left = i > 0 ? (buckets[i - 1].x + b.x) / 2.0 : b.x - 0.5;
        const double right = i + 1 < buckets.size() ? (b.x + buckets[i + 1].x) / 2.0 : b.x + 0.5;
        const int x0 = int(std::lround(left));
        const int x1 = std::max(x0 + 1, int(std::lround(right)));
        columns.emplace_back(QPoint(x0, int(std::floor(high))),
                             QPoint(x1 - 1, int(std::floor(low))));
    }
    return columns;
}

void DiscGraph::draw_band(QCPPainter *painter)
{
    if (mPen.style() == Qt::NoPen)
        return;
    // The bands of the plot's graphs are worked out together when the first of them is
    // drawn, so that each leaves out what the later ones cover.
    std::vector<DiscGraph *> bands;
    for (int g = 0; mParentPlot && g < mParentPlot->graphCount(); ++g) {
        auto *graph = qobject_cast<DiscGraph *>(mParentPlot->graph(g));
        if (graph && graph->realVisibility() && graph->look_ == Look::EnvelopeBand &&
            graph->layer() == layer() && graph->mPen.style() != Qt::NoPen)
            bands.push_back(graph);
    }
    if (bands.empty() || bands.front() == this) {
        if (bands.empty())
            bands.push_back(this);
        std::vector<std::vector<QRect>> columns;
        columns.reserve(bands.size());
        for (const DiscGraph *graph : bands)
            columns.push_back(graph->band_columns());
        std::vector<QVector<QRect>> rects = EnvelopeBands::visible_rects(columns);
        for (std::size_t g = 0; g < bands.size(); ++g)
            bands[g]->bandRects_ = std::move(rects[g]);
    }
    painter->setPen(Qt::NoPen);
    painter->setBrush(QBrush(mPen.color()));
    applyDefaultAntialiasingHint(painter);
    painter->drawRects(bandRects_);
    bandRects_.clear();
}
