#pragma once

#include <QStringList>

// telvane-cli tables: the run tables in a database with rows, mode and time span.
class TablesCommand
{
public:
    static int run(const QStringList &arguments);
};
