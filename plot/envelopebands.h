#pragma once

#include <QRect>
#include <QVector>

#include <vector>

// The envelope bands of the graphs of one plot as pixel rectangles to fill, the graphs
// drawn in order, each opaque over those before. Sixteen full-height bands are sixteen
// times the plot's pixels; what a later band covers is left out of the earlier ones,
// so a frame fills little more than the plot once, and the picture stays the same.
class EnvelopeBands
{
public:
    // columns[g]: graph g's band as one rectangle per bucket (see DiscGraph), sorted by
    // position. Returns, per graph, the rectangles to fill.
    static std::vector<QVector<QRect>>
    visible_rects(const std::vector<std::vector<QRect>> &columns);

private:
    struct Span
    {
        int top = 1;
        int bottom = 0; // empty while bottom < top
        bool empty() const { return bottom < top; }
    };
    // Per pixel column of [left, left + spans.size()), the rows a band covers.
    struct Coverage
    {
        int left = 0;
        std::vector<Span> spans;
    };
    static Coverage coverage_of(const std::vector<QRect> &columns, int left, int width);
    // Runs of columns share one rectangle over the rows they all cover, so that a
    // full-height band is not a span per pixel row and column.
    static void append_merged(const std::vector<QRect> &columns, QVector<QRect> &rects);
};
