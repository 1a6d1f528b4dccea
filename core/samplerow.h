#pragma once

#include <QList>

// One sample record: the time in seconds first, then one millivolt value
// (single channel) or sixteen (channels 1 to 16). A record whose first value
// is negative marks the end of a run.
using SampleRow = QList<double>;
