#include "protocol.h"

#include <algorithm>
#include <array>
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

// Value of every hexadecimal digit, 0 for any other character.
constexpr std::array<quint8, 256> hex_digits()
{
    std::array<quint8, 256> table{};
    for (int c = '0'; c <= '9'; ++c) {
        table[std::size_t(c)] = quint8(c - '0');
    }
    for (int c = 'A'; c <= 'F'; ++c) {
        table[std::size_t(c)] = quint8(c - 'A' + 10);
        table[std::size_t(c - 'A' + 'a')] = quint8(c - 'A' + 10);
    }
    return table;
}
constexpr std::array<quint8, 256> hexDigits = hex_digits();

quint32 hex_byte(const char *text)
{
    return quint32(hexDigits[static_cast<unsigned char>(text[0])]) << 4 |
           hexDigits[static_cast<unsigned char>(text[1])];
}

// std::roundf (halves away from zero, the sign of zero kept) without the library
// call: below 2^23 a float converts to an integer exactly, and above it is whole.
float round_half_away(float x)
{
    if (!(std::fabs(x) < 0x1p23f)) {
        return x; // whole already, infinite or NaN
    }
    const float whole = std::copysign(float(static_cast<qint32>(x)), x);
    // Branch-free: the fraction of measured values is as good as random.
    const float away = std::copysign(float(std::fabs(x - whole) >= 0.5f), x);
    return whole + away;
}

// The slot whose eight hexadecimal digits start at `text`, in millivolts.
double millivolts_at(const char *text)
{
    const quint32 bits = hex_byte(text) | hex_byte(text + 2) << 8 | hex_byte(text + 4) << 16 |
                         hex_byte(text + 6) << 24;
    float volts = 0.0f;
    std::memcpy(&volts, &bits, sizeof volts);
    const float millivolts = volts * 1000.0f;
    return double(round_half_away(millivolts * 10.0f) / 10.0f);
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

bool is_status_frame_type(quint8 type)
{
    return FrameType(type) == FrameType::StatusReply;
}

double slot_millivolts(const QByteArray &frameText, int slot)
{
    const qsizetype start = 4 + 8 * qsizetype(slot);
    if (slot < 0 || start + 8 > frameText.size()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return millivolts_at(frameText.constData() + start);
}

void slots_millivolts(const QByteArray &frameText, int count, double *out)
{
    for (int slot = 0; slot < count; ++slot) {
        out[slot] = slot_millivolts(frameText, slot);
    }
}

QByteArray start_command(const RunSettings &settings)
{
    const QList<double> &v = settings.voltages;
    if (settings.singleChannel) {
        return start_single_command(float(v.value(0)), settings.rate, settings.seconds);
    }
    return start_multi_command(float(v.value(0)), float(v.value(1)), float(v.value(2)),
                               float(v.value(3)), settings.rate, settings.seconds);
}
