#pragma once

#include <cmath>

// What the application stores for a sample the instrument sent as `volts`: millivolts
// rounded half away from zero to 0.1 mV, in single precision as the decoder works.
inline double stored_millivolts(float volts)
{
    const float millivolts = volts * 1000.0f;
    return double(std::round(millivolts * 10.0f) / 10.0f);
}
