#pragma once

#include "protocol.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

class FrameSink;

// Cuts 72-byte frames out of the received byte stream and hands the text of every
// frame of the accepted types (by default data and end of run) to the sink. Reads
// do not follow frame boundaries, so an unfinished frame at the end of a batch (at
// most 71 bytes) is kept and completed by the next batch. Frames are searched on
// byte boundaries; anything that is not a frame is skipped.
class FrameCutter
{
public:
    using TypeFilter = bool (*)(quint8 type);

    explicit FrameCutter(FrameSink *sink, TypeFilter accepts = is_run_frame_type);

    void feed(QByteArrayView bytes);
    // Forgets the unfinished tail, so nothing of one run leaks into the next.
    void reset();
    // Bytes held back for the next batch.
    qsizetype pending_bytes() const { return qsizetype(tail_.size()); }

private:
    // Cuts what it can from [begin, end) and returns where the unfinished rest starts.
    const char *cut(const char *begin, const char *end);

    FrameSink *sink_ = nullptr;
    TypeFilter accepts_ = nullptr;
    std::vector<char> tail_;   // unfinished frame from the previous batch, < 72 bytes
    std::vector<char> joined_; // tail + batch; kept to reuse its allocation
};
