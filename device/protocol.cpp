#include "protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int parameterStart = 2;
constexpr int rateOffset = 18;
constexpr int timeOffset = 20;

QByteArray empty_command(CommandCode code)
{
    QByteArray packet(commandPacketSize, '\0');
    packet[0] = packetStart;
    packet[1] = char(code);
    packet[commandPacketSize - 2] = packetEnd1;
    packet[commandPacketSize - 1] = packetEnd2;
    return packet;
}

void put_float(QByteArray &packet, int offset, float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        packet[offset + i] = char((bits >> (8 * i)) & 0xFF);
    }
}

// Values outside 0..65535 are clamped so the packet keeps its fixed length.
void put_u16(QByteArray &packet, int offset, int value)
{
    const int clamped = std::clamp(value, 0, 0xFFFF);
    packet[offset] = char((clamped >> 8) & 0xFF);
    packet[offset + 1] = char(clamped & 0xFF);
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 0;
}

} // namespace

QByteArray start_single_command(float vout, int rate, int seconds)
{
    QByteArray packet = empty_command(CommandCode::StartSingle);
    put_float(packet, parameterStart, vout);
    put_u16(packet, rateOffset, rate);
    put_u16(packet, timeOffset, seconds);
    return packet;
}

QByteArray start_multi_command(float v1, float v2, float v3, float v4, int rate, int seconds)
{
    QByteArray packet = empty_command(CommandCode::StartMulti);
    put_float(packet, parameterStart, v1);
    put_float(packet, parameterStart + 4, v2);
    put_float(packet, parameterStart + 8, v3);
    put_float(packet, parameterStart + 12, v4);
    put_u16(packet, rateOffset, rate);
    put_u16(packet, timeOffset, seconds);
    return packet;
}

QByteArray stop_command()
{
    return empty_command(CommandCode::Stop);
}

QByteArray status_query_command()
{
    return empty_command(CommandCode::StatusQuery);
}

QByteArray pause_command()
{
    return empty_command(CommandCode::Pause);
}

QByteArray continue_command()
{
    return empty_command(CommandCode::Continue);
}

bool is_run_frame_type(quint8 type)
{
    switch (FrameType(type)) {
    case FrameType::Data:
    case FrameType::DataAlt:
    case FrameType::StopReply:
    case FrameType::RunOver:
        return true;
    case FrameType::StatusReply:
        break;
    }
    return false;
}

double slot_millivolts(const QByteArray &frameText, int slot)
{
    const qsizetype start = 4 + 8 * qsizetype(slot);
    if (slot < 0 || start + 8 > frameText.size()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const char *text = frameText.constData() + start;
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i) {
        const quint32 byte = quint32(hex_digit(text[2 * i]) << 4 | hex_digit(text[2 * i + 1]));
        bits |= byte << (8 * i);
    }
    float volts = 0.0f;
    std::memcpy(&volts, &bits, sizeof volts);
    const float millivolts = volts * 1000.0f;
    const float rounded = std::roundf(millivolts * 10.0f) / 10.0f;
    return double(rounded);
}
