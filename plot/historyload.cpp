#include "historyload.h"

#include "rangecolumns.h"
#include "rangeenvelope.h"
#include "sampledatabase.h"

#include <algorithm>
#include <cmath>

namespace history_load {
namespace {

// The envelope reaches this many view widths beyond each side, so that panning by up to a
// view width needs no load.
constexpr double envelopeMarginInViews = 1.0;

// Appends rows to the per-column point lists.
void append_rows(QList<QVector<QCPGraphData>> &points, const RangeColumns &rows)
{
    while (points.size() < rows.values.size())
        points.append(QVector<QCPGraphData>());
    for (int c = 0; c < rows.values.size(); ++c) {
        QVector<QCPGraphData> &column = points[c];
        column.reserve(column.size() + rows.times.size());
        const QVector<double> &values = rows.values.at(c);
        for (int i = 0; i < rows.times.size() && i < values.size(); ++i)
            column.append(QCPGraphData(rows.times.at(i), values.at(i)));
    }
}

void sort_by_key(QList<QVector<QCPGraphData>> &points)
{
    for (QVector<QCPGraphData> &column : points) {
        std::stable_sort(column.begin(), column.end(),
                         [](const auto &a, const auto &b) { return a.key < b.key; });
    }
}

Result load_rows(SampleDatabase &db, const Request &request)
{
    Result result;
    const double unionLower = std::min(request.loadedLower, request.lower);
    const double unionUpper = std::max(request.loadedUpper, request.upper);
    if (request.graphsHoldRows &&
        db.count_time_range(request.table, unionLower, unionUpper) <= maxPointsPerGraph) {
        // The rows join those held; each range leaves out the loaded end it touches.
        RangeColumns below;
        RangeColumns above;
        for (const QCPRange &range : ranges_to_load(request.loadedLower, request.loadedUpper,
                                                    request.lower, request.upper)) {
            if (range.lower >= request.loadedUpper) {
                above = db.read_time_range(request.table, range.lower, range.upper,
                                           SampleDatabase::RangeEnds::AllButLower);
            } else {
                below = db.read_time_range(request.table, range.lower, range.upper,
                                           SampleDatabase::RangeEnds::AllButUpper);
            }
        }
        append_rows(result.points, below);
        append_rows(result.points, above);
        result.loadedLower = unionLower;
        result.loadedUpper = unionUpper;
    } else {
        // An envelope, or more rows than a graph may hold, gives way to the rows in view.
        append_rows(result.points, db.read_time_range(request.table, request.lower, request.upper));
        result.replace = true;
        result.loadedLower = request.lower;
        result.loadedUpper = request.upper;
    }
    sort_by_key(result.points);
    return result;
}

Result load_envelope(SampleDatabase &db, const Request &request)
{
    const double span = request.upper - request.lower;
    const double lower = request.lower - envelopeMarginInViews * span;
    const double upper = request.upper + envelopeMarginInViews * span;
    const double views = 1.0 + 2.0 * envelopeMarginInViews;
    // One bucket per pixel column over the view; two points per bucket at most.
    const int buckets =
        std::clamp(int(std::lround(request.pixelColumns * views)), 1, maxPointsPerGraph / 2);
    const RangeEnvelope envelope = db.read_envelope(request.table, lower, upper, buckets);

    Result result;
    result.replace = true;
    result.envelope = true;
    result.loadedLower = lower;
    result.loadedUpper = upper;
    result.bucketWidth = envelope.bucket_width();
    result.points = QList<QVector<QCPGraphData>>(envelope.column_count());
    for (int c = 0; c < envelope.column_count(); ++c) {
        QVector<QCPGraphData> &column = result.points[c];
        column.reserve(2 * envelope.bucket_count());
        for (int b = 0; b < envelope.bucket_count(); ++b) {
            const double min = envelope.min(b, c);
            if (!envelope.has_data(b) || std::isnan(min))
                continue;
            // Both extremes at the middle of the bucket's rows: a vertical stroke per column.
            const double key =
                envelope.first_time(b) + (envelope.last_time(b) - envelope.first_time(b)) / 2;
            column.append(QCPGraphData(key, min));
            if (envelope.max(b, c) != min)
                column.append(QCPGraphData(key, envelope.max(b, c)));
        }
    }
    return result;
}

} // namespace

QList<QCPRange> ranges_to_load(double loadedLower, double loadedUpper, double lower, double upper)
{
    QList<QCPRange> ranges;
    if (upper > loadedUpper)
        ranges.append(QCPRange(loadedUpper, upper));
    if (lower < loadedLower)
        ranges.append(QCPRange(lower, loadedLower));
    return ranges;
}

Result load(SampleDatabase &db, const Request &request)
{
    const qint64 rowLimit = qint64(std::max(request.pixelColumns, 1)) * rowsPerPixelColumn;
    if (db.count_time_range(request.table, request.lower, request.upper) <= rowLimit)
        return load_rows(db, request);
    return load_envelope(db, request);
}

} // namespace history_load
