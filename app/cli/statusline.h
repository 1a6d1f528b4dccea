#pragma once

#include <QString>

#include <deque>

// The line a running record rewrites about once a second on standard error:
// "12 / 60 s   stored 60000   5000 samples/s   dropped 0", where "stored" counts the rows
// committed to the table and the rate is that of the samples received over the last second.
class StatusLine
{
public:
    explicit StatusLine(int totalSeconds);

    // The line for the run clock and counters now. The rate is taken since the latest
    // earlier update at least rateWindowMs back (since the run's start while it is younger),
    // so an update that follows closely on another does not read a few samples as a burst.
    QString update(qint64 elapsedMs, qint64 stored, qint64 received, quint64 dropped);
    static constexpr qint64 rateWindowMs = 1000;

    static QString format(qint64 elapsedSeconds, int totalSeconds, qint64 stored, qint64 perSecond,
                          quint64 dropped);

private:
    struct Point
    {
        qint64 ms = 0;
        qint64 received = 0;
    };

    const int totalSeconds_;
    std::deque<Point> history_{Point{}}; // earlier updates, oldest first; the run's start first
};
