#include "timeofdayticker.h"

#include "clocktext.h"

#include <algorithm>

namespace {
// Finer fractions than this are below the instrument's shortest sample period.
constexpr int maxClockDecimals = 4;
} // namespace

double TimeOfDayTicker::start_of_day_offset() const
{
    return double(start_.time().msecsSinceStartOfDay()) / 1000.0;
}

QVector<double> TimeOfDayTicker::createTickVector(double tickStep, const QCPRange &range)
{
    if (!shows_time_of_day())
        return StepLabelTicker::createTickVector(tickStep, range);
    const double offset = start_of_day_offset();
    QVector<double> ticks = StepLabelTicker::createTickVector(
        tickStep, QCPRange(range.lower + offset, range.upper + offset));
    for (double &tick : ticks)
        tick -= offset;
    return ticks;
}

QVector<QString> TimeOfDayTicker::createLabelVector(const QVector<double> &ticks,
                                                    const QLocale &locale, QChar formatChar,
                                                    int precision)
{
    if (!shows_time_of_day())
        return StepLabelTicker::createLabelVector(ticks, locale, formatChar, precision);
    const int decimals = std::min(decimals_for(last_step()), maxClockDecimals);
    QVector<QString> labels;
    labels.reserve(ticks.size());
    for (const double tick : ticks)
        labels.append(clock_text(start_, tick, decimals));
    return labels;
}
