#pragma once

#include "ratemeter.h"

#include <QString>

// The line a running record rewrites about once a second on standard error:
// "12 / 60 s   stored 60000   5000 samples/s   dropped 0", where "stored" counts the rows
// committed to the table and the rate is that of the samples received over the last second.
class StatusLine
{
public:
    explicit StatusLine(int totalSeconds);

    // The line for the run clock and counters now; the rate is that of RateMeter.
    QString update(qint64 elapsedMs, qint64 stored, qint64 received, quint64 dropped);

    static QString format(qint64 elapsedSeconds, int totalSeconds, qint64 stored, qint64 perSecond,
                          quint64 dropped);

private:
    const int totalSeconds_;
    RateMeter rate_; // of the samples received
};
