#include "commandreader.h"

namespace {
constexpr char start_byte = char(0xFF);
constexpr char end_cr = char(0x0D);
constexpr char end_lf = char(0x0A);
} // namespace

QList<QByteArray> CommandReader::feed(const QByteArray &bytes)
{
    pending_.append(bytes);
    QList<QByteArray> packets;
    qsizetype pos = 0;
    while (pending_.size() - pos >= packet_size) {
        const char *p = pending_.constData() + pos;
        if (p[0] == start_byte && p[packet_size - 2] == end_cr && p[packet_size - 1] == end_lf) {
            packets.append(QByteArray(p, packet_size));
            pos += packet_size;
        } else {
            ++pos;
        }
    }
    // What is left is shorter than a packet: keep it from its first 0xFF on.
    const qsizetype start = pending_.indexOf(start_byte, pos);
    pending_ = start < 0 ? QByteArray() : pending_.mid(start);
    return packets;
}
