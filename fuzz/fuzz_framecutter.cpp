// Feeds the frame cutter arbitrary bytes in chunks the input chooses, so frames
// split over batches and the carried tail are exercised, and checks what comes
// out against a byte-by-byte reading of the whole stream.
//
// Input: byte 0 = n, the next n bytes are chunk lengths (used in turn, over and
// over; 0 feeds an empty batch), the rest is the received stream.

#include "framecutter.h"
#include "framesink.h"
#include "fuzzcheck.h"
#include "protocol.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

class CollectingSink : public FrameSink
{
public:
    void push_serial(const QByteArray &frameText) override { texts.push_back(frameText); }
    std::vector<QByteArray> texts;
};

// Written out here rather than taken from the protocol code, so a wrong table
// there shows up as a difference.
bool is_handed_on(char type)
{
    const auto t = static_cast<unsigned char>(type);
    return t == 0x81 || t == 0x82 || t == 0x83 || t == 0xF0;
}

bool is_upper_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void require_frame_text(const QByteArray &text)
{
    fuzz_require(text.size() == frameTextSize, "frame text is 144 characters");
    for (char c : text) {
        fuzz_require(is_upper_hex(c), "frame text is upper-case hexadecimal");
    }
    fuzz_require(text.startsWith("FF"), "frame text starts with FF");
    fuzz_require(text.endsWith("0D0A"), "frame text ends with 0D0A");
    const QByteArray type = text.mid(2, 2);
    fuzz_require(type == "81" || type == "82" || type == "83" || type == "F0",
                 "only data and end-of-run frames are handed on");
}

// The frames a receiver that saw the whole stream at once would find: a start
// byte with the end bytes 70 bytes later is a frame and is skipped as a whole,
// anything else is skipped one byte at a time.
std::vector<QByteArray> frames_of_whole_stream(const char *bytes, std::size_t size)
{
    std::vector<QByteArray> texts;
    std::size_t at = 0;
    while (at + frameSize <= size) {
        const char *frame = bytes + at;
        if (frame[0] == packetStart && frame[frameSize - 2] == packetEnd1 &&
            frame[frameSize - 1] == packetEnd2) {
            if (is_handed_on(frame[1])) {
                texts.push_back(QByteArray(frame, frameSize).toHex().toUpper());
            }
            at += frameSize;
        } else {
            ++at;
        }
    }
    return texts;
}

// Feeds `stream` in chunks of the planned lengths and returns what was cut.
std::vector<QByteArray> cut_in_chunks(const QByteArray &stream, const QByteArray &plan)
{
    CollectingSink sink;
    FrameCutter cutter(&sink);
    int planTotal = 0;
    for (char length : plan) {
        planTotal += static_cast<unsigned char>(length);
    }
    qsizetype at = 0;
    for (qsizetype step = 0; planTotal > 0 && at < stream.size(); ++step) {
        const qsizetype length = static_cast<unsigned char>(plan[step % plan.size()]);
        const qsizetype take = qMin(length, stream.size() - at);
        cutter.feed(QByteArrayView(stream.constData() + at, take));
        at += take;
        fuzz_require(cutter.pending_bytes() < frameSize, "carried tail is shorter than a frame");
    }
    cutter.feed(QByteArrayView(stream.constData() + at, stream.size() - at));
    fuzz_require(cutter.pending_bytes() < frameSize, "carried tail is shorter than a frame");
    return sink.texts;
}

// The stream rebuilt as back-to-back frames: every 69 input bytes give the type,
// the slots and the uninterpreted bytes of one frame.
QByteArray clean_stream(const QByteArray &bytes, std::vector<QByteArray> &expected)
{
    constexpr qsizetype bodySize = frameSize - 3;
    QByteArray stream;
    for (qsizetype at = 0; at + bodySize <= bytes.size(); at += bodySize) {
        QByteArray frame;
        frame.append(packetStart);
        frame.append(bytes.constData() + at, bodySize);
        frame.append(packetEnd1);
        frame.append(packetEnd2);
        if (is_handed_on(frame[1])) {
            expected.push_back(frame.toHex().toUpper());
        }
        stream.append(frame);
    }
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const auto *bytes = reinterpret_cast<const char *>(data);
    const std::size_t planSize = qMin<std::size_t>(data[0], size - 1);
    const QByteArray plan(bytes + 1, qsizetype(planSize));
    const QByteArray stream(bytes + 1 + planSize, qsizetype(size - 1 - planSize));

    const std::vector<QByteArray> cut = cut_in_chunks(stream, plan);
    for (const QByteArray &text : cut) {
        require_frame_text(text);
    }
    fuzz_require(cut == frames_of_whole_stream(stream.constData(), std::size_t(stream.size())),
                 "chunked stream yields the frames of the whole stream");

    std::vector<QByteArray> expected;
    const QByteArray clean = clean_stream(stream, expected);
    fuzz_require(cut_in_chunks(clean, plan) == expected,
                 "clean stream yields exactly its data and end-of-run frames");
    return 0;
}
