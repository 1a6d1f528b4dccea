#include "framecutter.h"

#include "framesink.h"
#include "protocol.h"

#include <cstring>

namespace {
// The upper-case hexadecimal text of one frame.
QByteArray frame_text(const char *frame)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    QByteArray text(frameTextSize, Qt::Uninitialized);
    char *out = text.data();
    for (int i = 0; i < frameSize; ++i) {
        const auto byte = static_cast<unsigned char>(frame[i]);
        out[2 * i] = digits[byte >> 4];
        out[2 * i + 1] = digits[byte & 0x0F];
    }
    return text;
}
} // namespace

FrameCutter::FrameCutter(FrameSink *sink, TypeFilter accepts)
    : sink_(sink)
    , accepts_(accepts)
{
    tail_.reserve(frameSize);
}

void FrameCutter::feed(QByteArrayView bytes)
{
    if (bytes.isEmpty()) {
        return;
    }
    const char *begin = bytes.data();
    const char *end = begin + bytes.size();
    if (!tail_.empty()) {
        joined_.assign(tail_.begin(), tail_.end());
        joined_.insert(joined_.end(), begin, end);
        begin = joined_.data();
        end = begin + joined_.size();
    }
    const char *rest = cut(begin, end);
    // `rest` may point into joined_, so copy before touching it again.
    tail_.assign(rest, end);
}

void FrameCutter::reset()
{
    tail_.clear();
}

const char *FrameCutter::cut(const char *begin, const char *end)
{
    const char *at = begin;
    while (at < end) {
        const void *found =
            std::memchr(at, static_cast<unsigned char>(packetStart), size_t(end - at));
        if (found == nullptr) {
            return end; // no start byte left: nothing here can begin a frame
        }
        const char *frame = static_cast<const char *>(found);
        if (end - frame < frameSize) {
            return frame; // may be the start of a frame the next batch completes
        }
        if (frame[frameSize - 2] != packetEnd1 || frame[frameSize - 1] != packetEnd2) {
            at = frame + 1;
            continue;
        }
        if (accepts_(static_cast<quint8>(frame[1]))) {
            sink_->push_serial(frame_text(frame));
        }
        at = frame + frameSize;
    }
    return end;
}
