#pragma once

#include <QString>

// The device file a port name given by the operator stands for. A relative name that exists as
// a file in the current folder is that file (a link to a pseudo-terminal, say); any other name
// keeps the serial port's own meaning: a bare name like ttyUSB0 is /dev/ttyUSB0, and an
// absolute path or one starting with ./ or ../ is itself.
QString port_location(const QString &name);
