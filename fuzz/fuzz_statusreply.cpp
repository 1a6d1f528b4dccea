// Reads arbitrary status replies and compares the result with a reading of the
// reply made here. The input is used twice: as the received bytes, turned into
// upper-case hexadecimal text the way the serial port's synchronous read hands
// it over, and as reply text as it stands, odd characters included.

#include "fuzzcheck.h"
#include "statusreply.h"

#include <QByteArray>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

StatusReply::Module module_of(int code)
{
    if (code == 0x11) {
        return StatusReply::Module::Present;
    }
    if (code == 0x22) {
        return StatusReply::Module::Absent;
    }
    return StatusReply::Module::Unknown;
}

// Received bytes: the reply is the first 0xFF 0x85 pair; the battery is the
// byte after it (0 when cut off) and the module code the one after that.
void check_received_bytes(const std::uint8_t *data, std::size_t size)
{
    const QByteArray received(reinterpret_cast<const char *>(data), qsizetype(size));
    const StatusReply reply = StatusReply::parse(received.toHex().toUpper());

    std::size_t at = 0;
    while (at + 1 < size && !(data[at] == 0xFF && data[at + 1] == 0x85)) {
        ++at;
    }
    const bool found = at + 1 < size;
    fuzz_require(reply.is_valid() == found, "a reply is valid exactly when it holds FF 85");
    if (!found) {
        return;
    }
    const int battery = at + 2 < size ? data[at + 2] : 0;
    fuzz_require(reply.battery_percent() == battery, "battery is the byte after FF 85");
    const StatusReply::Module module = at + 3 < size ? module_of(data[at + 3]) : module_of(-1);
    fuzz_require(reply.module() == module, "module follows the byte after the battery");
}

bool is_hex_digit(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Reply text as it stands: "FF85" counts only on a byte boundary.
void check_reply_text(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const StatusReply reply = StatusReply::parse(text);

    qsizetype at = 0;
    while (at + 4 <= text.size() && std::memcmp(text.constData() + at, "FF85", 4) != 0) {
        at += 2;
    }
    const bool found = at + 4 <= text.size();
    fuzz_require(reply.is_valid() == found, "a reply text is valid exactly when FF85 is on a byte");
    if (!found) {
        fuzz_require(reply.battery_percent() == 0, "an invalid reply reads no battery");
        return;
    }
    const QByteArray battery = text.mid(at + 4, 2);
    if (battery.isEmpty()) {
        fuzz_require(reply.battery_percent() == 0, "a missing battery field reads 0 %");
    } else if (battery.size() == 2 && is_hex_digit(battery[0]) && is_hex_digit(battery[1])) {
        fuzz_require(reply.battery_percent() == int(std::strtol(battery.constData(), nullptr, 16)),
                     "two hexadecimal digits give the battery");
    }
    fuzz_require(reply.battery_percent() >= -0xFF && reply.battery_percent() <= 0xFF,
                 "the battery field is at most two digits");
    const QByteArray module = text.mid(at + 6, 2);
    const StatusReply::Module expected = module == "11"   ? StatusReply::Module::Present
                                         : module == "22" ? StatusReply::Module::Absent
                                                          : StatusReply::Module::Unknown;
    fuzz_require(reply.module() == expected, "only 11 and 22 name the module");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    check_received_bytes(data, size);
    check_reply_text(data, size);
    return 0;
}
