#pragma once

#include <QStringList>

// telvane-cli status: the instrument's battery charge and attenuation module.
class StatusCommand
{
public:
    static int run(const QStringList &arguments);
};
