#pragma once

#include <QtGlobal>

#include <deque>

// The rate of a growing count over about the last second, from readings taken on a timer:
// samples per second of a run for the recorder's status line and the window's status bar.
// One thread only.
class RateMeter
{
public:
    static constexpr qint64 windowMs = 1000;

    // The count per second between this reading and the latest earlier one at least windowMs
    // back (the start, at 0 ms and count 0, while the run is younger), so a reading that
    // follows closely on another does not read a few samples as a burst. 0 when no time
    // has passed.
    qint64 update(qint64 elapsedMs, qint64 count);

    // Starts over, as at the start of a run.
    void reset();

private:
    struct Reading
    {
        qint64 ms = 0;
        qint64 count = 0;
    };

    std::deque<Reading> history_{Reading{}}; // earlier readings, oldest first; the start first
};
