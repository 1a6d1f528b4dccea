#pragma once

#include "runsettings.h"

#include <QByteArray>
#include <QtGlobal>

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

// The packets spoken with the instrument. Commands are 26 bytes, frames 72;
// both start with 0xFF and end with 0x0D 0x0A. Floats travel little-endian,
// 16-bit integers big-endian. Received frames travel inside the application
// as their 144-character upper-case hexadecimal text.

constexpr int commandPacketSize = 26;
constexpr int frameSize = 72;
constexpr int frameTextSize = 2 * frameSize;
constexpr int frameSlotCount = InstrumentLimits::channelCount;

constexpr char packetStart = char(0xFF);
constexpr char packetEnd1 = char(0x0D);
constexpr char packetEnd2 = char(0x0A);

enum class CommandCode : quint8 {
    StartSingle = 0x01,
    StartMulti = 0x02,
    Stop = 0x03,
    StatusQuery = 0x05,
    Pause = 0x15,
    Continue = 0x16,
};

enum class FrameType : quint8 {
    Data = 0x81,
    DataAlt = 0x82,
    StopReply = 0x83,
    StatusReply = 0x85,
    RunOver = 0xF0,
};

// Start a single-channel run: excitation in volts, rate in points per second,
// collection time in seconds.
QByteArray start_single_command(float vout, int rate, int seconds);
// Start a multi-channel run with the four excitation voltages.
QByteArray start_multi_command(float v1, float v2, float v3, float v4, int rate, int seconds);
// The start packet that carries a run's settings (single- or multi-channel start).
QByteArray start_command(const RunSettings &settings);
QByteArray stop_command();
QByteArray status_query_command();
QByteArray pause_command();
QByteArray continue_command();

// Whether a frame of this type belongs to a run (data or end of run) and so
// goes to the decoding thread.
bool is_run_frame_type(quint8 type);
// Whether a frame of this type answers the status query.
bool is_status_frame_type(quint8 type);

// Value of slot 0..15 of a frame text in millivolts, rounded half away from
// zero to 0.1 mV in single precision. NaN and infinity patterns pass through.
// Returns NaN when the text is too short for the slot.
double slot_millivolts(const QByteArray &frameText, int slot);
// slot_millivolts of slots 0..count-1 into out[0..count-1], in one pass.
void slots_millivolts(const QByteArray &frameText, int count, double *out);
