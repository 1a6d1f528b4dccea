#pragma once

#include <QString>

// The line a running record rewrites about once a second on standard error:
// "12 / 60 s   stored 60000   5000 samples/s   dropped 0".
class StatusLine
{
public:
    explicit StatusLine(int totalSeconds);

    // The line for the run clock and counters now; samples per second are
    // those stored since the previous update.
    QString update(qint64 elapsedMs, qint64 stored, quint64 dropped);

    static QString format(qint64 elapsedSeconds, int totalSeconds, qint64 stored, qint64 perSecond,
                          quint64 dropped);

private:
    const int totalSeconds_;
    qint64 previousMs_ = 0;
    qint64 previousStored_ = 0;
};
