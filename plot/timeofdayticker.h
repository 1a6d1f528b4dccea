#pragma once

#include "steplabelticker.h"

#include <QDateTime>

// The time axis' ticker: seconds since the run's start as StepLabelTicker writes them, or,
// given the run's start time, the time of day of each tick (hh:mm:ss, with the fraction the
// step needs). Time-of-day ticks fall on round clock times rather than on round offsets.
class TimeOfDayTicker : public StepLabelTicker
{
public:
    // An invalid start shows seconds.
    void set_start(const QDateTime &start) { start_ = start; }
    bool shows_time_of_day() const { return start_.isValid(); }

protected:
    QVector<double> createTickVector(double tickStep, const QCPRange &range) override;
    QVector<QString> createLabelVector(const QVector<double> &ticks, const QLocale &locale,
                                       QChar formatChar, int precision) override;

private:
    // Seconds of the start past its local midnight, so ticks can be laid out in clock time.
    double start_of_day_offset() const;

    QDateTime start_;
};
