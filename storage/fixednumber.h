#pragma once

#include <string>

// Appends value in fixed notation with the given number of decimals, exactly as
// QString::number(value, 'f', decimals) prints it (halfway cases away from zero,
// negative zero without its sign), without building a QString per number.
void append_fixed(std::string &out, double value, int decimals);
