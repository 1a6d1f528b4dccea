#pragma once

#include <QByteArray>

#include <array>

// The 72-byte frames the instrument sends: 0xFF, type, sixteen 4-byte slots,
// four unused bytes, 0x0D 0x0A.
namespace InstrumentFrames {

constexpr int frame_size = 72;
constexpr int slot_count = 16;

constexpr quint8 data_type_a = 0x81;
constexpr quint8 data_type_b = 0x82;
constexpr quint8 stopped_type = 0x83;
constexpr quint8 status_type = 0x85;
constexpr quint8 finished_type = 0xF0;

constexpr quint8 module_present = 0x11;
constexpr quint8 module_absent = 0x22;

// A frame whose slots hold the given volts as little-endian floats.
QByteArray data(quint8 type, const std::array<float, slot_count> &volts);
// A frame with all slots zero (end of run).
QByteArray empty(quint8 type);
// Status reply: byte 2 battery percent, byte 3 module present/absent.
QByteArray status(int batteryPercent, bool modulePresent);

} // namespace InstrumentFrames
