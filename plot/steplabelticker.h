#pragma once

#include <qcustomplot.h>

// A tick generator whose labels carry as many decimals as the tick step needs, so every
// label reads as its tick's true value (12.1, 32.5, 0.04), never fewer than the axis'
// own number precision. Given a fixed step, the step is an integer multiple of it as with
// QCPAxisTickerFixed::ssMultiples, except that a range too small to hold a few fixed steps
// gets a finer readable step, so a narrow range still shows ticks; without one the steps
// are the base ticker's readable ones.
class StepLabelTicker : public QCPAxisTickerFixed
{
public:
    explicit StepLabelTicker(double fixedStep = 0.0);

    // Decimals needed to write step (and its multiples) exactly, at most maxDecimals.
    static int decimals_for(double step);
    static constexpr int maxDecimals = 9;

protected:
    double last_step() const { return lastStep_; }
    double getTickStep(const QCPRange &range) override;
    QVector<QString> createLabelVector(const QVector<double> &ticks, const QLocale &locale,
                                       QChar formatChar, int precision) override;

private:
    const bool fixed_;
    double lastStep_ = 1.0; // step of the ticks being labelled
};
