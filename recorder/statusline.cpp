#include "statusline.h"

StatusLine::StatusLine(int totalSeconds)
    : totalSeconds_(totalSeconds)
{}

QString StatusLine::update(qint64 elapsedMs, qint64 stored, qint64 received, quint64 dropped)
{
    const qint64 perSecond = rate_.update(elapsedMs, received);
    // Nearest second: the timer's ticks fall a hair either side of the full second.
    return format((elapsedMs + 500) / 1000, totalSeconds_, stored, perSecond, dropped);
}

QString StatusLine::format(qint64 elapsedSeconds, int totalSeconds, qint64 stored, qint64 perSecond,
                           quint64 dropped)
{
    return QStringLiteral("%1 / %2 s   stored %3   %4 samples/s   dropped %5")
        .arg(elapsedSeconds)
        .arg(totalSeconds)
        .arg(stored)
        .arg(perSecond)
        .arg(dropped);
}
