#include "timerange.h"

#include <cmath>
#include <limits>

namespace {
constexpr double stepsPerSecond = 10000.0; // 10^printedDecimals
static_assert(TimeRange::printedDecimals == 4, "stepsPerSecond follows the printed decimals");
// A typed end within this many printed steps of one is taken as that one: 3.115 is stored as
// 3.11499999999999977 and must still start at 3.1150.
constexpr double typedSlack = 1e-6;
} // namespace

double TimeRange::printed(double seconds)
{
    return std::round(seconds * stepsPerSecond) / stepsPerSecond;
}

double TimeRange::first_stored() const
{
    // The first printed time at or after `from`; stored times from half a step below print as it.
    const double firstStep = std::ceil(from * stepsPerSecond - typedSlack);
    return (firstStep - 0.5) / stepsPerSecond;
}

double TimeRange::last_stored() const
{
    // The last printed time at or before `to`; stored times up to half a step above (that half
    // step itself excluded) print as it.
    const double lastStep = std::floor(to * stepsPerSecond + typedSlack);
    return std::nextafter((lastStep + 0.5) / stepsPerSecond,
                          -std::numeric_limits<double>::infinity());
}
