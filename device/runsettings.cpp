#include "runsettings.h"

#include "protocol.h"

QByteArray RunSettings::start_command() const
{
    if (singleChannel) {
        return start_single_command(float(voltages.value(0)), rate, seconds);
    }
    return start_multi_command(float(voltages.value(0)), float(voltages.value(1)),
                               float(voltages.value(2)), float(voltages.value(3)), rate, seconds);
}
