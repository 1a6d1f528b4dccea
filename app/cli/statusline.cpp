#include "statusline.h"

StatusLine::StatusLine(int totalSeconds)
    : totalSeconds_(totalSeconds)
{}

QString StatusLine::update(qint64 elapsedMs, qint64 stored, quint64 dropped)
{
    const qint64 spanMs = elapsedMs - previousMs_;
    const qint64 perSecond =
        spanMs > 0 ? ((stored - previousStored_) * 1000 + spanMs / 2) / spanMs : 0;
    previousMs_ = elapsedMs;
    previousStored_ = stored;
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
