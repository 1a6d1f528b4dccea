#pragma once

#include <QColor>
#include <QImage>
#include <QPen>

#include <vector>

// Pre-rendered antialiased discs of one pen and size, one picture per 1/32-pixel
// sub-position, so tens of thousands of scatter discs become image copies instead
// of ellipse rasterisations. Each picture is drawn by QPainter exactly as a
// single disc would be, only shifted to its sub-position.
class DiscStamps
{
public:
    static constexpr int subSteps = 32;

    DiscStamps(const QPen &pen, double size);

    bool matches(const QPen &pen, double size) const { return pen == pen_ && size == size_; }
    // Pixels a picture reaches out from the centre of its disc.
    int reach() const { return margin_; }
    // The picture for a disc centred on (x, y) and where its top-left corner goes.
    const QImage &stamp(double x, double y, QPoint *topLeft);

private:
    QImage render(int subX, int subY) const;

    const QPen pen_;
    const double size_;
    const int margin_; // pixels from a picture's corner to the pixel holding the centre
    const int side_;
    std::vector<QImage> stamps_; // rendered on first use, subSteps * subSteps
};
