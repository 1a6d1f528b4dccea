#pragma once

#include <QList>

// The settings of one run as the instrument takes them.
struct RunSettings
{
    bool singleChannel = true;
    int rate = 0;    // points per second
    int seconds = 0; // collection time
    // Vout of a single-channel run, or V1 to V4 of a multi-channel run, in volts.
    QList<double> voltages;
};
