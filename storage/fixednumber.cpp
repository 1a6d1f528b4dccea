#include "fixednumber.h"

#include <QString>

#include <cmath>
#include <cstdio>
#include <iterator>

namespace {
// Rounds the magnitude of a decimal text up by one unit in its last place.
void increment_last_digit(std::string &text)
{
    for (auto i = text.size(); i-- > 0;) {
        char &c = text[i];
        if (c == '.') {
            continue;
        }
        if (c == '-') {
            text.insert(i + 1, 1, '1');
            return;
        }
        if (c != '9') {
            ++c;
            return;
        }
        c = '0';
    }
    text.insert(0, 1, '1');
}
constexpr double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};

// The common case without printf: scale, round to an integer, print its digits. It
// answers only when the scaled product, which carries a rounding error of at most half
// a unit in its last place, lies clearly away from a halfway point; otherwise false.
bool append_fixed_fast(std::string &out, double value, int decimals)
{
    if (decimals >= static_cast<int>(std::size(powersOfTen))) {
        return false;
    }
    const double magnitude = std::fabs(value) * powersOfTen[decimals];
    if (!(magnitude < 0x1p50)) {
        return false;
    }
    const double whole = std::floor(magnitude);
    const double distance = std::fabs(magnitude - whole - 0.5);
    if (distance <= magnitude * 0x1p-50 + 0x1p-60) {
        return false;
    }
    auto units = static_cast<unsigned long long>(whole) + (magnitude - whole > 0.5 ? 1 : 0);
    char digits[32];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + units % 10);
        units /= 10;
    } while (units != 0 || count <= decimals);
    if (value < 0) {
        out += '-';
    }
    while (count > decimals) {
        out += digits[--count];
    }
    if (decimals > 0) {
        out += '.';
        while (count > 0) {
            out += digits[--count];
        }
    }
    return true;
}
} // namespace

void append_fixed(std::string &out, double value, int decimals)
{
    if (!std::isfinite(value) || decimals < 0 || decimals > 40) {
        out += QString::number(value, 'f', decimals).toStdString();
        return;
    }
    if (value == 0.0) {
        value = 0.0; // drops the sign of negative zero
    }
    if (append_fixed_fast(out, value, decimals)) {
        return;
    }
    char buffer[400];
    // printf rounds an exact halfway case to even, Qt away from zero. Such a value has at
    // most decimals + 1 fractional digits, so it is a multiple of 2^-(decimals + 1) and
    // printf shows it exactly with one more decimal.
    const double scaled = std::ldexp(value, decimals + 1);
    if (std::fabs(value) < 0x1p52 && scaled == std::floor(scaled)) {
        const int length = std::snprintf(buffer, sizeof buffer, "%.*f", decimals + 1, value);
        if (length > 0 && buffer[length - 1] == '5') {
            std::string text(buffer, static_cast<std::size_t>(length - 1));
            if (decimals == 0) {
                text.pop_back(); // the decimal point
            }
            increment_last_digit(text);
            out += text;
            return;
        }
    }
    const int length = std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    out.append(buffer, static_cast<std::size_t>(length));
}
