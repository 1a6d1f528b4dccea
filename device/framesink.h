#pragma once

#include <QByteArray>

// Where the serial manager hands every accepted frame text (144 upper-case
// hexadecimal characters). The sample queues implement it, which keeps the
// device layer free of the pipeline.
class FrameSink
{
public:
    virtual ~FrameSink() = default;
    virtual void push_serial(const QByteArray &frameText) = 0;
};
