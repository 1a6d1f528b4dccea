#pragma once

#include <QString>

// An operator's note at a moment of a run: seconds of running time from its start (time
// paused not counted, as the rows' times) and a short text.
struct RunMark
{
    double time = 0.0;
    QString text;
};
