#pragma once

#include <QByteArray>
#include <QList>

// Picks 26-byte command packets (0xFF ... 0x0D 0x0A) out of the bytes the
// instrument receives. Bytes that cannot start a packet are skipped; an
// unfinished packet waits for the rest of its bytes.
class CommandReader
{
public:
    static constexpr int packet_size = 26;

    // Returns the packets completed by `bytes`, in order of arrival.
    QList<QByteArray> feed(const QByteArray &bytes);
    // Bytes kept back because they may begin a packet (fewer than 26).
    int pending_size() const { return int(pending_.size()); }

private:
    QByteArray pending_;
};
