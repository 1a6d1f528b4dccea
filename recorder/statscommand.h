#pragma once

#include <QStringList>

// telvane-cli stats: samples, extremes, peak-to-peak, mean and RMS of every channel of a run,
// or of a stretch of it, one tab-separated line per channel after a header line.
class StatsCommand
{
public:
    static int run(const QStringList &arguments);
};
