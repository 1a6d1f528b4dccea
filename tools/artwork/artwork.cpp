#include "artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace artwork {
namespace {

const QColor kAccent(0x8c, 0x69, 0x27);
const QColor kOutline(0x30, 0x30, 0x30);
const QColor kLow(0xd3, 0x2f, 0x2f);
const QColor kCharged(0x2e, 0xa0, 0x43);

QImage blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QPen round_pen(const QColor &colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void stroke(QPainter &painter, const QPainterPath &path, const QColor &colour, qreal width)
{
    painter.setPen(round_pen(colour, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

} // namespace

QImage battery(int segments)
{
    // The lowest image is one row shorter; the label stretches every image to its own size.
    QImage image = blank(1238, segments == 1 ? 725 : 726);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // Shown at 32 x 12 pixels: the outline must stay at least a pixel and a half wide there.
    constexpr qreal outline = 80;
    const QRectF body(outline / 2 + 10, outline / 2 + 10, 1080, image.height() - outline - 20);
    const QRectF terminal(body.right() + outline / 2, body.center().y() - 150, 100, 300);

    painter.setPen(Qt::NoPen);
    painter.setBrush(kOutline);
    painter.drawRoundedRect(terminal, 30, 30);

    painter.setPen(round_pen(kOutline, outline));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(body, 60, 60);

    const QColor fill = segments <= 1 ? kLow : kCharged;
    constexpr qreal gap = 50;
    const QRectF inside =
        body.adjusted(outline / 2 + gap, outline / 2 + gap, -outline / 2 - gap, -outline / 2 - gap);
    const qreal width = (inside.width() - 3 * gap) / 4;
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    for (int i = 0; i < segments; ++i)
        painter.drawRect(
            QRectF(inside.left() + i * (width + gap), inside.top(), width, inside.height()));
    return image;
}

QImage checkbox(bool checked)
{
    QImage image = blank(128, 128);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kAccent, 10));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(9, 9, 110, 110), 20, 20);
    if (checked) {
        QPainterPath tick;
        tick.moveTo(32, 66);
        tick.lineTo(55, 90);
        tick.lineTo(97, 38);
        stroke(painter, tick, kAccent, 16);
    }
    return image;
}

QImage arrow(bool up)
{
    QImage image = blank(16, 16);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(round_pen(kOutline, 2));
    const qreal tip = up ? 5.5 : 10.5;
    const qreal base = up ? 10.5 : 5.5;
    const QPointF points[] = {{3.5, base}, {8, tip}, {12.5, base}};
    painter.drawPolyline(points, 3);
    return image;
}

QImage logo()
{
    QImage image = blank(256, 256);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 48, 48);

    // A sampled trace: flat, a pulse, a decaying ring.
    QPainterPath trace;
    trace.moveTo(36, 140);
    trace.lineTo(78, 140);
    trace.lineTo(100, 60);
    trace.lineTo(124, 196);
    trace.lineTo(146, 100);
    trace.lineTo(166, 164);
    trace.lineTo(184, 126);
    trace.lineTo(200, 140);
    trace.lineTo(220, 140);
    stroke(painter, trace, Qt::white, 16);
    return image;
}

} // namespace artwork
