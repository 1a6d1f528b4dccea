#pragma once

#include <QStringList>

// telvane-cli export: one run table as a CSV file, e.g. a run left behind by a crash.
class ExportCommand
{
public:
    static int run(const QStringList &arguments);
};
