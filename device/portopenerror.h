#pragma once

#include <QSerialPort>
#include <QString>

// Why a serial port could not be opened, in words an operator can act on: it does not
// exist, it is not a serial device, it is busy, or the user may not use it (naming the
// group that may, and how to join it). Looks at the device file itself, so the reason
// holds also where QSerialPort's error is vague. `systemText` is QSerialPort's own error
// string, used when nothing better is known.
QString port_open_error(QSerialPort::SerialPortError error, const QString &path,
                        const QString &systemText = QString());
