// Decodes the slots of arbitrary frames and compares every value with a
// reading of the IEEE 754 bits made here from sign, exponent and fraction, so
// byte order, rounding, infinities and NaNs are all checked against a second
// derivation rather than against the same few lines of code.
//
// Input: byte 0 picks an extra slot index to try (-8..247), the rest are the
// frame's bytes as received.

#include "fuzzcheck.h"
#include "protocol.h"

#include <QByteArray>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

// The float a little-endian 4-byte pattern stands for, built up in double.
double float_of_bits(const std::uint8_t *bytes)
{
    const std::uint32_t bits = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                               std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
    const bool negative = (bits >> 31) != 0;
    const int exponent = int((bits >> 23) & 0xFF);
    const std::uint32_t fraction = bits & 0x7FFFFF;
    double magnitude = 0.0;
    if (exponent == 0xFF) {
        magnitude = fraction != 0 ? std::numeric_limits<double>::quiet_NaN()
                                  : std::numeric_limits<double>::infinity();
    } else if (exponent == 0) {
        magnitude = std::ldexp(double(fraction), -149); // subnormal
    } else {
        magnitude = std::ldexp(double(fraction | 0x800000), exponent - 150);
    }
    return negative ? -magnitude : magnitude;
}

// Millivolts to 0.1 mV, half away from zero, with every step rounded to single
// precision. Products of two floats are exact in double and the quotient is
// rounded twice harmlessly (53 >= 2 * 24 + 2), so each step equals the float
// operation.
double expected_millivolts(const std::uint8_t *bytes)
{
    const float volts = float(float_of_bits(bytes));
    const float millivolts = float(double(volts) * 1000.0);
    const float scaled = float(double(millivolts) * 10.0);
    const float tenths = float(std::round(double(scaled)));
    return double(float(double(tenths) / 10.0));
}

bool same_value(double got, double expected)
{
    if (std::isnan(expected)) {
        return std::isnan(got);
    }
    return got == expected && std::signbit(got) == std::signbit(expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const int extraSlot = int(data[0]) - 8;
    const std::uint8_t *frame = data + 1;
    const std::size_t frameBytes = size - 1;
    const QByteArray received(reinterpret_cast<const char *>(frame), qsizetype(frameBytes));
    const QByteArray upper = received.toHex().toUpper();
    const QByteArray lower = received.toHex();

    for (int slot = 0; slot < frameSlotCount; ++slot) {
        const std::size_t at = 2 + 4 * std::size_t(slot); // after the start and type bytes
        const double got = slot_millivolts(upper, slot);
        if (at + 4 > frameBytes) {
            fuzz_require(std::isnan(got), "a slot cut off by the end of the text reads NaN");
            continue;
        }
        fuzz_require(same_value(got, expected_millivolts(frame + at)),
                     "slot value equals the bit-level reading");
        fuzz_require(same_value(slot_millivolts(lower, slot), got),
                     "lower-case text reads like upper-case");
    }

    const double extra = slot_millivolts(upper, extraSlot);
    if (extraSlot < 0 || 2 + 4 * std::size_t(extraSlot) + 4 > frameBytes) {
        fuzz_require(std::isnan(extra), "a slot outside the text reads NaN");
    } else {
        fuzz_require(same_value(extra, expected_millivolts(frame + 2 + 4 * extraSlot)),
                     "any slot inside the text equals the bit-level reading");
    }
    return 0;
}
