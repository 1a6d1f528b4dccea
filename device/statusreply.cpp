#include "statusreply.h"

#include "protocol.h"

namespace {

// Finds "FF85" on a byte boundary: an odd position would pair the low half of
// one byte with the high half of the next.
qsizetype find_status_frame(const QByteArray &text)
{
    static const QByteArray marker = QByteArrayLiteral("FF85");
    for (qsizetype at = text.indexOf(marker); at >= 0; at = text.indexOf(marker, at + 1)) {
        if (at % 2 == 0) {
            return at;
        }
    }
    return -1;
}

} // namespace

StatusReply StatusReply::parse(const QByteArray &replyText)
{
    StatusReply reply;
    const qsizetype at = find_status_frame(replyText);
    if (at < 0) {
        return reply;
    }
    const QByteArray frame = replyText.mid(at, frameTextSize);
    reply.valid_ = true;

    bool ok = false;
    const int battery = frame.mid(4, 2).toInt(&ok, 16);
    reply.battery_ = ok ? battery : 0;

    const QByteArray module = frame.mid(6, 2);
    if (module == "11") {
        reply.module_ = Module::Present;
    } else if (module == "22") {
        reply.module_ = Module::Absent;
    }
    return reply;
}
