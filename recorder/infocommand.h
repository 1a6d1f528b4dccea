#pragma once

#include <QStringList>

// telvane-cli info: what a run was taken with and how it went (its facts), one
// tab-separated name and value per line.
class InfoCommand
{
public:
    static int run(const QStringList &arguments);
};
