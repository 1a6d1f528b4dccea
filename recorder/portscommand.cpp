#include "portscommand.h"

#include "commandparser.h"
#include "console.h"
#include "exitcode.h"

#include <QSerialPortInfo>

namespace {
QString field(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}
} // namespace

int PortsCommand::run(const QStringList &arguments)
{
    CommandParser parser(QStringLiteral("ports"),
                         QStringLiteral("Lists the serial ports: name, description, "
                                        "manufacturer and serial number, tab-separated."));
    if (const auto exitCode = parser.parse_or_exit(arguments)) {
        return *exitCode;
    }
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (ports.isEmpty()) {
        Console::note(QStringLiteral("No serial ports found."));
    }
    for (const QSerialPortInfo &port : ports) {
        Console::out(QStringList{port.portName(), field(port.description()),
                                 field(port.manufacturer()), field(port.serialNumber())}
                         .join(QLatin1Char('\t')));
    }
    return ExitOk;
}
