#include "fixednumber.h"

#include <QString>

#include <cmath>
#include <cstdio>

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
