#include "steplabelticker.h"

#include <algorithm>
#include <cmath>

namespace {
// Below this many fixed steps across the range, the fixed step would leave the range with
// one tick or none.
constexpr double minimumFixedSteps = 2.0;
// Steps are sums and products of decimals, so they carry rounding noise of this order.
constexpr double relativeNoise = 1e-9;
} // namespace

StepLabelTicker::StepLabelTicker(double fixedStep)
    : fixed_(fixedStep > 0.0)
{
    if (fixed_) {
        setTickStep(fixedStep);
        setScaleStrategy(ssMultiples);
    }
}

int StepLabelTicker::decimals_for(double step)
{
    double scaled = std::abs(step);
    for (int decimals = 0; decimals < maxDecimals; ++decimals) {
        if (std::abs(scaled - std::round(scaled)) <= relativeNoise * std::max(1.0, scaled))
            return decimals;
        scaled *= 10.0;
    }
    return maxDecimals;
}

double StepLabelTicker::getTickStep(const QCPRange &range)
{
    const bool readable = !fixed_ || range.size() < minimumFixedSteps * tickStep();
    lastStep_ =
        readable ? QCPAxisTicker::getTickStep(range) : QCPAxisTickerFixed::getTickStep(range);
    return lastStep_;
}

QVector<QString> StepLabelTicker::createLabelVector(const QVector<double> &ticks,
                                                    const QLocale &locale, QChar formatChar,
                                                    int precision)
{
    return QCPAxisTickerFixed::createLabelVector(ticks, locale, formatChar,
                                                 std::max(precision, decimals_for(lastStep_)));
}
