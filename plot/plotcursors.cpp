#include "plotcursors.h"

#include <QMouseEvent>
#include <qcustomplot.h>

#include <cmath>

namespace {
// How close to a cursor, in pixels, a press grabs it.
constexpr double grabDistance = 5.0;
const QColor cursorColor(0x8c, 0x69, 0x27);
const QString cursorLayer = QStringLiteral("cursors");
} // namespace

PlotCursors::PlotCursors(QCustomPlot *plot)
    : QObject(plot)
    , plot_(plot)
{
    // Above the channels' graphs, which are made after the cursors on the main layer: sixteen
    // envelope bands would hide them. Drawn into the main layer's buffer, needing none of its own.
    if (plot->layer(cursorLayer) == nullptr) {
        plot->addLayer(cursorLayer, plot->layer(QStringLiteral("main")), QCustomPlot::limAbove);
        plot->layer(cursorLayer)->setMode(QCPLayer::lmLogical);
    }
    const char *names[] = {"A", "B"};
    for (int c = 0; c < 2; ++c) {
        lines_[c] = new QCPItemStraightLine(plot);
        lines_[c]->setPen(QPen(cursorColor, 1, c == A ? Qt::SolidLine : Qt::DashLine));
        lines_[c]->setVisible(false);
        labels_[c] = new QCPItemText(plot);
        labels_[c]->setText(QString::fromLatin1(names[c]));
        labels_[c]->setColor(cursorColor);
        labels_[c]->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        labels_[c]->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        labels_[c]->setVisible(false);
        lines_[c]->setLayer(cursorLayer);
        labels_[c]->setLayer(cursorLayer);
    }
    connect(plot, &QCustomPlot::mousePress, this, &PlotCursors::mouse_pressed);
    connect(plot, &QCustomPlot::mouseMove, this, &PlotCursors::mouse_moved);
    connect(plot, &QCustomPlot::mouseRelease, this, &PlotCursors::mouse_released);
}

void PlotCursors::set_enabled(bool enabled)
{
    enabled_ = enabled;
    if (!enabled)
        clear();
}

void PlotCursors::place(Cursor cursor, double time)
{
    if (!enabled_ || !std::isfinite(time))
        return;
    times_[cursor] = time;
    lines_[cursor]->point1->setCoords(time, 0.0);
    lines_[cursor]->point2->setCoords(time, 1.0);
    labels_[cursor]->position->setCoords(time, 0.0);
    lines_[cursor]->setVisible(true);
    labels_[cursor]->setVisible(true);
    plot_->replot(QCustomPlot::rpQueuedReplot);
    emit changed();
}

void PlotCursors::clear()
{
    if (!times_[A] && !times_[B])
        return;
    for (int c = 0; c < 2; ++c) {
        times_[c].reset();
        lines_[c]->setVisible(false);
        labels_[c]->setVisible(false);
        lines_[c]->setLayer(cursorLayer);
        labels_[c]->setLayer(cursorLayer);
    }
    plot_->replot(QCustomPlot::rpQueuedReplot);
    emit changed();
}

double PlotCursors::from() const
{
    return std::min(times_[A].value_or(0.0), times_[B].value_or(0.0));
}

double PlotCursors::to() const
{
    return std::max(times_[A].value_or(0.0), times_[B].value_or(0.0));
}

std::optional<PlotCursors::Cursor> PlotCursors::cursor_near(double x) const
{
    std::optional<Cursor> nearest;
    double best = grabDistance;
    for (const Cursor cursor : {A, B}) {
        if (!times_[cursor])
            continue;
        const double distance = std::abs(plot_->xAxis->coordToPixel(*times_[cursor]) - x);
        if (distance <= best) {
            best = distance;
            nearest = cursor;
        }
    }
    return nearest;
}

void PlotCursors::mouse_pressed(QMouseEvent *event)
{
    if (!enabled_)
        return;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (event->button() == Qt::RightButton && modifiers.testFlag(Qt::ShiftModifier)) {
        clear();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const double x = event->position().x();
    if (modifiers.testFlag(Qt::ShiftModifier))
        place(A, plot_->xAxis->pixelToCoord(x));
    else if (modifiers.testFlag(Qt::ControlModifier))
        place(B, plot_->xAxis->pixelToCoord(x));
    // A cursor just placed, or one pressed on, follows the mouse until the release.
    dragged_ = cursor_near(x);
    if (dragged_) {
        // The axis rect starts a pan on the same press unless it is off by then.
        panWasOn_ = plot_->interactions().testFlag(QCP::iRangeDrag);
        plot_->setInteraction(QCP::iRangeDrag, false);
    }
}

void PlotCursors::mouse_moved(QMouseEvent *event)
{
    if (dragged_)
        place(*dragged_, plot_->xAxis->pixelToCoord(event->position().x()));
}

void PlotCursors::mouse_released(QMouseEvent *)
{
    if (!dragged_)
        return;
    dragged_.reset();
    plot_->setInteraction(QCP::iRangeDrag, panWasOn_);
}
