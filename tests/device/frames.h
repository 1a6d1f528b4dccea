#pragma once

#include "protocol.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

// Frames and line noise for the frame-cutting tests.
namespace frames {

// A 72-byte frame of the given type whose slot bytes are taken from `pattern`.
inline QByteArray make(quint8 type, quint32 pattern)
{
    QByteArray frame(frameSize, '\0');
    frame[0] = packetStart;
    frame[1] = char(type);
    QRandomGenerator random(pattern);
    for (int i = 2; i < frameSize - 2; ++i) {
        frame[i] = char(random.bounded(256));
    }
    frame[frameSize - 2] = packetEnd1;
    frame[frameSize - 1] = packetEnd2;
    return frame;
}

inline QByteArray text(const QByteArray &frame)
{
    return frame.toHex().toUpper();
}

// Bytes that cannot start a frame.
inline QByteArray junk(QRandomGenerator &random, int length)
{
    QByteArray bytes(length, '\0');
    for (char &b : bytes) {
        b = char(random.bounded(0xFF));
    }
    return bytes;
}

} // namespace frames
