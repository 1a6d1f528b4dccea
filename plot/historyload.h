#pragma once

#include <QList>
#include <QString>
#include <QVector>
#include <qcustomplot.h>

class SampleDatabase;

// One browse load of the voltage plot: what the view asks for, and what the graphs get.
// Short ranges come as the rows themselves; a range with more rows than the plot has pixel
// columns (times a small factor) comes as the smallest and largest value of each pixel
// column, read from the run's envelope levels, so that no load grows with the run's length.
namespace history_load {

// Above this many rows per pixel column in view, the graphs get an envelope.
constexpr int rowsPerPixelColumn = 4;
// No graph holds more points than this.
constexpr int maxPointsPerGraph = 50000;

struct Request
{
    QString table;      // the run table read
    double lower = 0.0; // the range in view
    double upper = 0.0;
    double loadedLower = 0.0; // what the graphs hold
    double loadedUpper = 0.0;
    bool graphsHoldRows = true; // rows rather than an envelope
    int pixelColumns = 1;
};

struct Result
{
    bool replace = false;  // the points replace the graphs' data instead of joining it
    bool envelope = false; // per bucket the smallest and largest value, not rows
    double loadedLower = 0.0;
    double loadedUpper = 0.0;
    double bucketWidth = 0.0;            // envelope only: seconds per bucket
    QList<QVector<QCPGraphData>> points; // per value column, sorted by key
};

// The time ranges a load of rows reads so that [loadedLower, loadedUpper] grows to cover
// [lower, upper], in query order: the part above the loaded range, then below. The
// loaded ends themselves are not read again.
QList<QCPRange> ranges_to_load(double loadedLower, double loadedUpper, double lower, double upper);

// Reads what request lacks from its table of db; runs on a loader thread.
Result load(SampleDatabase &db, const Request &request);

} // namespace history_load
