#include "instrumentframes.h"

#include <algorithm>
#include <cstring>

namespace InstrumentFrames {

namespace {
QByteArray blank(quint8 type)
{
    QByteArray frame(frame_size, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(type);
    frame[frame_size - 2] = char(0x0D);
    frame[frame_size - 1] = char(0x0A);
    return frame;
}
} // namespace

QByteArray data(quint8 type, const std::array<float, slot_count> &volts)
{
    QByteArray frame = blank(type);
    for (int i = 0; i < slot_count; ++i) {
        quint32 bits = 0;
        std::memcpy(&bits, &volts[std::size_t(i)], sizeof bits);
        for (int b = 0; b < 4; ++b) {
            frame[2 + 4 * i + b] = char((bits >> (8 * b)) & 0xFF);
        }
    }
    return frame;
}

QByteArray empty(quint8 type)
{
    return blank(type);
}

QByteArray status(int batteryPercent, bool modulePresent)
{
    QByteArray frame = blank(status_type);
    frame[2] = char(quint8(std::clamp(batteryPercent, 0, 255)));
    frame[3] = char(modulePresent ? module_present : module_absent);
    return frame;
}

} // namespace InstrumentFrames
