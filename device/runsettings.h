#pragma once

#include <QByteArray>
#include <QList>

// What the instrument is and accepts for a run: sixteen channels, sampling rates up to 5000 points
// per second on one channel and 150 on all sixteen, collection times up to 10000 s, and excitation
// voltages within ±10 V, or ±80 V with the attenuation module fitted.
namespace InstrumentLimits {
// Voltage channels of a multi-channel run, and float slots of every data frame.
constexpr int channelCount = 16;
constexpr int singleRateCeiling = 5000;
constexpr int multiRateCeiling = 150;
constexpr int timeCeiling = 10000;
constexpr double plainVoltLimit = 10.0;
constexpr double moduleVoltLimit = 80.0;

constexpr int rate_ceiling(bool singleChannel)
{
    return singleChannel ? singleRateCeiling : multiRateCeiling;
}
constexpr double volt_limit(bool modulePresent)
{
    return modulePresent ? moduleVoltLimit : plainVoltLimit;
}
} // namespace InstrumentLimits

// The settings of one run as the instrument takes them.
struct RunSettings
{
    bool singleChannel = true;
    int rate = 0;    // points per second
    int seconds = 0; // collection time
    // Vout of a single-channel run, or V1 to V4 of a multi-channel run, in volts.
    QList<double> voltages;

    // The start packet that carries these settings (single- or multi-channel start).
    QByteArray start_command() const;
};
