#include "envelopebands.h"

#include <algorithm>
#include <limits>

namespace {

// Bucket columns that share one rectangle over the rows they all cover.
constexpr std::size_t runColumns = 32;

} // namespace

EnvelopeBands::Coverage EnvelopeBands::coverage_of(const std::vector<QRect> &columns, int left,
                                                   int width)
{
    Coverage coverage;
    coverage.left = left;
    coverage.spans.assign(std::size_t(width), Span());
    for (const QRect &c : columns) {
        for (int x = std::max(c.left(), left); x <= c.right() && x < left + width; ++x) {
            Span &span = coverage.spans[std::size_t(x - left)];
            // Buckets sharing a pixel column reach each other's rows: their union is one span.
            span = span.empty()
                       ? Span{c.top(), c.bottom()}
                       : Span{std::min(span.top, c.top()), std::max(span.bottom, c.bottom())};
        }
    }
    return coverage;
}

void EnvelopeBands::append_merged(const std::vector<QRect> &columns, QVector<QRect> &rects)
{
    for (std::size_t first = 0; first < columns.size(); first += runColumns) {
        const std::size_t last = std::min(columns.size(), first + runColumns);
        int sharedTop = columns[first].top();
        int sharedBottom = columns[first].bottom();
        for (std::size_t i = first + 1; i < last; ++i) {
            sharedTop = std::max(sharedTop, columns[i].top());
            sharedBottom = std::min(sharedBottom, columns[i].bottom());
        }
        if (sharedBottom < sharedTop) {
            for (std::size_t i = first; i < last; ++i)
                rects.append(columns[i]);
            continue;
        }
        rects.append(QRect(QPoint(columns[first].left(), sharedTop),
                           QPoint(columns[last - 1].right(), sharedBottom)));
        for (std::size_t i = first; i < last; ++i) {
            const QRect &c = columns[i];
            if (c.top() < sharedTop)
                rects.append(QRect(QPoint(c.left(), c.top()), QPoint(c.right(), sharedTop - 1)));
            if (c.bottom() > sharedBottom)
                rects.append(
                    QRect(QPoint(c.left(), sharedBottom + 1), QPoint(c.right(), c.bottom())));
        }
    }
}

std::vector<QVector<QRect>>
EnvelopeBands::visible_rects(const std::vector<std::vector<QRect>> &columns)
{
    std::vector<QVector<QRect>> rects(columns.size());
    int left = std::numeric_limits<int>::max();
    int right = std::numeric_limits<int>::min();
    for (const std::vector<QRect> &graph : columns) {
        for (const QRect &c : graph) {
            left = std::min(left, c.left());
            right = std::max(right, c.right());
        }
    }
    if (columns.empty() || right < left)
        return rects;
    // The last graph is drawn on top: all of it shows.
    append_merged(columns.back(), rects.back());
    Coverage covered = coverage_of(columns.back(), left, right - left + 1);
    // Each earlier graph shows only outside the rows the later ones cover in a column
    // (kept as one span per column: a part that is not joined to it is drawn anyway).
    for (std::size_t g = columns.size() - 1; g-- > 0;) {
        const Coverage own = coverage_of(columns[g], left, right - left + 1);
        for (std::size_t i = 0; i < own.spans.size(); ++i) {
            const Span mine = own.spans[i];
            Span &cover = covered.spans[i];
            if (mine.empty())
                continue;
            const int x = left + int(i);
            if (cover.empty() || mine.bottom < cover.top - 1 || mine.top > cover.bottom + 1) {
                rects[g].append(QRect(x, mine.top, 1, mine.bottom - mine.top + 1));
                if (cover.empty() || mine.bottom - mine.top > cover.bottom - cover.top)
                    cover = mine;
                continue;
            }
            if (mine.top < cover.top)
                rects[g].append(QRect(x, mine.top, 1, cover.top - mine.top));
            if (mine.bottom > cover.bottom)
                rects[g].append(QRect(x, cover.bottom + 1, 1, mine.bottom - cover.bottom));
            cover = Span{std::min(cover.top, mine.top), std::max(cover.bottom, mine.bottom)};
        }
    }
    return rects;
}
