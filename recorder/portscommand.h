#pragma once

#include <QStringList>

// telvane-cli ports: the machine's serial ports, one per line.
class PortsCommand
{
public:
    static int run(const QStringList &arguments);
};
