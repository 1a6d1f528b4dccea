#include "discstamps.h"

#include <QPainter>

#include <cmath>

DiscStamps::DiscStamps(const QPen &pen, double size)
    : pen_(pen)
    , size_(size)
    , margin_(int(std::ceil(size / 2.0 + pen.widthF() / 2.0)) + 1)
    , side_(2 * margin_ + 1)
    , stamps_(std::size_t(subSteps * subSteps))
{}

const QImage &DiscStamps::stamp(double x, double y, QPoint *topLeft)
{
    // Sub-positions are rounded to the nearest 1/32 pixel; 32/32 is the next pixel's 0.
    const double sx = std::round(x * subSteps);
    const double sy = std::round(y * subSteps);
    const double px = std::floor(sx / subSteps);
    const double py = std::floor(sy / subSteps);
    const int subX = int(sx - px * subSteps);
    const int subY = int(sy - py * subSteps);
    *topLeft = QPoint(int(px) - margin_, int(py) - margin_);
    QImage &picture = stamps_[std::size_t(subY * subSteps + subX)];
    if (picture.isNull()) {
        picture = render(subX, subY);
    }
    return picture;
}

QImage DiscStamps::render(int subX, int subY) const
{
    QImage picture(side_, side_, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    // As a disc scatter is drawn: the graph's pen, filled with the pen's colour.
    painter.setPen(pen_);
    painter.setBrush(QBrush(pen_.color()));
    const double radius = size_ / 2.0;
    painter.drawEllipse(
        QPointF(margin_ + double(subX) / subSteps, margin_ + double(subY) / subSteps), radius,
        radius);
    return picture;
}
