#pragma once

#include "runstatistics.h"
#include "tablecsv.h"

#include <QString>

class SampleDatabase;

// A --from/--to stretch that lies within a run's span but between two of its samples:
// stats has nothing to measure and export nothing to write, so both refuse it as they
// refuse a stretch outside the run.
namespace empty_stretch {

// True, after saying so on standard error with the run's span, when no channel of table has
// a sample in range.
bool refused(SampleDatabase &database, const QString &table, const TimeRange &range);
// The same with the range's statistics read already.
bool refused(SampleDatabase &database, const QString &table, const TimeRange &range,
             const RunStatistics &statistics);

} // namespace empty_stretch
