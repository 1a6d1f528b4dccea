#pragma once

#include <QString>

// A stretch of a run without samples: where it is (seconds of running time from the start,
// as the rows' times), how long it lasted in seconds and why. A pause and dropped frames
// take no running time (the rows go on at the same time after them): their length is the
// wall time paused, or the time the lost frames' samples would have covered. Dropped samples
// and a lost port leave a stretch of running time without rows.
struct RunGap
{
    // Why, as the gaps table, the sidecar and the command line name it.
    static inline const QString pause = QStringLiteral("pause");
    static inline const QString droppedFrames = QStringLiteral("dropped frames");
    static inline const QString droppedSamples = QStringLiteral("dropped samples");
    static inline const QString portLost = QStringLiteral("port lost");

    double start = 0.0;
    double length = 0.0;
    QString cause;
    qint64 count = 0; // frames or samples lost; 0 for a pause or a lost port

    // False when the gap takes no running time (a pause, dropped frames).
    bool spans_run_time() const { return cause == droppedSamples || cause == portLost; }
    bool operator==(const RunGap &other) const
    {
        return start == other.start && length == other.length && cause == other.cause &&
               count == other.count;
    }
};
