#include "framekit.h"

#include "instrumentsimulator.h"

#include <cstring>

namespace {
QByteArray little_endian_float(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray bytes;
    for (int b = 0; b < 4; ++b) {
        bytes.append(char((bits >> (8 * b)) & 0xFF));
    }
    return bytes;
}

QByteArray big_endian_word(int value)
{
    QByteArray bytes;
    bytes.append(char((value >> 8) & 0xFF)).append(char(value & 0xFF));
    return bytes;
}
} // namespace

QByteArray command_packet(quint8 code, const QByteArray &parameters)
{
    QByteArray packet;
    packet.append(char(0xFF)).append(char(code)).append(parameters);
    packet.append(QByteArray(24 - packet.size(), '\0'));
    packet.append(char(0x0D)).append(char(0x0A));
    return packet;
}

QByteArray start_single_packet(float vout, int rate, int seconds)
{
    return command_packet(0x01, little_endian_float(vout) + QByteArray(12, '\0') +
                                    big_endian_word(rate) + big_endian_word(seconds));
}

QByteArray start_multi_packet(float v1, float v2, float v3, float v4, int rate, int seconds)
{
    return command_packet(0x02, little_endian_float(v1) + little_endian_float(v2) +
                                    little_endian_float(v3) + little_endian_float(v4) +
                                    big_endian_word(rate) + big_endian_word(seconds));
}

QList<QByteArray> cut_frames(const QByteArray &stream, qsizetype *skipped)
{
    QList<QByteArray> frames;
    qsizetype pos = 0;
    qsizetype junk = 0;
    while (pos < stream.size()) {
        if (stream.size() - pos >= 72 && quint8(stream[pos]) == 0xFF && stream[pos + 70] == 0x0D &&
            stream[pos + 71] == 0x0A) {
            frames.append(stream.mid(pos, 72));
            pos += 72;
        } else {
            ++pos;
            ++junk;
        }
    }
    if (skipped != nullptr) {
        *skipped = junk;
    }
    return frames;
}

float slot_volts(const QByteArray &frame, int slot)
{
    quint32 bits = 0;
    for (int b = 0; b < 4; ++b) {
        bits |= quint32(quint8(frame[2 + 4 * slot + b])) << (8 * b);
    }
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float expected_volts(bool multi, int rate, quint64 frame, int slot, quint32 pattern)
{
    if (multi) {
        return InstrumentSimulator::sample_volts(slot, frame, pattern);
    }
    if (rate > 100) {
        return InstrumentSimulator::sample_volts(0, frame * 16 + quint64(slot), pattern);
    }
    return slot == 0 ? InstrumentSimulator::sample_volts(0, frame, pattern) : 0.0f;
}
